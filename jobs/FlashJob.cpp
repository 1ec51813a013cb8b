#include "jobs/FlashJob.hpp"

#include <algorithm>

#include "jobs/Backup.hpp"
#include "jobs/Passport.hpp"
#include "jobs/PreFlight.hpp"
#include "jobs/Verify.hpp"
#include "platform/AbortMailbox.hpp"
#include "platform/Clock.hpp"
#include "platform/File.hpp"
#include "resources/BootstrapImages.hpp"

namespace quillorn {

namespace {

constexpr uint16_t kBootstrapAddress = 0xF400;
constexpr uint16_t kBootstrapEntry = 0xF420;
constexpr uint8_t kUploadBlock = 16;
constexpr uint16_t kEraseWord = 20;
constexpr uint8_t kEraseByte = 0x14;
constexpr uint16_t kNoEraseWord = 256;
constexpr uint8_t kAlternateAddressing = 0x80;
constexpr uint8_t kFirstBank = 0x10;
constexpr uint8_t kBankCount = 8;
constexpr uint32_t kResetPulseMs = 1000;
constexpr uint32_t kBootstrapStartMs = 1000;
constexpr uint32_t kLoaderSettleMs = 500;

bool IsWriteKind(uint8_t kind) { return kind == kJobWrite || kind == kJobMikasWrite || kind == kJobBanksWrite; }
bool IsBanksKind(uint8_t kind) { return kind == kJobBanksWrite || kind == kJobBanksRead; }

class TJob {
 public:
  TJob(const TJobRequest& request, TJobDrivers& drivers)
      : rq_(request), d_(drivers), link_(drivers.Loader.Link), report_(*drivers.Loader.Link.Report) {}

  ResultCode Run();

 private:
  ResultCode Fail(ResultCode r) { return link_.LastResult = r; }
  ResultCode Preflight();
  ResultCode Verify(bool erasedBefore);
  ResultCode KeepBackup();
  // One transfer with the bank byte set; the link goes back to bank 0 whatever the outcome, so
  // the next request (a passport read, the next job) never lands in a bank set here.
  template <class Transfer>
  ResultCode OnBank(uint8_t bank, Transfer transfer) {
    link_.BankByte = bank;
    const ResultCode r = transfer();
    link_.BankByte = 0;
    return r;
  }
  ResultCode ReachBootstrap();
  ResultCode ResetThroughProgrammer();
  ResultCode Write();
  ResultCode WriteBinary();
  ResultCode WriteSecondPage();
  ResultCode WriteRemainingBanks();
  ResultCode Read();
  ResultCode ReadInto(const std::string& partName);
  ResultCode ClearEeprom();
  ResultCode Transfer();

