// bench/transfer: how close the flash and EEPROM transfers come to what the line, the ECU and
// the adapter allow, with 16- and 32-byte requests side by side. Each job runs on the
// in-process bench paced to the line rate, behind an adapter that holds every byte towards the
// PC for the given latency; only the transfer phase is measured (from "Загрузка..." or
// "Чтение..." to the job's end): the reset pulse, the bootstrap upload, its start pause and the
// chip erase belong to the job, not to the transfer. For that phase it prints the requests,
// their wire time at the speed (8N2: eleven bit times a byte; the echo of a request overlaps
// its sending, so the time is that of the PC's bytes plus the ECU's answers), the ECU's time
// from the end of each request to its answer as the bench saw it, the elapsed time and
// elapsed / (wire + ECU + requests x latency): every request waits once for the adapter.
// A write's verification is measured apart and printed in a table of its own.
// Another compares a 64 KiB page write with and without the backup the job keeps before the
// erase (both pages the erase clears, read, then summed on the ECU), whole jobs from start to end.
// A last table writes a typical image (code and calibration with blank areas between) and
// shows what leaving its blank blocks off the line saves.
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
  uint8_t requestData = 16;
  std::string job;
  ResultCode result = kOk;
  bool dataIntact = false;
  TWireCounts counts;
  double wireS = 0, ecuS = 0, elapsedS = 0, cpuShare = -1;
  double verifyS = -1;  // a write's "Проверка..." to the job's end, outside the transfer

  double LatencyS() const { return static_cast<double>(counts.answers) * latencyMs / 1000.0; }
  double Ratio() const { return elapsedS / (wireS + ecuS + LatencyS()); }
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

// A 64 KiB page laid out like the firmware images users write: code from 0, calibration
// tables in the middle, both followed by erased space, and scattered 0xFF runs inside the
// code (alignment padding, unused tables).
std::vector<uint8_t> TypicalImage(uint32_t seed) {
  std::vector<uint8_t> image = RandomImage(kPageSize, seed);
  auto blank = [&](size_t from, size_t to) { std::fill(image.begin() + from, image.begin() + to, 0xFF); };
  blank(0x5400, 0x6000);  // after the code
  blank(0x9000, 0xC000);  // after the calibration
  blank(0xE800, 0x10000);  // after the data tables
  std::mt19937 random(7);  // the same layout whatever the content
  for (int run = 0; run < 40; ++run) {
    const size_t from = random() % 0x5000;
    blank(from, from + 16 + random() % 112);
  }
  return image;
}

size_t BlankBlocks(const std::vector<uint8_t>& image, size_t blockSize) {
  size_t blank = 0;
  for (size_t at = 0; at < image.size(); at += blockSize) {
    const auto end = image.begin() + static_cast<long>(std::min(image.size(), at + blockSize));
    if (std::all_of(image.begin() + static_cast<long>(at), end, [](uint8_t b) { return b == 0xFF; })) ++blank;
  }
  return blank;
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
  // A write ends with its verification: measured apart, so the transfer stays the transfer.
  const TMark* verify = run.Find("Проверка...");
  const TMark& end = verify != nullptr ? *verify : run.End();
  if (verify != nullptr) row.verifyS = Seconds(run.End().at - verify->at);
  row.counts = end.counts - begin->counts;
  const double charS = 11.0 / baud;
  row.wireS = static_cast<double>(row.counts.pcBytes + row.counts.ecuBytes) * charS;
  row.ecuS = static_cast<double>(row.counts.ecuTurnNs) / 1e9;
  row.elapsedS = Seconds(end.at - begin->at);
  row.cpuShare = static_cast<double>(end.threadCpuNs - begin->threadCpuNs) / 1e9 / row.elapsedS;
  return row;
}

struct TPlan {
  std::vector<int> speeds{57600, 9600};
  std::vector<int> latencies{0, 1, 8, 16};
  std::vector<int> sizes{16, 32};
  bool typical = true;
  bool backup = true;
};

// A 64 KiB page write as a whole job, without and with the backup before its erase.
struct TBackupRow {
  int baud = 0;
  uint32_t latencyMs = 0;
  ResultCode result = kOk;
  bool backupIntact = false;
  double plainS = 0, backupS = 0, withBackupS = 0;
};

double JobSeconds(const TJobRun& run) { return Seconds(run.End().at - run.marks.front().at); }

