#include "jobs/Backup.hpp"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "image/ImageProgress.hpp"
#include "jobs/FlashJob.hpp"
#include "jobs/Passport.hpp"
#include "jobs/PreFlight.hpp"
#include "jobs/ResultMessage.hpp"
#include "jobs/Verify.hpp"
#include "platform/AbortMailbox.hpp"
#include "platform/BackupFolder.hpp"
#include "platform/File.hpp"
#include "protocol/RangeChecksum.hpp"
#include "report/Quoted.hpp"

namespace quillorn {

namespace {

constexpr size_t kVersionNameLimit = 32;
constexpr const char* kProbeName = ".quillorn-probe";
constexpr const char* kCheckLine = " Проверьте кабель и питание ЭБУ и повторите задание.";

const char* MemoryWord(const TJobRequest& rq, const std::vector<TPlanRange>& window) {
  if (JobWindowOf(rq).IsEeprom) return "eeprom";
  return window.size() == 2 ? "flash-dual" : "flash";
}

class TBackupReader {
 public:
  TBackupReader(const TJobRequest& rq, TFlashPro& memory, uint64_t total)
      : rq_(rq), memory_(memory), report_(*memory.Link.Report), total_(total) {}

  // Reads a range into image from its offset on; a second pass compares instead of storing.
  ResultCode Read(const TPlanRange& range, std::vector<uint8_t>& image, size_t offset, bool compare) {
    const uint8_t piece = ReadPieceFor(rq_);
    uint8_t buffer[255];
    memory_.Link.BankByte = range.Bank;
    for (uint32_t done = 0; done < range.Size; done += piece) {
      const auto count = static_cast<uint8_t>(std::min<uint32_t>(piece, range.Size - done));
      if (ResultCode r = memory_.ReadBlock(range.Address + done, buffer, count)) return r;
      uint8_t* const stored = image.data() + offset + done;
      if (compare && !std::equal(buffer, buffer + count, stored)) {
        mismatch_ = true;
        return kOk;
      }
      if (!compare) std::copy(buffer, buffer + count, stored);
      Advance(count);
      if (PeekAbortMessage()) return kAborted;
    }
    return kOk;
  }

  // The ECU's own sum of the range against the sum of the bytes read: a moment next to the
  // read, so it counts for nothing in the progress.
  ResultCode Sum(const TPlanRange& range, const std::vector<uint8_t>& image, size_t offset) {
    memory_.Link.BankByte = range.Bank;
    uint16_t found = 0;
    if (ResultCode r = memory_.RangeChecksum(range.Address, range.Size, found)) return r;
    mismatch_ = found != RangeChecksumOf(image.data() + offset, range.Size);
    return kOk;
  }

  bool Mismatch() const { return mismatch_; }

 private:
  void Advance(uint64_t count) {
    done_ += count;
    ReportProgressOf(report_, done_, total_);
  }

  const TJobRequest& rq_;
  TFlashPro& memory_;
  IJobReport& report_;
  uint64_t total_ = 0, done_ = 0;
  bool mismatch_ = false;
};

std::string LinkFailure(ResultCode r) {
  return "Память ЭБУ для резервной копии не прочитана (" + ErrorCaption(r) + "): " + MessageForJobResult(r).text;
}

ResultCode ReadAndCheck(const TJobRequest& rq, const std::vector<TPlanRange>& window, TFlashPro& memory,
                        std::vector<uint8_t>& image, std::string& detail) {
  uint64_t bytes = 0;
  for (const TPlanRange& r : window) bytes += r.Size;
  image.assign(static_cast<size_t>(bytes), 0xFF);
  memory.Link.MemorySpace = JobWindowOf(rq).IsEeprom ? 3 : 2;
  TBackupReader reader(rq, memory, SumsOnTheEcu(rq) ? bytes : 2 * bytes);
  IJobReport& report = *memory.Link.Report;
  report.ShowStage("Резервная копия...");
  report.ShowPercent(0);
  ResultCode result = kOk;
  size_t offset = 0;
  for (const TPlanRange& r : window) {
    if ((result = reader.Read(r, image, offset, false)) != kOk) break;
    offset += r.Size;
  }
  if (result == kOk) report.ShowStage("Проверка резервной копии...");
  offset = 0;
  for (const TPlanRange& r : window) {
    if (result != kOk || reader.Mismatch()) break;
    result = SumsOnTheEcu(rq) ? reader.Sum(r, image, offset) : reader.Read(r, image, offset, true);
    offset += r.Size;
  }
  memory.Link.BankByte = 0;
  if (result == kAborted) return kAborted;
  if (result != kOk) {
    detail = LinkFailure(result);
    return kBackupFailed;
  }
  if (reader.Mismatch()) {
    detail = std::string("Повторная проверка прочитанного не совпала с памятью ЭБУ: связь ненадёжна.") + kCheckLine +
             " Если ошибка повторится, уменьшите скорость обмена.";
    return kBackupFailed;
  }
  ReportComplete(report);
  return kOk;
}

bool SaveImage(const std::vector<uint8_t>& image, const std::string& path) {
  const std::string part = PartialFileName(path);
  TFile file(part, "wb");
  bool written = file.IsOpen() && std::fwrite(image.data(), 1, image.size(), file.Get()) == image.size();
  written = file.Close() && written;
  if (written && ReplaceFileAtomically(part, path)) return true;
  RemoveFileUtf8(part);
  return false;
}

std::tm LocalTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (const std::tm* t = std::localtime(&now)) local = *t;
  return local;
}

}  // namespace

