#include "cli/IdentifyCommand.hpp"

#include <cstdio>

#include "cli/CliTexts.hpp"
#include "cli/CommandTrace.hpp"
#include "cli/JobThread.hpp"
#include "jobs/IdentJob.hpp"
#include "jobs/ResultMessage.hpp"
#include "protocol/ProgramDrivers.hpp"
#include "protocol/ReportScope.hpp"
#include "report/Quoted.hpp"

namespace quillorn {

namespace {

// The identification job has stages only: one line each on standard error.
class TStageLines final : public IJobReport {
 public:
  void ShowStage(const std::string& textUtf8) override {
    if (!textUtf8.empty()) std::fprintf(stderr, "%s\n", textUtf8.c_str());
  }
  void ShowWaitNotice() override {}
  void ShowPercent(int32_t) override {}
  void ShowPassportField(TPassportField, const uint8_t*, int8_t) override {}
  void ShowPassportCaption(const std::string&) override {}
};

int ExitWith(const TIdentOutcome& outcome) {
  const TResultMessage message = MessageForIdentificationResult(outcome.result, outcome.reportUtf8);
  if (outcome.result == kAborted) {
    std::fprintf(stderr, "%s\n", message.text.c_str());
    return CancelledExitStatus();
  }
  if (outcome.result == kNoProgrammer) {
    std::fprintf(stderr, "%s: %s\n", message.caption.c_str(), message.text.c_str());
    return kExitFailed;
  }
  std::printf("%s\n%s\n", message.caption.c_str(), message.text.c_str());
  std::fflush(stdout);
  // The default text tells the user nothing was recognised; a script must be able to tell too.
  const bool recognised = outcome.result == kOk && outcome.reportUtf8 != DefaultIdentReportUtf8();
  return recognised ? kExitOk : kExitFailed;
}

}  // namespace

int RunIdentifyCommand(const TCliCommand& cmd) {
  TCommandTrace trace;
  const uint8_t portNumber = PrepareCommandPort(cmd, trace.Log());
  if (portNumber == 0) return kExitFailed;

  TProgramDrivers& drivers = ProgramDrivers();
  TLinkState& link = drivers.BootLoader.Link;
  // The window's status poll has the port open on the programmer's line when the job starts;
  // the reset into the diagnostic software goes out on it.
  if (drivers.BootLoader.Open(portNumber, cmd.baud, kProgrammerLine) != kOk) {
    std::fprintf(stderr, "quillorn: %s %s. %s\n", cli_text::kCannotOpenPort, Quoted(cmd.port).c_str(),
                 cli_text::kPortWhatToDo);
    return kExitFailed;
  }
  TStageLines stages;
  const TReportScope reportScope(link, stages);
  TIdentDrivers identDrivers{drivers.BootLoader, drivers.Kwp};
  TIdentReport report;
  TIdentOutcome outcome;
  RunOnJobThread([&] { outcome = RunIdentification(identDrivers, portNumber, report); });
  return ExitWith(outcome);
}

}  // namespace quillorn