// One bench per speed and latency; every request size runs its four transfers on it, then the
// typical image goes out with the largest size.
void RunSpeed(int baud, uint32_t latencyMs, const TPlan& plan, const std::string& dir, std::vector<TRow>& rows,
              std::vector<TRow>& typicalRows, std::vector<TBackupRow>& backupRows) {
  std::string error;
  const std::string path = "sim:january5,pace=line,latency=" + std::to_string(latencyMs);
  auto bench = TMeasuredBench::Create(path, &error);
  if (!bench) {
    std::fprintf(stderr, "transfer: %s\n", error.c_str());
    std::exit(2);
  }
  TJobHarness harness(*bench);
  uint8_t requestData = 16;
  // The job picks its request size for the peer; the bench overrides it as the transfer begins.
  harness.OnStage([&](const std::string& stage) {
    if (stage == "Загрузка..." || stage == "Чтение...") {
      harness.Link().BlockSize = requestData;
      harness.Link().ReadPieceSize = requestData;
    }
  });
  bench->Bench().SetFlash(RandomImage(2 * kPageSize, static_cast<uint32_t>(baud) + 2));  // what the read finds
  const auto flash = RandomImage(kPageSize, static_cast<uint32_t>(baud));
  std::vector<uint8_t> eeprom = RandomImage(kEepromSize, static_cast<uint32_t>(baud) + 1);
  const std::string flashFile = dir + "/page.bin", flashOut = dir + "/page-read.bin";
  const std::string eepromFile = dir + "/eeprom.eep", eepromOut = dir + "/eeprom-read.eep";
  const std::string typicalFile = dir + "/typical.bin";
  WriteFile(flashFile, flash);
  WriteFile(eepromFile, eeprom);
  const auto limit = std::chrono::minutes(20);

  auto request = [&](uint8_t kind, uint8_t isFlash, const std::string& file) {
    return JanuaryJobRequest(kind, isFlash, file, baud);
  };
  auto measured = [&](const char* job, const TJobRun& run, const char* stage, bool intact) {
    TRow row = Measure(run, stage, baud);
    row.baud = baud;
    row.latencyMs = latencyMs;
    row.requestData = requestData;
    row.job = job;
    row.dataIntact = intact && run.result == kOk;
    std::fprintf(stderr, "  %5d bit/s, latency %2u ms, %2u-byte requests, %-12s result %d, %.1f s\n", baud,
                 latencyMs, requestData, job, run.result, row.elapsedS);
    return row;
  };

  for (int size : plan.sizes) {
    requestData = static_cast<uint8_t>(size);
    TJobRun run = harness.RunFlashJob(request(kJobRead, 1, flashOut), limit);
    rows.push_back(measured("flash read", run, "Чтение...", ReadFile(flashOut) == Slice(bench->Bench().Flash(), kPageSize)));
    run = harness.RunFlashJob(request(kJobWrite, 0, eepromFile), limit);
    rows.push_back(measured("EEPROM write", run, "Загрузка...", bench->Bench().Eeprom() == eeprom));
    run = harness.RunFlashJob(request(kJobRead, 0, eepromOut), limit);
    rows.push_back(measured("EEPROM read", run, "Чтение...", ReadFile(eepromOut) == eeprom));
    run = harness.RunFlashJob(request(kJobWrite, 1, flashFile), limit);
    const auto written = bench->Bench().Flash();
    rows.push_back(measured("flash write", run, "Загрузка...", std::equal(flash.begin(), flash.end(), written.begin())));
  }
  if (plan.backup && !plan.sizes.empty()) {
    // The erase clears the whole two-page chip, so the backup must hold both pages as they were.
    TBackupRow row{baud, latencyMs};
    const TJobRun plain = harness.RunFlashJob(request(kJobWrite, 1, flashFile), limit);
    const auto before = Slice(bench->Bench().Flash(), 2 * kPageSize);
    TJobRequest rq = request(kJobWrite, 1, flashFile);
    rq.Backup = true;
    rq.BackupFolder = dir + "/backups";
    const TJobRun kept = harness.RunFlashJob(rq, limit);
    row.result = plain.result != kOk ? plain.result : kept.result;
    const TMark* start = kept.Find("Резервная копия...");
    const TMark* erase = kept.Find("Стирание flash");
    if (row.result == kOk && start && erase) {
      row.plainS = JobSeconds(plain);
      row.withBackupS = JobSeconds(kept);
      row.backupS = Seconds(erase->at - start->at);
      row.backupIntact = ReadFile(harness.State().BackupFile) == before;
    }
    std::remove(harness.State().BackupFile.c_str());
    std::fprintf(stderr, "  %5d bit/s, latency %2u ms, write with backup  result %d, %.1f s\n", baud, latencyMs,
                 row.result, row.withBackupS);
    backupRows.push_back(row);
  }
  if (plan.typical && !plan.sizes.empty()) {
    const auto typical = TypicalImage(static_cast<uint32_t>(baud) + latencyMs);
    WriteFile(typicalFile, typical);
    const TJobRun run = harness.RunFlashJob(request(kJobWrite, 1, typicalFile), limit);
    const auto written = bench->Bench().Flash();
    typicalRows.push_back(
        measured("typical write", run, "Загрузка...", std::equal(typical.begin(), typical.end(), written.begin())));
  }
}