bool ChangesEcuMemory(const TJobRequest& rq) {
  if (rq.VerifyOnly) return false;
  return rq.JobKind == kJobWrite || rq.JobKind == kJobMikasWrite || rq.JobKind == kJobBanksWrite ||
         rq.JobKind == kJobClearEeprom;
}

std::vector<TPlanRange> BackupWindowOf(const TJobRequest& rq) {
  const TJobWindow w = JobWindowOf(rq);
  if (w.IsEeprom) return {{0, w.FirstAddress, w.BankBytes}};
  // The erase before a flash write clears the whole chip, whatever part of it the file fills:
  // a one-page write on a two-page chip loses page 1 too, so the backup keeps every page.
  std::vector<TPlanRange> window;
  for (unsigned bank = w.FirstBank; bank <= w.LastBank; ++bank) window.push_back({static_cast<uint8_t>(bank), 0, kPageSize});
  return window;
}

std::string FileNameSafe(const std::string& text) {
  std::string safe;
  for (unsigned char c : text) {
    const bool alnum = c < 0x80 && std::isalnum(c) != 0;
    // A dot only after a letter or digit: no name of dots alone, no ".." climbing a folder.
    const bool dot = c == '.' && !safe.empty() && std::isalnum(static_cast<unsigned char>(safe.back())) != 0;
    if (alnum || c == '-' || dot) safe.push_back(static_cast<char>(c));
    else if (!safe.empty() && safe.back() != '_') safe.push_back('_');
  }
  while (!safe.empty() && (safe.back() == '_' || safe.back() == '.')) safe.pop_back();
  return safe;
}

std::string BackupFileName(TEcuFamily family, const std::tm& t, const std::string& version, const std::string& memory) {
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d_%02d%02d%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                t.tm_hour, t.tm_min, t.tm_sec);
  std::string name = std::string(stamp) + "_" + std::string(EcuFamilyName(family)) + "_";
  const std::string safeVersion = FileNameSafe(version).substr(0, kVersionNameLimit);
  if (!safeVersion.empty()) name += safeVersion + "_";
  return name + memory + ".bin";
}

std::string UnusedPath(const std::string& folder, const std::string& name) {
  const size_t dot = name.rfind('.');
  const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
  const std::string extension = dot == std::string::npos ? "" : name.substr(dot);
  for (unsigned n = 1;; ++n) {
    const std::string path = JoinPath(folder, n == 1 ? name : stem + "_" + std::to_string(n) + extension);
    if (FileKindOf(path) == TFileKind::Missing && FileKindOf(PartialFileName(path)) == TFileKind::Missing) return path;
  }
}

std::string CheckBackupFolder(const std::string& folder) {
  const std::string advice = " Укажите другую папку резервных копий или освободите её.";
  if (folder.empty()) return "Не найдена папка пользователя для резервных копий." + advice;
  if (!CreateFolderTree(folder))
    return "Папку резервных копий " + Quoted(folder) + " не удалось создать: нет прав или путь занят файлом." + advice;
  const std::string probe = JoinPath(folder, kProbeName);
  const bool existed = FileKindOf(probe) != TFileKind::Missing;
  TFile file(probe, "ab");
  const bool writable = file.IsOpen() && file.Close();
  if (!existed) RemoveFileUtf8(probe);
  if (!writable) return "В папку резервных копий " + Quoted(folder) + " нельзя записать: нет прав на запись." + advice;
  return "";
}

ResultCode MakeBackup(const TJobRequest& rq, TFlashPro& memory, std::string& savedPath, std::string& detail) {
  savedPath.clear();
  const std::vector<TPlanRange> window = BackupWindowOf(rq);
  std::vector<uint8_t> image;
  if (ResultCode r = ReadAndCheck(rq, window, memory, image, detail)) return r;
  const std::string version = JobWindowOf(rq).IsEeprom ? "" : PassportVersionOfImage(rq.Family, image);
  const std::string name = BackupFileName(rq.Family, LocalTimeNow(), version, MemoryWord(rq, window));
  if (!CreateFolderTree(rq.BackupFolder)) {
    detail = CheckBackupFolder(rq.BackupFolder);
    return kBackupFailed;
  }
  const std::string path = UnusedPath(rq.BackupFolder, name);
  if (!SaveImage(image, path)) {
    detail = "Файл " + Quoted(path) + " не записан: нет места на диске или нет прав на запись. Освободите место "
             "или укажите другую папку резервных копий.";
    return kBackupFailed;
  }
  savedPath = path;
  return kOk;
}

}  // namespace quillorn
