// bench/transfer: how close the flash and EEPROM transfers come to what the line and the ECU
// allow. Each job runs on the in-process bench paced to the line rate; only the transfer
// phase is measured (from "Загрузка..." or "Чтение..." to the job's end): the reset pulse,
// the bootstrap upload, its start pause and the chip erase belong to the job, not to the
// transfer. For that phase it prints the bytes each way, their wire time at the speed (8N2:
// eleven bit times a byte; the echo of a request overlaps its sending, so the time is that of
// the PC's bytes plus the ECU's answers), the ECU's time from the end of each request to its
// answer as the bench saw it, the elapsed time and elapsed / (wire + ECU). For the flash
// write it adds the job thread's CPU time as a share of the elapsed time.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "bench/kit/JobHarness.hpp"
#include "serial/TraceLog.hpp"

using namespace quillorn;
using namespace quillorn::benchkit;

namespace {

struct TRow {
  int baud = 0;
  uint32_t latencyMs = 0;
  std::string job;
  ResultCode result = kOk;
  bool dataIntact = false;
  TWireCounts counts;
  double wireS = 0, ecuS = 0, elapsedS = 0, cpuShare = -1;
};

std::vector<int> ParseList(const std::string& text) {
  std::vector<int> values;
  std::stringstream in(text);
  for (std::string item; std::getline(in, item, ',');)
    if (!item.empty()) values.push_back(std::atoi(item.c_str()));
  return values;
}

std::vector<uint8_t> RandomImage(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> image(size);
  for (auto& byte : image) byte = static_cast<uint8_t>(random());
  image[0] = 0x02;  // starts like ECU code
  return image;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, size_t size) {
  return std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(std::min(size, bytes.size())));
}

double Seconds(TClock::duration d) { return std::chrono::duration<double>(d).count(); }

TRow Measure(const TJobRun& run, const std::string& stage, int baud) {
  TRow row;
  row.result = run.result;
  const TMark* begin = run.Find(stage);
  if (!begin || run.result != kOk) return row;
  const TMark& end = run.End();
  row.counts = end.counts - begin->counts;
  const double charS = 11.0 / baud;
  row.wireS = static_cast<double>(row.counts.pcBytes + row.counts.ecuBytes) * charS;
  row.ecuS = static_cast<double>(row.counts.ecuTurnNs) / 1e9;
  row.elapsedS = Seconds(end.at - begin->at);
  row.cpuShare = static_cast<double>(end.threadCpuNs - begin->threadCpuNs) / 1e9 / row.elapsedS;
  return row;
}

void RunSpeed(int baud, uint32_t latencyMs, const std::string& dir, std::vector<TRow>& rows) {
  std::string error;
  const std::string path = "sim:january5,pace=line,latency=" + std::to_string(latencyMs);
  auto bench = TMeasuredBench::Create(path, &error);
  if (!bench) {
    std::fprintf(stderr, "transfer: %s\n", error.c_str());
    std::exit(2);
  }
  TJobHarness harness(*bench);
  bench->Bench().SetFlash(RandomImage(2 * kPageSize, static_cast<uint32_t>(baud) + 2));  // what the read finds
  const auto flash = RandomImage(kPageSize, static_cast<uint32_t>(baud));
  std::vector<uint8_t> eeprom = RandomImage(kEepromSize, static_cast<uint32_t>(baud) + 1);
  const std::string flashFile = dir + "/page.bin", flashOut = dir + "/page-read.bin";
  const std::string eepromFile = dir + "/eeprom.eep", eepromOut = dir + "/eeprom-read.eep";
  WriteFile(flashFile, flash);
  WriteFile(eepromFile, eeprom);
  const auto limit = std::chrono::minutes(20);

  auto request = [&](uint8_t kind, uint8_t isFlash, const std::string& file) {
    return JanuaryJobRequest(kind, isFlash, file, baud);
  };
  auto add = [&](const char* job, const TJobRun& run, const char* stage, bool intact) {
    TRow row = Measure(run, stage, baud);
    row.baud = baud;
    row.latencyMs = latencyMs;
    row.job = job;
    row.dataIntact = intact && run.result == kOk;
    std::fprintf(stderr, "  %5d bit/s, latency %2u ms, %-12s result %d, %.1f s\n", baud, latencyMs, job,
                 run.result, row.elapsedS);
    rows.push_back(row);
  };

  // The reads go first: a job that fails leaves the bootstrap running without a way back to
  // the boot loader on this box, so a failing flash write (see RESULTS.md, 16 ms) comes last.
  TJobRun run = harness.RunFlashJob(request(kJobRead, 1, flashOut), limit);
  add("flash read", run, "Чтение...", ReadFile(flashOut) == Slice(bench->Bench().Flash(), kPageSize));
  run = harness.RunFlashJob(request(kJobWrite, 0, eepromFile), limit);
  add("EEPROM write", run, "Загрузка...", bench->Bench().Eeprom() == eeprom);
  run = harness.RunFlashJob(request(kJobRead, 0, eepromOut), limit);
  add("EEPROM read", run, "Чтение...", ReadFile(eepromOut) == eeprom);
  run = harness.RunFlashJob(request(kJobWrite, 1, flashFile), limit);
  const auto written = bench->Bench().Flash();
  add("flash write", run, "Загрузка...", std::equal(flash.begin(), flash.end(), written.begin()));
}