const TRow* FindRow(const std::vector<TRow>& rows, int baud, uint32_t latency, uint8_t size, const std::string& job) {
  for (const TRow& r : rows)
    if (r.baud == baud && r.latencyMs == latency && r.requestData == size && r.job == job) return &r;
  return nullptr;
}

// "requests wire s ECU s lat s elapsed s ratio data" of one row, or why it has none.
std::string Cells(const TRow* r) {
  char text[160];
  if (r == nullptr) return "";
  if (r->result != kOk) {
    std::snprintf(text, sizeof text, "%-50s", ("failed with result " + std::to_string(r->result)).c_str());
    return text;
  }
  std::snprintf(text, sizeof text, "%5llu %7.2f %6.2f %6.2f %8.2f %5.3f %-6s",
                static_cast<unsigned long long>(r->counts.answers), r->wireS, r->ecuS, r->LatencyS(), r->elapsedS,
                r->Ratio(), r->dataIntact ? "intact" : "WRONG");
  return text;
}

void PrintTable(const std::vector<TRow>& rows, const TPlan& plan) {
  const char* cells = " reqs  wire s  ECU s  lat s elapsed s ratio data  ";
  std::printf("%6s %4s %-12s | %2d-byte requests:%33s | %2d-byte requests:%33s | %s\n", "", "", "",
              plan.sizes.front(), "", plan.sizes.back(), "", "speed-up");
  std::printf("%6s %4s %-12s | %s | %s |\n", "bit/s", "lat", "transfer", cells, cells);
  for (int baud : plan.speeds)
    for (int latency : plan.latencies)
      for (const char* job : {"flash read", "flash write", "EEPROM read", "EEPROM write"}) {
        const auto lat = static_cast<uint32_t>(latency);
        const TRow* small = FindRow(rows, baud, lat, static_cast<uint8_t>(plan.sizes.front()), job);
        const TRow* large = FindRow(rows, baud, lat, static_cast<uint8_t>(plan.sizes.back()), job);
        char speedUp[16] = "";
        if (small && large && small->result == kOk && large->result == kOk)
          std::snprintf(speedUp, sizeof speedUp, "%.2fx", small->elapsedS / large->elapsedS);
        std::printf("%6d %4d %-12s | %s | %s | %s\n", baud, latency, job, Cells(small).c_str(),
                    Cells(large).c_str(), speedUp);
      }
}

// What verifying a write costs next to the write: the Январь bootstrap sums the page on the ECU.
void PrintVerification(const std::vector<TRow>& rows) {
  std::printf("\nVerification after the write (\"Проверка...\" to the end) against the transfer:\n");
  std::printf("%6s %4s %5s %-12s %9s %9s %7s\n", "bit/s", "lat", "bytes", "transfer", "write s", "verify s", "share");
  for (const TRow& r : rows)
    if (r.result == kOk && r.verifyS >= 0)
      std::printf("%6d %4u %5u %-12s %9.2f %9.2f %6.1f %%\n", r.baud, r.latencyMs, r.requestData, r.job.c_str(),
                  r.elapsedS, r.verifyS, 100.0 * r.verifyS / r.elapsedS);
}

// The job thread's own CPU time over the elapsed time of each 64 KiB write: the PC side must
// sleep in its waits, never spin.
void PrintCpu(const std::vector<TRow>& rows) {
  std::printf("\nJob thread CPU / elapsed, 64 KiB flash write:");
  for (const TRow& r : rows)
    if (r.job == "flash write" && r.result == kOk)
      std::printf(" %d/%u ms/%u-byte %.2f %%;", r.baud, r.latencyMs, r.requestData, 100.0 * r.cpuShare);
  std::printf("\n");
}

