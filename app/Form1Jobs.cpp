// The job buttons, the job thread and cancellation by closing the window.
#include <chrono>

#include "app/Form1.hpp"
#include "jobs/JobLaunch.hpp"
#include "jobs/ResultMessage.hpp"
#include "platform/Clock.hpp"
#include "platform/KeepAwake.hpp"

namespace quillorn {

namespace {
constexpr uint32_t kPostRetryMs = 1;
}  // namespace

void TForm1::WriteECUClick() { PrepareJob({TJobAction::Write, 1, TDialog::Open}); }
void TForm1::ReadECUClick() { PrepareJob({TJobAction::Read, 1, TDialog::Save}); }
void TForm1::WriteEEPROMClick() { PrepareJob({TJobAction::Write, 0, TDialog::Open}); }
void TForm1::ReadEEPROMClick() { PrepareJob({TJobAction::Read, 0, TDialog::Save}); }
void TForm1::DeImmoClick() { PrepareJob({TJobAction::ClearEeprom, 0, TDialog::None}); }

// Settings, file, port, speed, then the launch policy: its refusal or its questions, and the
// job values. False when the job is not to start.
bool TForm1::PrepareJobStart(const TJobButton& button) {
  SaveSettings();
  if (button.dialog != TDialog::None) {
    const auto path = view_.FileDialog(button.dialog == TDialog::Open ? OpenDialogSpec() : SaveDialogSpec());
    if (!path) return false;
    FileName = *path;
  }
  PortNumber = SelectedPortNumber();
  // Without a selected speed (only when the settings could not be opened) the last one stays.
  if (const auto baud = SelectedBaudItem()) SelectedBaud = *baud;

  TLaunchChoice choice;
  choice.Family = CheckedFamily();
  choice.Action = button.action;
  choice.Flash = button.isFlashJob == 1;
  choice.File = FileName;
  choice.PortNumber = PortNumber;
  choice.Baud = SelectedBaud;
  choice.DualProg = IsChecked(TControlId::DualProg);
  choice.SecondPage = IsChecked(TControlId::SecondPage);
  choice.Backup = backupEnabled_;
  choice.BackupFolder = services_.BackupFolder;
  TLaunch launch = PrepareLaunch(choice);
  if (launch.Refused) {
    ShowMessage(launch.Refusal.text, launch.Refusal.caption, launch.Refusal.flags);
    return false;
  }
  JobKind = launch.Request.JobKind;
  IsFlashJob = launch.Request.IsFlashJob;
  if (!ConfirmFlashFile(launch.Questions)) return false;
  jobRequest_ = std::move(launch.Request);
  jobRequest_.JobReplyTimeout = static_cast<uint32_t>(JobReplyTimeout);
  return true;
}

void TForm1::PrepareJob(const TJobButton& button) {
  if (jobThreadActive_.load()) return;  // one job at a time, whatever the buttons show
  if (!PrepareJobStart(button)) return;
  SetEnabled(TControlId::CheckStatusTimer, false);
  StartJobThread([this] { RunJob(); });
}

void TForm1::IdentClick() {
  if (!identificationEntry_ || jobThreadActive_.load()) return;
  SaveSettings();
  PortNumber = SelectedPortNumber();
  if (const auto baud = SelectedBaudItem()) SelectedBaud = *baud;
  Session.LinkState = kLinkStartOver;
  SetEnabled(TControlId::CheckStatusTimer, false);
  StartJobThread([this] { identificationEntry_(*this); });
}

bool TForm1::ConfirmFlashFile(const std::vector<TLaunchQuestion>& questions) {
  for (const TLaunchQuestion& question : questions)
    if (ShowMessage(question.TextUtf8, question.CaptionUtf8, kBoxYesNoInformation) != kAnswerYes) return false;
  return true;
}

void TForm1::RunJob() {
  SetCursor(TCursorShape::Hourglass);
  EnableMainControls(false);
  JobRunning = 1;
  TJobDrivers drivers{services_.Loader, services_.Memory, Session, JobState};
  const ResultCode result = services_.PerformJob(jobRequest_, drivers);
  SetCursor(TCursorShape::Arrow);
  Session.LinkState = result == kOk ? kLinkBootstrapRunning : kLinkStartOver;
  const TResultMessage message = WithBackupNote(MessageForJobResult(result, JobState.FailureDetail), JobState.BackupFile);
  if (result != kOk) {
    ShowMessage(message.text, message.caption, message.flags);
    ShowStage("");
  } else {
    ShowStage("");
    ShowMessage(message.text, message.caption, message.flags);
  }
  ResetProgress();
  EnableMainControls(true);
  JobRunning = 0;
}

void TForm1::RunIdentification(const std::function<TIdentOutcome(uint8_t portNumber)>& identify) {
  SetCursor(TCursorShape::Hourglass);
  EnableMainControls(false);
  SetEnabled(TControlId::Ident, false);
  JobRunning = 1;
  const TIdentOutcome outcome = identify(PortNumber);
  SetCursor(TCursorShape::Arrow);
  const TResultMessage message = MessageForIdentificationResult(outcome.result, outcome.reportUtf8);
  // The report replaces the stage at once; a failure's box is shown over the last stage.
  const bool failure = outcome.result == kNoProgrammer || outcome.result == kAborted;
  if (!failure) ShowStage("");
  ShowMessage(message.text, message.caption, message.flags);
  if (failure) ShowStage("");
  ShowPercent(0);
  EnableMainControls(true);
  JobRunning = 0;
}

// The window counts a job as running from the moment its thread is started, so a close request
// can never slip in before the thread has marked itself.
void TForm1::StartJobThread(std::function<void()> entry) {
  JoinEndedJobThread();  // the last job has passed its final update
  JobRunning = 1;
  jobThreadActive_ = true;
  jobThread_ = std::thread([this, entry = std::move(entry)] {
    const TKeepAwake keepAwake;
    {
      std::lock_guard<std::mutex> lock(mailboxMutex_);
      jobMailbox_ = &ThisThreadAbortMailbox();
    }
    entry();
    {
      std::lock_guard<std::mutex> lock(mailboxMutex_);
      jobMailbox_ = nullptr;
    }
    JobRunning = 0;
    jobThreadActive_ = false;
  });
}

void TForm1::JoinEndedJobThread() {
  if (jobThread_.joinable() && !jobThreadActive_.load()) jobThread_.join();
}

bool TForm1::FormCloseQuery() {
  if (JobRunning == 0) return true;
  // Post the abort to the job thread, retrying until its mailbox exists.
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(mailboxMutex_);
      if (jobMailbox_ != nullptr) {
        jobMailbox_->Post();
        break;
      }
    }
    if (!jobThreadActive_.load()) break;
    SleepMs(kPostRetryMs);
  }
  return false;
}

bool TForm1::WaitForJobEnd(uint32_t timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (jobThreadActive_.load()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    SleepMs(1);
  }
  JoinEndedJobThread();
  return true;
}

}  // namespace quillorn
