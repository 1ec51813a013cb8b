// bench/range_checksum: what verifying a written 64 KiB page by the bootstrap's range checksum
// (request 0x99) costs next to writing it. For each speed and adapter latency the bench's
// January 5 ECU gets random flash, the bootstrap is started by an EEPROM read job, and the
// checksum of each whole page is asked for once. Printed per page: the elapsed time of the
// request, the ECU's own time (from the request's last byte to its answer, less the answer's
// wire time), and the elapsed time as a share of the wire time of the 64 KiB write it verifies
// (4096 requests of 16 data bytes, 24 bytes each, and their 5-byte answers) and of reading
// the page back (4096 reads of 16 bytes). The sum is checked against the PC's.
#include <unistd.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "bench/kit/JobHarness.hpp"
#include "protocol/FlashPro.hpp"
#include "protocol/RangeChecksum.hpp"

using namespace quillorn;
using namespace quillorn::benchkit;

namespace {

constexpr uint32_t kPage = 65536;
constexpr double kWriteWireBytes = 4096.0 * (24 + 5);
constexpr double kReadBackWireBytes = 4096.0 * (8 + 20);

std::vector<uint8_t> RandomFlash(uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> flash(2 * kPage);
  for (auto& byte : flash) byte = static_cast<uint8_t>(random());
  return flash;
}

bool MeasureSpeed(int baud, uint32_t latencyMs, const std::string& dir) {
  std::string error;
  auto bench = TMeasuredBench::Create("sim:january5,latency=" + std::to_string(latencyMs), &error);
  if (!bench) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
  }
  const std::vector<uint8_t> flash = RandomFlash(static_cast<uint32_t>(baud + latencyMs));
  bench->Bench().SetFlash(flash);
  TJobHarness harness(*bench);
  const TJobRun start = harness.RunFlashJob(JanuaryJobRequest(1, 0, dir + "/eeprom.eep", baud), std::chrono::seconds(120));
  std::remove((dir + "/eeprom.eep").c_str());
  if (start.result != kOk) {
    std::fprintf(stderr, "%6d %3u: the EEPROM read that starts the bootstrap ended with %d\n", baud, latencyMs, start.result);
    return false;
  }
  TFlashPro memory(harness.Link());
  if (memory.Open(bench->PortNumber(), baud, kProgrammerLine) != kOk) return false;
  memory.Link.MemorySpace = kFlashSpace;
  memory.Link.RetryCount = 1;
  memory.SetReplyTimeout(500);
  bool allMatch = true;
  for (uint8_t page = 0; page < 2; ++page) {
    memory.Link.BankByte = page;
    const TWireCounts before = bench->Counts();
    const auto started = TClock::now();
    uint16_t checksum = 0;
    const ResultCode result = memory.RangeChecksum(0, kPage, checksum);
    const double elapsedS = std::chrono::duration<double>(TClock::now() - started).count();
    const TWireCounts counts = bench->Counts() - before;
    const bool match = result == kOk && checksum == RangeChecksumOf(flash.data() + page * kPage, kPage);
    allMatch = allMatch && match;
    const double charS = 11.0 / baud;
    std::printf("%6d %4u %4u %10.3f %8.3f %14.2f %16.2f   %s\n", baud, latencyMs, page, elapsedS,
                counts.ecuTurnNs / 1e9, 100.0 * elapsedS / (kWriteWireBytes * charS),
                100.0 * elapsedS / (kReadBackWireBytes * charS), match ? "sum matches" : "WRONG");
  }
  memory.Close();
  return allMatch;
}

}  // namespace

int main() {
  char dirTemplate[] = "/tmp/quillorn-checksum-XXXXXX";
  const char* dir = mkdtemp(dirTemplate);
  if (!dir) return 2;
  std::printf(" bit/s  lat page  elapsed s    ECU s  %% of write wire  %% of read-back wire\n");
  bool ok = true;
  const struct {
    int baud;
    uint32_t latencyMs;
  } runs[] = {{57600, 0}, {9600, 0}, {57600, 16}};
  for (const auto& run : runs) ok = MeasureSpeed(run.baud, run.latencyMs, dir) && ok;
  rmdir(dir);
  return ok ? 0 : 1;
}
