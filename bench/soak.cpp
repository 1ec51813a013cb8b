// bench/soak: write and read cycles on a bench whose line flips a bit in one byte of a
// thousand (noise=0.001): every image must come back intact, through the memory driver's
// retries alone. Prints the retries each cycle needed and the totals.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "bench/kit/JobHarness.hpp"

using namespace quillorn;
using namespace quillorn::benchkit;

namespace {

constexpr uint64_t kWriteRequestBytes = 24;  // "F", L, command, bank, address, count, 16 data, sum
constexpr uint64_t kReadRequestBytes = 8;
constexpr uint64_t kEepromWriteRequestBytes = 23;
constexpr uint64_t kEepromReadRequestBytes = 7;

std::vector<uint8_t> RandomImage(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> image(size);
  for (auto& byte : image) byte = static_cast<uint8_t>(random());
  image[0] = 0x02;
  return image;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                             static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Requests sent beyond one per block in the transfer phase: every extra one is a retry.
uint64_t Retries(const TJobRun& run, const char* stage, uint64_t blocks, uint64_t requestBytes) {
  const TMark* begin = run.Find(stage);
  if (!begin) return 0;
  const uint64_t sent = (run.End().counts - begin->counts).pcBytes / requestBytes;
  return sent > blocks ? sent - blocks : 0;
}

}  // namespace

int main(int argc, char** argv) {
  int cycles = 100;
  size_t flashSize = kPageSize;
  int baud = 230400;
  std::string noise = "0.001";
  int readEvery = 10;  // a flash read always reads its whole 64 KiB page: the slow half of a cycle
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string key = argv[i];
    if (key == "--cycles") cycles = std::atoi(argv[i + 1]);
    else if (key == "--size") flashSize = static_cast<size_t>(std::atol(argv[i + 1]));
    else if (key == "--baud") baud = std::atoi(argv[i + 1]);
    else if (key == "--noise") noise = argv[i + 1];
    else if (key == "--read-every") readEvery = std::max(1, std::atoi(argv[i + 1]));
    else {
      std::fprintf(stderr, "usage: soak [--cycles 100] [--size 65536] [--baud 230400] [--noise 0.001] [--read-every 10]\n");
      return 2;
    }
  }
  if (flashSize == 0 || flashSize > kPageSize || flashSize % 16 != 0) {
    std::fprintf(stderr, "soak: --size must be a multiple of 16 up to 65536\n");
    return 2;
  }
  char dirTemplate[] = "/tmp/quillorn-soak-XXXXXX";
  const std::string dir = mkdtemp(dirTemplate);
  std::string error;
  // Unpaced: the noise acts per byte whatever the pace, and the cycles end sooner.
  // A "ЖВ-4" box: after a failed job the next one resets the ECU into its boot loader, as a
  // user's retry would.
  auto bench =
      TMeasuredBench::Create("sim:january5,programmer=zhv4,pace=none,erase-time=100,noise=" + noise, &error);
  if (!bench) {
    std::fprintf(stderr, "soak: %s\n", error.c_str());
    return 2;
  }
  TJobHarness harness(*bench);
  const std::string flashFile = dir + "/page.bin", flashOut = dir + "/page-read.bin";
  const std::string eepromFile = dir + "/eeprom.eep", eepromOut = dir + "/eeprom-read.eep";
  auto request = [&](uint8_t kind, uint8_t isFlash, const std::string& file) {
    return JanuaryJobRequest(kind, isFlash, file, baud);
  };
  const auto limit = std::chrono::minutes(10);
  uint64_t retries[4] = {};
  int intact = 0, failedJobs = 0, falseSuccesses = 0;
  std::printf("noise=%s, flash image %zu bytes, flash read back every %d cycles, %d bit/s\n", noise.c_str(), flashSize,
              readEvery, baud);
  std::printf("%5s %6s %6s %6s %6s %s\n", "cycle", "flashW", "flashR", "eepW", "eepR", "images");
  for (int cycle = 1; cycle <= cycles; ++cycle) {
    const auto flash = RandomImage(flashSize, static_cast<uint32_t>(cycle));
    const auto eeprom = RandomImage(kEepromSize, static_cast<uint32_t>(cycle) + 100000);
    WriteFile(flashFile, flash);
    WriteFile(eepromFile, eeprom);
    std::remove(flashOut.c_str());
    std::remove(eepromOut.c_str());
    // The job reaches the ECU the way the window's poll does: it keeps trying.
    const TJobRun w = harness.RunFlashJob(request(kJobWrite, 1, flashFile), limit, 5);
    const auto written = bench->Bench().Flash();
    const bool readFlash = cycle % readEvery == 0 || cycle == cycles;
    TJobRun r;
    if (readFlash) r = harness.RunFlashJob(request(kJobRead, 1, flashOut), limit, 5);
    const TJobRun ew = harness.RunFlashJob(request(kJobWrite, 0, eepromFile), limit, 5);
    const TJobRun er = harness.RunFlashJob(request(kJobRead, 0, eepromOut), limit, 5);
    const uint64_t cycleRetries[4] = {Retries(w, "Загрузка...", flashSize / 16, kWriteRequestBytes),
                                      readFlash ? Retries(r, "Чтение...", kPageSize / 16, kReadRequestBytes) : 0,
                                      Retries(ew, "Загрузка...", kEepromSize / 16, kEepromWriteRequestBytes),
                                      Retries(er, "Чтение...", kEepromSize / 16, kEepromReadRequestBytes)};
    for (int i = 0; i < 4; ++i) retries[i] += cycleRetries[i];
    const auto readBack = ReadFile(flashOut);
    const bool readOk = !readFlash || (r.result == kOk && readBack.size() == kPageSize &&
                                       std::equal(flash.begin(), flash.end(), readBack.begin()));
    const bool ok = w.result == kOk && ew.result == kOk && er.result == kOk && readOk &&
                    std::equal(flash.begin(), flash.end(), written.begin()) && bench->Bench().Eeprom() == eeprom &&
                    ReadFile(eepromOut) == eeprom;
    // A job that said it succeeded while the ECU or the file holds something else.
    falseSuccesses += (w.result == kOk && !std::equal(flash.begin(), flash.end(), written.begin())) +
                      (readFlash && r.result == kOk && !readOk) +
                      (ew.result == kOk && bench->Bench().Eeprom() != eeprom) +
                      (er.result == kOk && ReadFile(eepromOut) != eeprom);
    for (const TJobRun* run : {&w, static_cast<const TJobRun*>(&r), &ew, &er}) failedJobs += run->result != kOk;
    intact += ok;
    std::printf("%5d %6llu %6llu %6llu %6llu %s", cycle, static_cast<unsigned long long>(cycleRetries[0]),
                static_cast<unsigned long long>(cycleRetries[1]), static_cast<unsigned long long>(cycleRetries[2]),
                static_cast<unsigned long long>(cycleRetries[3]), ok ? "intact" : "FAILED");
    if (!ok) std::printf(" (results %d %d %d %d)", w.result, r.result, ew.result, er.result);
    std::printf("\n");
    std::fflush(stdout);
  }
  const auto counters = bench->Bench().Counters();
  std::printf("\n%d cycles, %d with every image intact, %d jobs failed (each reported as failed), %d reported "
              "success with wrong data; retries: flash write %llu, flash read %llu, "
              "EEPROM write %llu, EEPROM read %llu; bytes flipped on the line %llu\n",
              cycles, intact, failedJobs, falseSuccesses, static_cast<unsigned long long>(retries[0]),
              static_cast<unsigned long long>(retries[1]), static_cast<unsigned long long>(retries[2]),
              static_cast<unsigned long long>(retries[3]), static_cast<unsigned long long>(counters.flippedBytes));
  for (const std::string& f : {flashFile, flashOut, eepromFile, eepromOut}) std::remove(f.c_str());
  rmdir(dir.c_str());
  return falseSuccesses == 0 ? 0 : 1;
}
