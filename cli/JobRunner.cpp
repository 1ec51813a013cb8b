#include "cli/JobRunner.hpp"

#include <cstdio>
#include <string>

#include "cli/JobThread.hpp"
#include "cli/TerminalReport.hpp"
#include "jobs/FlashJob.hpp"
#include "jobs/LinkPoll.hpp"
#include "jobs/ResultMessage.hpp"
#include "platform/Console.hpp"
#include "platform/File.hpp"
#include "protocol/ProgramDrivers.hpp"
#include "serial/PortMap.hpp"
#include "serial/TraceLog.hpp"
#include "sim/BenchRegistry.hpp"

namespace quillorn {

namespace {

constexpr uint32_t kLongReplyTimeoutMs = 2000, kReplyTimeoutMs = 500;

// The window's status poll has nothing to show on a terminal but the programmer model and a
// slow adapter's notice.
class TQuietPollView final : public ILinkPollView {
 public:
  void SetControlMode(TControlMode) override {}
  void ShowProgrammerModel(const std::string& text) override { model = text; }
  void EnableIdent() override {}
  void ShowLinkText(const std::string&) override {}
  void ShowLatencyNotice(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
  std::string model;
};

TJobRequest RequestFor(const TCliCommand& cmd, uint8_t portNumber) {
  TJobRequest rq;
  const bool write = cmd.action == TCliAction::Write || cmd.action == TCliAction::EepromWrite;
  const TJobAction action = cmd.action == TCliAction::EepromClear ? TJobAction::ClearEeprom
                            : write                              ? TJobAction::Write
                                                                 : TJobAction::Read;
  rq.JobKind = JobKindFor(*cmd.family, action);
  rq.IsFlashJob = (cmd.action == TCliAction::Write || cmd.action == TCliAction::Read) ? 1 : 0;
  rq.FileName = cmd.file;
  rq.PortNumber = portNumber;
  rq.SelectedBaud = cmd.baud;
  rq.JobReplyTimeout = cmd.longTimeout ? kLongReplyTimeoutMs : kReplyTimeoutMs;
  rq.Family = *cmd.family;
  rq.DualProg = cmd.dual;
  rq.SecondPage = cmd.secondPage;
  return rq;
}

// The window asks before it programs a binary that does not start like ECU code.
bool ConfirmFlashFile(const TJobRequest& rq) {
  if (IsEightBankFamily(rq.Family) || IsHexFileName(rq.FileName)) return true;
  TFile file(rq.FileName, "rb");
  uint8_t head[4];
  if (!file.IsOpen() || std::fread(head, 1, sizeof head, file.Get()) != sizeof head || head[0] == 0x02) return true;
  std::fprintf(stderr, "Внимание! Скорее всего, файл не является кодом программы ЭБУ.\n");
  if (!IsTerminal(false) || !IsTerminal(true)) return true;
  std::fprintf(stderr, "Программировать flash память? [y/N] ");
  char line[16] = {};
  if (std::fgets(line, sizeof line, stdin) == nullptr) return false;
  const std::string answer(line);
  for (const char* yes : {"y", "Y", "yes", "д", "Д", "да", "Да"})
    if (answer == std::string(yes) + "\n" || answer == yes) return true;
  return false;
}

int ExitWith(ResultCode r) {
  const TResultMessage m = MessageForJobResult(r);
  if (r == kOk) {
    std::printf("%s\n", m.text.c_str());
    return kExitOk;
  }
  if (r == kAborted) {
    std::fprintf(stderr, "%s\n", m.text.c_str());
    return kExitCancelled;
  }
  std::fprintf(stderr, "%s: %s\n", m.caption.c_str(), m.text.c_str());
  return kExitFailed;
}

}  // namespace

int RunJobCommand(const TCliCommand& cmd) {
  if (cmd.action == TCliAction::EepromClear && *cmd.family == TEcuFamily::Mikas7) {
    std::fprintf(stderr, "Ошибка: Очистка EEPROM возможна только для ЭБУ Январь-5.x\n");
    return kExitFailed;
  }
  TTraceLog trace;
  const uint8_t portNumber = PrepareCommandPort(cmd.port, cmd.traceFile, trace);
  if (portNumber == 0) return kExitFailed;
  const TJobRequest rq = RequestFor(cmd, portNumber);
  if (cmd.action == TCliAction::Write && !ConfirmFlashFile(rq)) return kExitFailed;

  TProgramDrivers& drivers = ProgramDrivers();
  TLinkSession session;
  TJobState state;
  TTerminalReport report(rq, session, drivers.BootLoader.Link, IsTerminal(true));
  IJobReport* const previousReport = drivers.BootLoader.Link.Report;
  drivers.BootLoader.Link.Report = &report;
  TQuietPollView view;
  TLinkPoll poll(drivers.BootLoader, drivers.Memory, session, view);
  const TPollSettings pollSettings{portNumber, rq.SelectedBaud, rq.Family};

  ResultCode result = kOk;
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
  drivers.BootLoader.Link.Report = previousReport;
  // A virtual ECU keeps its memory in its files between two runs, as a real one keeps it.
  std::string saveError;
  if (!sim::TBenchRegistry::Instance().StopAll(&saveError))
    std::fprintf(stderr, "quillorn: the virtual bench could not save its memory: %s\n", saveError.c_str());
  return ExitWith(result);
}

}  // namespace quillorn
