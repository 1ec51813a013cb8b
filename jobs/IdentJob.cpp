#include "jobs/IdentJob.hpp"

#include "platform/AbortMailbox.hpp"
#include "platform/Clock.hpp"

namespace quillorn {

namespace {

// Every port read from the start waits 100 ms per byte asked plus this, until a KWP exchange
// sets its own timeout.
constexpr uint32_t kIdentReplyTimeoutMs = 1;
constexpr uint8_t kIdentRetryCount = 3;
// The ECU is held in reset, then released into its diagnostic software; each takes a second.
constexpr uint32_t kResetPauseMs = 1000;
constexpr uint32_t kBeforeKwpPauseMs = 1000;
constexpr uint32_t kBetweenAttemptsMs = 100;
constexpr int kKwpAttempts = 3;

constexpr int kMikasBaud = 9600;
constexpr int kKwpBaud = 10400;

// The tester's KWP settings: addresses in every header, the ECU at 0x10, this program at 0xF1.
constexpr uint8_t kKwpFormat = 0x80;
constexpr uint8_t kKwpTarget = 0x10;
constexpr uint8_t kKwpSource = 0xF1;
constexpr uint32_t kKwpResponseTimeoutMs = 100;

constexpr uint8_t kMikasIdentifierRequest = 0x51;
constexpr uint8_t kKwpIdentifierOption = 0x9A;
constexpr uint8_t kMikas76SoftwareCodeOption = 0x93;

class TIdentification {
 public:
  TIdentification(TIdentDrivers& drivers, uint8_t portNumber, TIdentReport& report)
      : drivers_(drivers), link_(drivers.Loader.Link), portNumber_(portNumber), report_(report) {}

  ResultCode Run() {
    link_.Report->ShowWaitNotice();
    link_.Report->ShowStage(kStageLinkSetup);
    link_.RetryCount = kIdentRetryCount;
    drivers_.Loader.SetReplyTimeout(kIdentReplyTimeoutMs);
    if (ResultCode r = ResetIntoDiagnostics(); r != kOk) return r;

    bool recognised = false;
    if (const ResultCode r = TryMikas7x(recognised); recognised || r != kOk) return r;
    return TryKwpFamilies();
  }

 private:
  // Looks for a posted abort: 42 when there was one.
  ResultCode Cancelled() {
    if (!PeekAbortMessage()) return kOk;
    return link_.LastResult = kAborted;
  }
  bool StoppedByAbort() const { return link_.LastResult == kAborted; }

  // RTS raised selects the diagnostic software; DTR holds the ECU in reset.
  ResultCode ResetIntoDiagnostics() {
    drivers_.Loader.SetRts();
    drivers_.Loader.SetDtr();
    SleepMs(kResetPauseMs);
    if (const ResultCode r = Cancelled(); r != kOk) return r;
    drivers_.Loader.ClearDtr();
    SleepMs(kResetPauseMs);
    if (const ResultCode r = Cancelled(); r != kOk) return r;
    if (link_.SharedPort) {
      int32_t error = 0;
      link_.SharedPort->ClearReceive(&error);
    }
    link_.Report->ShowPercent(0);
    return kOk;
  }

  // Any answer to the identifier request ends the job here, recognised or not.
  ResultCode TryMikas7x(bool& answered) {
    answered = false;
    link_.Report->ShowStage(kStageMikas7x);
    if (drivers_.Loader.Open(portNumber_, kMikasBaud, kOneStopBitLine) != kOk) {
      answered = true;
      return link_.LastResult;
    }
    TMikasLink mikas(drivers_.Loader);
    if (mikas.MikasRequest(kMikasIdentifierRequest, text_, sizeof text_)) {
      answered = true;
      ComposeMikas7xReport(report_, mikas, text_);
      return link_.LastResult;
    }
    return StoppedByAbort() ? kAborted : kOk;
  }

  ResultCode TryKwpFamilies() {
    SleepMs(kBeforeKwpPauseMs);
    link_.Report->ShowStage(kStageJanuary);
    if (drivers_.Loader.Open(portNumber_, kKwpBaud, kOneStopBitLine) != kOk)
      return link_.LastResult;
    TKW2000Pro& kwp = drivers_.Kwp;
    kwp.FormatByte = kKwpFormat;
    kwp.TargetAddress = kKwpTarget;
    kwp.SourceAddress = kKwpSource;
    kwp.ResponseTimeout = kKwpResponseTimeoutMs;

    for (int attempt = 0; attempt < kKwpAttempts; ++attempt) {
      if (StoppedByAbort()) return kAborted;
      SleepMs(kBetweenAttemptsMs);
      kwp.StartCommunication();  // judged by the identification request that follows
      if (StoppedByAbort()) return kAborted;
      if (!kwp.ReadEcuIdentification(kKwpIdentifierOption, text_, sizeof text_)) continue;
      TKwpFamily family;
      if (RecogniseKwpFamily(text_, family)) {
        ComposeJanuaryReport(report_, kwp, family, text_);
        return kOk;
      }
      break;
    }
    return TryMikas76(kwp);
  }

  // Within the session the last attempt opened: no new fast initialisation.
  ResultCode TryMikas76(TKW2000Pro& kwp) {
    link_.Report->ShowStage(kStageMikas76);
    if (StoppedByAbort()) return kAborted;
    if (!kwp.StartDiagnosticSession()) return link_.LastResult;
    if (!kwp.ReadEcuIdentification(kMikas76SoftwareCodeOption, text_, sizeof text_)) return link_.LastResult;
    if (!IsMikas76SoftwareCode(text_)) return link_.LastResult;
    ComposeMikas76Report(report_, kwp);
    return kOk;
  }

  TIdentDrivers& drivers_;
  TLinkState& link_;
  uint8_t portNumber_;
  TIdentReport& report_;
  char text_[kIdentTextSize] = {};
};

}  // namespace

ResultCode PerformIdentification(TIdentDrivers& drivers, uint8_t portNumber, TIdentReport& report) {
  return TIdentification(drivers, portNumber, report).Run();
}

TIdentOutcome RunIdentification(TIdentDrivers& drivers, uint8_t portNumber, TIdentReport& report) {
  report.SetDefault();
  TIdentOutcome outcome;
  outcome.result = PerformIdentification(drivers, portNumber, report);
  outcome.reportUtf8 = report.Utf8();
  return outcome;
}

}  // namespace quillorn