  const TJobRequest& rq_;
  TJobDrivers& d_;
  TLinkState& link_;
  IJobReport& report_;
  uint32_t startAddress_ = 0;
  uint32_t size_ = kPageSize;
  std::shared_ptr<const TJobPlan> plan_;
  std::string target_;  // a read's target, links followed
};

// Nothing reaches the ECU before the file and the target are proven to fit: a front end that
// ran the pre-flight hands its plan over, otherwise the job runs it here.
ResultCode TJob::Preflight() {
  d_.State.FailureDetail.clear();
  d_.State.BackupFile.clear();
  target_ = rq_.FileName;
  if (rq_.Plan != nullptr && (IsWriteKind(rq_.JobKind) || rq_.VerifyOnly)) {
    plan_ = rq_.Plan;
    d_.State.FileFormat = rq_.PlanFormat;
    return kOk;
  }
  TPreflight preflight = PreflightJob(rq_);
  if (preflight.Result != kOk) {
    d_.State.FailureDetail = preflight.RefusalUtf8;
    return Fail(preflight.Result);
  }
  plan_ = preflight.Plan;
  if (!preflight.TargetFile.empty()) target_ = preflight.TargetFile;
  if (IsWriteKind(rq_.JobKind) || rq_.VerifyOnly) d_.State.FileFormat = preflight.FileFormat;
  return kOk;
}

ResultCode TJob::Run() {
  if (ResultCode r = Preflight()) return r;
  report_.ShowStage("Инициализация");
  link_.RetryCount = 3;
  d_.Loader.SetReplyTimeout(rq_.JobReplyTimeout);
  if (ResultCode r = ReachBootstrap()) return r;

  link_.RetryCount = 10;
  report_.ShowStage("Чтение паспорта");
  TPassportJob passport{rq_.JobKind, rq_.IsFlashJob, d_.State.FileFormat, rq_.FileName};
  if (ResultCode r = ShowJobPassport(passport, d_.Memory)) return r;

  if (rq_.IsFlashJob == 1) {
    link_.MemorySpace = kFlashSpace;
    startAddress_ = 0;
    size_ = kPageSize;
  } else {
    link_.MemorySpace = kEepromSpace;
    startAddress_ = EepromAddressOf(rq_.Family);
    size_ = kEepromSize;
  }
  d_.Session.LinkState = kLinkBootstrapRunning;
  UseRequestData(link_, IsBanksKind(rq_.JobKind) ? kOwnCommandSetRequestData : kBootstrapRequestData);
  if (rq_.VerifyOnly) return Verify(false);
  if (rq_.Backup && ChangesEcuMemory(rq_)) {
    if (ResultCode r = KeepBackup()) return r;
  }
  return Transfer();
}

// Nothing is erased or written until the memory the job changes is safe in a file.
ResultCode TJob::KeepBackup() {
  d_.Memory.SetReplyTimeout(rq_.JobReplyTimeout);
  return Fail(MakeBackup(rq_, d_.Memory, d_.State.BackupFile, d_.State.FailureDetail));
}

ResultCode TJob::Transfer() {
  switch (rq_.JobKind) {
    case kJobWrite: case kJobMikasWrite: case kJobBanksWrite: {
      if (ResultCode r = Write()) return r;
      return Verify(rq_.IsFlashJob == 1);
    }
    case kJobRead: case kJobMikasRead: case kJobBanksRead: return Read();
    case kJobClearEeprom: {
      if (ResultCode r = ClearEeprom()) return r;
      return Verify(false);
    }
    default: return kOk;
  }
}

ResultCode TJob::Verify(bool erasedBefore) {
  if (!rq_.Verify && !rq_.VerifyOnly) return kOk;
  if (plan_ == nullptr) return kOk;
  d_.Memory.SetReplyTimeout(rq_.JobReplyTimeout);
  const ResultCode r = VerifyPlan(rq_, *plan_, d_.Memory, erasedBefore, d_.State.FailureDetail);
  return Fail(r);
}

ResultCode TJob::ReachBootstrap() {
  TLinkSession& session = d_.Session;
  if (session.LinkState != kLinkBootstrapRunning) {
    if (session.LinkState != kLinkBanksEcuAnswers && session.Model4Detected == 1) {
      if (ResultCode r = ResetThroughProgrammer()) return r;
    }
    link_.MemorySpace = kUploadSpace;
    report_.ShowStage("Загрузка bootstrap");
    const uint8_t kind = rq_.JobKind;
    ResultCode r = kOk;
    if (kind == kJobWrite || kind == kJobRead || kind == kJobClearEeprom)
      r = UploadBootstrap(d_, JanuaryBootstrap, sizeof JanuaryBootstrap);
    else if (kind == kJobMikasWrite || kind == kJobMikasRead)
      r = UploadBootstrap(d_, MikasBootstrap, sizeof MikasBootstrap);
    if (r != kOk) {
      session.LinkState = kLinkStartOver;
      return r;
    }
  }
  report_.ShowPercent(0);
  if (session.LinkState != kLinkBootstrapRunning && !IsBanksKind(rq_.JobKind)) {
    report_.ShowStage("Запуск bootstrap");
    if (ResultCode r = d_.Loader.Start(kBootstrapEntry)) return r;
    SleepMs(kBootstrapStartMs);
  }
  return kOk;
}

// A "ЖВ-4" resets the ECU while DTR is raised; the drop starts its boot loader afresh.
ResultCode TJob::ResetThroughProgrammer() {
  d_.Session.LinkState = kLinkStartOver;
  if (ResultCode r = d_.Loader.Open(rq_.PortNumber, rq_.SelectedBaud, kProgrammerLine)) return r;
  d_.Loader.SetDtr();
  SleepMs(kResetPulseMs);
  d_.Loader.ClearDtr();
  SleepMs(kResetPulseMs);
  if (TSerialPort32* port = link_.SharedPort.get()) port->ClearReceive(nullptr);
  return kOk;
}

ResultCode TJob::Write() {
  if (rq_.IsFlashJob == 1) {
    report_.ShowStage("Стирание flash");
    d_.Memory.SetReplyTimeout(kEraseTimeoutMs);
    if (rq_.JobKind != kJobBanksWrite) {
      const bool alternate = rq_.Family == TEcuFamily::Vs51 || rq_.Family == TEcuFamily::January72;
      const uint8_t eraseByte = alternate ? (kEraseByte | kAlternateAddressing) : kEraseByte;
      if (ResultCode r = d_.Memory.EraseFlash(kEraseWord, eraseByte)) return r;
    } else {
      // No erase request goes to an eight-bank ECU: its status is judged against the word of
      // "no request sent", not against whatever an earlier job of another family left there,
      // which would let a failed erase pass as a success.
      d_.Memory.LastEraseWord = kNoEraseWord;
    }
    if (ResultCode r = d_.Memory.EraseStatus()) return r;
    link_.FlashErased = true;
  }
  d_.Memory.SetReplyTimeout(rq_.JobReplyTimeout);
  report_.ShowStage("Загрузка...");
  if (d_.State.FileFormat == kFormatHex) return d_.Memory.LoadSRecordFile(rq_.FileName);
  return WriteBinary();
}

ResultCode TJob::WriteBinary() {
  const bool banks = rq_.JobKind == kJobBanksWrite;
  if (banks) report_.ShowStage("Загрузка, банк 1/8");
  link_.FileOffset = 0;
  link_.FileLimit = ((rq_.DualProg && rq_.IsFlashJob == 1) || banks) ? kPageSize : 0xFFFFFFFFu;
  const ResultCode first =
      OnBank(banks ? kFirstBank : 0, [&] { return d_.Memory.LoadBinaryFile(rq_.FileName, startAddress_); });
  if (first != kOk) return first;
  if ((rq_.DualProg || rq_.SecondPage) && rq_.IsFlashJob == 1 && !banks) {
    if (ResultCode r = WriteSecondPage()) return r;
  }
  if (banks) return WriteRemainingBanks();
  return kOk;
}

ResultCode TJob::WriteSecondPage() {
  // A double image takes the file's second 64 KiB; the second-page copy repeats the window.
  if (rq_.DualProg) link_.FileOffset = link_.FileLimit = kPageSize;
  return OnBank(1, [&] { return d_.Memory.LoadBinaryFile(rq_.FileName, 0); });
}

ResultCode TJob::WriteRemainingBanks() {
  for (uint8_t i = 1; i < kBankCount; ++i) {
    report_.ShowStage("Загрузка, банк " + std::to_string(i + 1) + "/8");
    link_.FileOffset = i * kPageSize;
    link_.FileLimit = kPageSize;
    const auto bank = static_cast<uint8_t>(kFirstBank + i);
    if (ResultCode r = OnBank(bank, [&] { return d_.Memory.LoadBinaryFile(rq_.FileName, 0); })) return r;
  }
  return kOk;
}

// The data goes to "<target>.part" and replaces the target only when everything was read: a
// failed or cancelled read never destroys a file the user already had.
ResultCode TJob::Read() {
  report_.ShowStage("Чтение...");
  d_.Memory.SetReplyTimeout(rq_.JobReplyTimeout);
  const std::string partName = PartialFileName(target_);
  const ResultCode r = ReadInto(partName);
  d_.Memory.AppendToFile = 0;
  if (r != kOk) return r;
  if (!ReplaceFileAtomically(partName, target_)) return Fail(kFileWriteFailed);
  return kOk;
}

ResultCode TJob::ReadInto(const std::string& partName) {
  const bool banks = rq_.JobKind == kJobBanksRead;
  if (banks) report_.ShowStage("Чтение, банк 1/8");
  d_.Memory.AppendToFile = 0;
  const ResultCode first =
      OnBank(banks ? kFirstBank : 0, [&] { return d_.Memory.SaveToFile(partName, startAddress_, size_); });
  if (first != kOk) return first;
  d_.Memory.AppendToFile = 1;
  if (rq_.DualProg && rq_.IsFlashJob == 1 && !banks) {
    return OnBank(1, [&] { return d_.Memory.SaveToFile(partName, startAddress_, kPageSize); });
  }
  if (banks) {
    for (uint8_t i = 1; i < kBankCount; ++i) {
      report_.ShowStage("Чтение, банк " + std::to_string(i + 1) + "/8");
      const auto bank = static_cast<uint8_t>(kFirstBank + i);
      if (ResultCode r = OnBank(bank, [&] { return d_.Memory.SaveToFile(partName, 0, kPageSize); })) return r;
    }
  }
  return kOk;
}

ResultCode TJob::ClearEeprom() {
  report_.ShowStage("Очистка...");
  d_.Memory.SetReplyTimeout(rq_.JobReplyTimeout);
  link_.BankByte = 0;
  link_.MemorySpace = kEepromSpace;
  uint8_t erased[16];
  std::fill(std::begin(erased), std::end(erased), 0xFF);
  for (uint32_t offset = 0; offset < kEepromSize; offset += sizeof erased) {
    if (ResultCode r = d_.Memory.WriteBlock(startAddress_ + offset, erased, sizeof erased)) return r;
    report_.ShowProgressOf(static_cast<float>(offset), static_cast<float>(kEepromSize));
  }
  report_.ShowPercent(100);
  return kOk;
}

}  // namespace

ResultCode PerformJob(const TJobRequest& request, TJobDrivers& drivers) {
  const ResultCode result = TJob(request, drivers).Run();
  drivers.Loader.Link.FlashErased = false;  // only the job that erased may leave blank blocks out
  return result;
}

ResultCode UploadBootstrap(TJobDrivers& d, const uint8_t* image, uint32_t length) {
  TLinkState& link = d.Loader.Link;
  if (d.Session.LinkState == kLinkStartOver) {
    if (d.Loader.SyncLoader() != kOk) return link.LastResult;
    d.Session.LinkState = kLinkLoaderAnswers;
  }
  if (d.Session.LinkState != kLinkLoaderAnswers) return kOk;
  SleepMs(kLoaderSettleMs);
  if (d.Loader.SendHeader(kBootstrapAddress, kUploadBlock) != kOk) return link.LastResult;
  link.Report->ShowPercent(0);
  uint32_t address = kBootstrapAddress;
  uint32_t remaining = length;
  while (remaining != 0) {
    const uint8_t n = static_cast<uint8_t>(std::min<uint32_t>(kUploadBlock, remaining));
    if (d.Loader.WriteBlock(address, image + (length - remaining), n) != kOk) return link.LastResult;
    address += n;
    remaining -= n;
    link.Report->ShowPercent(static_cast<int32_t>((length - remaining) * 100 / length));
    if (PeekAbortMessage()) return link.LastResult = kAborted;
  }
  if (link.LastResult == kOk) link.Report->ShowPercent(100);
  if (length % kUploadBlock == 0) return d.Loader.WriteBlock(0, image + length, 0);
  return kOk;
}

uint32_t EepromAddressOf(TEcuFamily family) {
  if (family == TEcuFamily::January72) return 0x4000;
  if (family == TEcuFamily::Vs51) return 0x8000;
  return 0;
}

std::string PartialFileName(const std::string& target) { return target + ".part"; }

}  // namespace quillorn