void PrintBackup(const std::vector<TBackupRow>& rows) {
  if (rows.empty()) return;
  std::printf("\n64 KiB page write, whole job, without and with the backup of both pages before the erase:\n");
  std::printf("%6s %4s %9s %9s %13s %7s %s\n", "bit/s", "lat", "write s", "backup s", "with backup s", "ratio",
              "backup");
  for (const TBackupRow& r : rows) {
    if (r.result != kOk) {
      std::printf("%6d %4u failed with result %d\n", r.baud, r.latencyMs, r.result);
      continue;
    }
    std::printf("%6d %4u %9.2f %9.2f %13.2f %6.2fx %s\n", r.baud, r.latencyMs, r.plainS, r.backupS, r.withBackupS,
                r.withBackupS / r.plainS, r.backupIntact ? "intact" : "WRONG");
  }
}

void PrintTypical(const std::vector<TRow>& rows, const std::vector<TRow>& typicalRows, const TPlan& plan) {
  if (typicalRows.empty()) return;
  const auto image = TypicalImage(0);
  const auto size = static_cast<uint8_t>(plan.sizes.back());
  const size_t blocks = kPageSize / size, blank = BlankBlocks(image, size);
  std::printf("\nTypical image, 64 KiB, %zu of %zu %u-byte blocks blank (%.0f %%), left off the line after the "
              "erase:\n", blank, blocks, size, 100.0 * static_cast<double>(blank) / static_cast<double>(blocks));
  std::printf("%6s %4s | %-46s | %-46s | %s\n", "bit/s", "lat", "random image (every block sent)",
              "typical image (blank blocks left out)", "saves");
  for (const TRow& t : typicalRows) {
    const TRow* full = FindRow(rows, t.baud, t.latencyMs, size, "flash write");
    char saves[16] = "";
    if (full && full->result == kOk && t.result == kOk)
      std::snprintf(saves, sizeof saves, "%.0f %%", 100.0 * (1.0 - t.elapsedS / full->elapsedS));
    std::printf("%6d %4u | %s | %s | %s\n", t.baud, t.latencyMs, Cells(full).c_str(), Cells(&t).c_str(), saves);
  }
}

}  // namespace

int main(int argc, char** argv) {
  TPlan plan;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string key = argv[i];
    if (key == "--speeds") plan.speeds = ParseList(argv[i + 1]);
    else if (key == "--latencies") plan.latencies = ParseList(argv[i + 1]);
    else if (key == "--sizes") plan.sizes = ParseList(argv[i + 1]);
    else if (key == "--typical") plan.typical = std::atoi(argv[i + 1]) != 0;
    else if (key == "--backup") plan.backup = std::atoi(argv[i + 1]) != 0;
    else {
      std::fprintf(stderr,
                   "usage: transfer [--speeds 57600,9600] [--latencies 0,1,8,16] [--sizes 16,32] [--typical 1|0]\n"
                   "                [--backup 1|0]\n");
      return 2;
    }
  }
  if (plan.sizes.empty()) plan.sizes = {16};
  // QUILLORN_TRACE=file writes every byte on the line with its time, as the client's --trace.
  TTraceLog trace;
  if (const char* tracePath = std::getenv("QUILLORN_TRACE")) trace.Start(tracePath);
  char dirTemplate[] = "/tmp/quillorn-transfer-XXXXXX";
  const char* dir = mkdtemp(dirTemplate);
  if (!dir) return 2;
  std::vector<TRow> rows, typicalRows;
  std::vector<TBackupRow> backupRows;
  for (int baud : plan.speeds)
    for (int latency : plan.latencies)
      RunSpeed(baud, static_cast<uint32_t>(latency), plan, dir, rows, typicalRows, backupRows);
  PrintTable(rows, plan);
  PrintTypical(rows, typicalRows, plan);
  PrintVerification(rows);
  PrintBackup(backupRows);
  PrintCpu(rows);
  for (const char* name : {"page.bin", "page-read.bin", "eeprom.eep", "eeprom-read.eep", "typical.bin"})
    std::remove((std::string(dir) + "/" + name).c_str());
  rmdir((std::string(dir) + "/backups").c_str());
  rmdir(dir);
  bool allIntact = true;
  for (const TBackupRow& r : backupRows) allIntact = allIntact && r.result == kOk && r.backupIntact;
  for (const TRow& r : rows) allIntact = allIntact && r.dataIntact;
  for (const TRow& r : typicalRows) allIntact = allIntact && r.dataIntact;
  return allIntact ? 0 : 1;
}