void PrintTable(const std::vector<TRow>& rows) {
  std::printf("%6s %4s %-12s %8s %8s %8s %9s %8s %10s %6s %6s %-6s %s\n", "bit/s", "lat", "transfer", "PC->box",
              "echo", "ECU->PC", "wire s", "ECU s", "elapsed s", "ratio", "CPU %", "data", "client turn ms/request");
  for (const TRow& r : rows) {
    if (r.result != kOk) {
      std::printf("%6d %4u %-12s   failed with result %d\n", r.baud, r.latencyMs, r.job.c_str(), r.result);
      continue;
    }
    const double ratio = r.elapsedS / (r.wireS + r.ecuS);
    char cpu[16] = "";
    if (r.job == "flash write") std::snprintf(cpu, sizeof cpu, "%.2f", 100.0 * r.cpuShare);
    const double turnMs = r.counts.answers ? static_cast<double>(r.counts.clientTurnNs) / 1e6 / r.counts.answers : 0;
    std::printf("%6d %4u %-12s %8llu %8llu %8llu %9.2f %8.2f %10.2f %6.3f %6s %-6s %.3f\n", r.baud, r.latencyMs,
                r.job.c_str(), static_cast<unsigned long long>(r.counts.pcBytes),
                static_cast<unsigned long long>(r.counts.echoBytes), static_cast<unsigned long long>(r.counts.ecuBytes),
                r.wireS, r.ecuS, r.elapsedS, ratio, cpu, r.dataIntact ? "intact" : "WRONG", turnMs);
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> speeds{57600, 38400, 19200, 9600};
  std::vector<int> latencySpeeds{57600};
  std::vector<int> latencies{1, 8, 16};
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string key = argv[i];
    if (key == "--speeds") speeds = ParseList(argv[i + 1]);
    else if (key == "--latency-speeds") latencySpeeds = ParseList(argv[i + 1]);
    else if (key == "--latencies") latencies = ParseList(argv[i + 1]);
    else {
      std::fprintf(stderr, "usage: transfer [--speeds 57600,...] [--latency-speeds 57600,...] [--latencies 1,16]\n");
      return 2;
    }
  }
  // QUILLORN_TRACE=file writes every byte on the line with its time, as the client's --trace.
  TTraceLog trace;
  if (const char* tracePath = std::getenv("QUILLORN_TRACE")) trace.Start(tracePath);
  char dirTemplate[] = "/tmp/quillorn-transfer-XXXXXX";
  const char* dir = mkdtemp(dirTemplate);
  if (!dir) return 2;
  std::vector<TRow> rows;
  for (int baud : speeds) RunSpeed(baud, 0, dir, rows);
  for (int baud : latencySpeeds)
    for (int latency : latencies) RunSpeed(baud, static_cast<uint32_t>(latency), dir, rows);
  PrintTable(rows);
  for (const char* name : {"page.bin", "page-read.bin", "eeprom.eep", "eeprom-read.eep"})
    std::remove((std::string(dir) + "/" + name).c_str());
  rmdir(dir);
  bool allIntact = true;
  for (const TRow& r : rows) allIntact = allIntact && r.dataIntact;
  return allIntact ? 0 : 1;
}
