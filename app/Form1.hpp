#pragma once
// TForm1: the main window's logic, without a single window handle. It owns every control's
// state and the values the jobs and the poll read, runs the handlers and the enabling rules,
// and is the jobs' report and the poll's view. The real window (app/win32) draws what it says
// and hands it the user's clicks.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/Form1Controls.hpp"
#include "app/Form1View.hpp"
#include "jobs/EcuFamily.hpp"
#include "jobs/FlashJob.hpp"
#include "jobs/IdentJob.hpp"
#include "jobs/JobLaunch.hpp"
#include "jobs/LinkPoll.hpp"
#include "jobs/LinkSession.hpp"
#include "platform/AbortMailbox.hpp"
#include "platform/SettingsStore.hpp"
#include "protocol/ReportScope.hpp"
#include "report/JobReport.hpp"

namespace quillorn {

using TPerformJob = std::function<ResultCode(const TJobRequest&, TJobDrivers&)>;

// What the window works with; the program passes its own instances, tests their own.
struct TForm1Services {
  TC509Pro& Loader;
  TFlashPro& Memory;
  ISettingsStore& Settings;
  std::function<std::vector<uint8_t>()> ScanPorts;
  TPerformJob PerformJob;
  // Where the memory backups go; empty: the user's own backup folder.
  std::string BackupFolder;
};


class TForm1 final : public IJobReport, public ILinkPollView {
 public:
  // Window construction: start values, the protocol's start values, the timer, the port scan.
  // The view's controls exist already, as the control table describes them.
  TForm1(IForm1View& view, TForm1Services services);
  // Window destruction: waits for a job thread that is still ending, tells a running bootstrap
  // the PC is done (Finish, result ignored).
  ~TForm1() override;
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  // --- Events the view forwards ---------------------------------------------------------
  void Click(TControlId id);                  // buttons, check boxes, radio buttons, labels
  void DoubleClick(TControlId id);
  void SelectionChanged(TControlId id, int index);  // drop-down lists
  void WebAddressMouseMove();
  void FormMouseMove();
  void FormCreate() {}
  void FormShow();
  bool FormCloseQuery();  // false: the close is refused
  void FormClose();
  void CheckStatusTimerTimer();
  // A device came or went: the port list is scanned again on the next timer tick, between
  // jobs, so a burst of notifications makes one scan and a job's port is never probed.
  void PortsChanged() { portsChanged_ = true; }

  // --- Handlers ---------------------------------------------------------------------------
  void ReadECUClick();
  void WriteECUClick();
  void ReadEEPROMClick();
  void WriteEEPROMClick();
  void DeImmoClick();
  void IdentClick();
  void ExitButtonClick();
  void JanuaryClick();
  void MikasClick();
  void VS51Click();
  void January72Click();
  void M797Click();
  void M10Click();
  void AvtronClick();
  void MP70Click();
  void DualProgClick();
  void LongTimeoutClick();
  void ComSelectorChange();
  void BaudListChange();
  void WebAddressClick();
  void SWidClick() {}
  void DateDblClick() {}
  void EngineDblClick() {}

  // --- Control state ----------------------------------------------------------------------
  void SetControlMode(TControlMode mode);
  void EnableMainControls(bool enable);
  const TControlState& Control(TControlId id) const { return controls_[IndexOf(id)]; }
  bool IsChecked(TControlId id) const { return Control(id).checked; }
  // Checks a family radio button, hidden or not; its handler runs when it was not checked yet.
  void CheckFamily(TControlId radio);

  // --- Reporting (may be called from a job thread) -----------------------------------------
  void ShowStage(const std::string& textUtf8) override;
  void ShowWaitNotice() override;
  void ShowPercent(int32_t percent) override;
  void ShowPassportField(TPassportField field, const uint8_t* bytes, int8_t length) override;
  void ShowPassportCaption(const std::string& textUtf8) override;
  void ShowProgrammerModel(const std::string& textUtf8) override;
  void OnLinkFinding(TLinkFinding finding) override;
  void ShowLinkText(const std::string& textUtf8) override;
  void ShowLatencyNotice(const std::string& textUtf8) override;
  // A modal message box shown from whichever thread asks; the answer.
  int ShowMessage(const std::string& text, const std::string& caption, unsigned flags);
  void SetCursor(TCursorShape shape);

