#include "cli/JobRunner.hpp"

#include <cstdio>
#include <string>

#include "cli/CliTexts.hpp"
#include "cli/CommandTrace.hpp"
#include "cli/JobThread.hpp"
#include "cli/LaunchQuestions.hpp"
#include "cli/TerminalReport.hpp"
#include "jobs/FlashJob.hpp"
#include "jobs/JobLaunch.hpp"
#include "jobs/LinkPoll.hpp"
#include "jobs/ResultMessage.hpp"
#include "platform/Console.hpp"
#include "platform/KeepAwake.hpp"
#include "protocol/ProgramDrivers.hpp"
#include "protocol/ReportScope.hpp"
#include "serial/PortMap.hpp"
#include "serial/SerialDevice.hpp"

namespace quillorn {

namespace {

// The window's status poll has nothing to show on a terminal but the programmer model and a
// slow adapter's notice.
class TQuietPollView final : public ILinkPollView {
 public:
  void ShowProgrammerModel(const std::string& text) override { model = text; }
  void ShowLinkText(const std::string&) override {}
  void ShowLatencyNotice(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
  std::string model;
};

TLaunchChoice ChoiceFor(const TCliCommand& cmd) {
  TLaunchChoice c;
  c.Family = *cmd.family;
  const bool write = cmd.action == TCliAction::Write || cmd.action == TCliAction::EepromWrite ||
                     cmd.action == TCliAction::Verify;
  c.Action = cmd.action == TCliAction::EepromClear ? TJobAction::ClearEeprom
             : write                               ? TJobAction::Write
                                                   : TJobAction::Read;
  c.Flash = cmd.action == TCliAction::Write || cmd.action == TCliAction::Read || cmd.action == TCliAction::Verify;
  c.File = cmd.file;
  c.Baud = cmd.baud;
  c.LongTimeout = cmd.longTimeout;
  c.DualProg = cmd.dual;
  c.SecondPage = cmd.secondPage;
  c.Verify = cmd.verify;
  c.VerifyOnly = cmd.action == TCliAction::Verify;
  c.Backup = cmd.backup;
  c.BackupFolder = cmd.backupDir;
  return c;
}

int ExitWith(const TCliCommand& cmd, ResultCode r, const std::string& detail) {
  if (cmd.action == TCliAction::Verify && r == kOk) {
    std::printf("%s\n", cli_text::kVerifyEqual);
    return kExitOk;
  }
  if (cmd.action == TCliAction::Verify && r == kVerifyMismatch) {
    std::printf("%s %s\n", cli_text::kVerifyDiffers, detail.c_str());
    return kExitFailed;
  }
  const TResultMessage m = MessageForJobResult(r, detail);
  if (r == kOk) {
    std::printf("%s\n", m.text.c_str());
    return kExitOk;
  }
  if (r == kAborted) {
    std::fprintf(stderr, "%s\n", m.text.c_str());
    return CancelledExitStatus();
  }
  std::fprintf(stderr, "%s: %s\n", m.caption.c_str(), m.text.c_str());
  return kExitFailed;
}

ResultCode RunOnLink(const TJobRequest& rq, TJobState& state) {
  TProgramDrivers& drivers = ProgramDrivers();
  TLinkSession session;
  TTerminalReport report(rq, session, drivers.BootLoader.Link, IsTerminal(true));
  const TReportScope reportScope(drivers.BootLoader.Link, report);
  TQuietPollView view;
  TLinkPoll poll(drivers.BootLoader, drivers.Memory, session, view);
  const TPollSettings pollSettings{rq.PortNumber, rq.SelectedBaud, rq.Family};

  ResultCode result = kOk;
  const TKeepAwake keepAwake;
  RunOnJobThread([&] {
    report.ShowStage("Поиск ЭБУ");
    result = ReachEcu(poll, session, pollSettings, drivers.BootLoader.Link);
    if (result == kOk) {
      if (!view.model.empty()) std::fprintf(stderr, "Программатор: %s\n", view.model.c_str());
      TJobDrivers jobDrivers{drivers.BootLoader, drivers.Memory, session, state};
      result = PerformJob(rq, jobDrivers);
    }
    // A bootstrap left running is told the PC is done, as the window does when it closes.
    if (session.LinkState == kLinkBootstrapRunning) drivers.Memory.Finish();
  });
  report.Finish();
  return result;
}

}  // namespace

int RunJobCommand(const TCliCommand& cmd) {
  // Everything about the files is settled before the trace log or the port is opened.
  const TLaunch launch = PrepareLaunch(ChoiceFor(cmd));
  if (launch.Refused) {
    const TResultMessage& m = launch.Refusal;
    std::fprintf(stderr, "%s: %s\n", m.caption.c_str(), m.text.c_str());
    return kExitFailed;
  }
  if (const std::string conflict = TraceConflict(launch.Request, cmd.traceFile); !conflict.empty()) {
    std::fprintf(stderr, "quillorn: %s\n", conflict.c_str());
    return kExitUsage;
  }
  switch (AskLaunchQuestions(launch.Questions, cmd.yes)) {
    case TAnswer::Yes: break;
    case TAnswer::No: return kExitFailed;
    case TAnswer::NoTerminal: return kExitUsage;
  }

  TCommandTrace trace;
  TJobRequest rq = launch.Request;
  rq.PortNumber = PrepareCommandPort(cmd, trace.Log());
  if (rq.PortNumber == 0) return kExitFailed;
  TJobState state;
  const ResultCode result = RunOnLink(rq, state);
  if (!state.BackupFile.empty()) std::fprintf(stderr, "%s\n", BackupNote(state.BackupFile).c_str());
  // A provider's port may keep state between two runs (a virtual ECU's memory): it saves it now.
  std::string saveError;
  if (!ReleaseSerialDeviceProviders(&saveError)) std::fprintf(stderr, "quillorn: %s\n", saveError.c_str());
  return ExitWith(cmd, result, state.FailureDetail);
}

}  // namespace quillorn