  // --- Settings and ports -----------------------------------------------------------------
  void LoadSettings();
  void SaveSettings();
  uint8_t SelectedPortNumber() const;
  void SelectPortNumber(uint8_t n);
  void ScanPorts();
  // The scan again, keeping the chosen port selected while it is there (see Form1Settings).
  void RescanPorts();
  void CheckStartupPort();

  // --- Jobs -------------------------------------------------------------------------------
  // Asks the launch policy's questions; true when every one was answered yes.
  bool ConfirmFlashFile(const std::vector<TLaunchQuestion>& questions);
  void RunJob();
  // The identification job's thread entry, given by the code that implements it.
  void SetIdentificationEntry(std::function<void(TForm1&)> entry) { identificationEntry_ = std::move(entry); }
  // The identification thread's frame around identify (which runs the job on the port and
  // returns its result and report): controls locked, the report or the failure shown, the
  // controls and the poll back.
  void RunIdentification(const std::function<TIdentOutcome(uint8_t portNumber)>& identify);
  // Waits up to timeoutMs for the job thread to end; true when no job thread runs.
  bool WaitForJobEnd(uint32_t timeoutMs);

  // The checked family; Avtron and MP70 count as January.
  TEcuFamily CheckedFamily() const;
  TPollSettings PollSettings() const;

  // --- Values the jobs, the poll and the drivers share --------------------------------------
  uint8_t PortNumber = 1;
  int SelectedBaud = 38400;
  std::string FileName;  // UTF-8
  uint8_t JobKind = 0;
  uint8_t IsFlashJob = 0;
  int JobReplyTimeout = static_cast<int>(kReplyTimeoutMs);
  std::atomic<uint8_t> JobRunning{0};
  TLinkSession Session;  // LinkState, Model4Detected
  TJobState JobState;

 private:
  enum class TDialog { None, Open, Save };
  struct TJobButton {
    TJobAction action;
    uint8_t isFlashJob;
    TDialog dialog;
  };

  void SetText(TControlId id, const std::string& text);
  void SetEnabled(TControlId id, bool enabled);
  void SetChecked(TControlId id, bool checked);
  void SetPanel(int panel, const std::string& text);
  void SetProgress(int position);
  void SetItems(TControlId id, std::vector<std::string> items);
  void SetSelection(TControlId id, int index);
  void SetColour(TControlId id, uint32_t colour);
  void Changed(TControlId id, uint32_t aspects);
  void OnWindowThread(const std::function<void()>& work);

  void ChangeFamily(bool mikasLayout);
  void SelectFirstPortUnlessChosen();
  uint8_t PortHeldWithLinkUp() const;
  std::vector<std::string> PortItems(std::vector<uint8_t> numbers, uint8_t alsoPresent) const;
  std::optional<int> SelectedBaudItem() const;
  void PrepareJob(const TJobButton& button);
  bool PrepareJobStart(const TJobButton& button);
  void StartJobThread(std::function<void()> entry);
  void JoinEndedJobThread();
  void ResetProgress();

  IForm1View& view_;
  TForm1Services services_;
  std::array<TControlState, kControlCount> controls_;
  TLinkPoll poll_;
  TJobRequest jobRequest_;
  // Jobs, drivers and file readers report to the window while it lives.
  TReportScope reportScope_;
  bool backupEnabled_ = true;  // the stored "Backup" setting: writes and clears keep the memory first
  bool portChosen_ = false;  // by the stored setting, the user or the first-run choice
  bool portsChanged_ = false;

  std::function<void(TForm1&)> identificationEntry_;
  std::thread jobThread_;
  std::atomic<bool> jobThreadActive_{false};
  std::mutex mailboxMutex_;
  TAbortMailbox* jobMailbox_ = nullptr;  // under mailboxMutex_
};

}  // namespace quillorn
