#include "app/Form1.hpp"

#include <cstdio>

#include "jobs/PassportField.hpp"
#include "jobs/PercentScale.hpp"
#include "platform/CodePage.hpp"
#include "serial/PortMap.hpp"

namespace quillorn {

namespace {

constexpr const char* kWaitNotice = " Подождите... ";
constexpr int kStagePanel = 0, kPercentPanel = 1, kLinkPanel = 2;
constexpr uint8_t kStartRetryCount = 1;

std::vector<std::string> SplitLines(const char* text) {
  std::vector<std::string> lines;
  if (text == nullptr || *text == '\0') return lines;
  std::string current;
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c == '\n') {
      lines.push_back(current);
      current.clear();
    } else {
      current.push_back(*c);
    }
  }
  lines.push_back(current);
  return lines;
}

TControlState InitialState(const TControlSpec& spec) {
  TControlState state;
  state.text = spec.text;
  state.enabled = spec.enabled;
  state.visible = spec.visible;
  state.checked = spec.checked;
  state.items = SplitLines(spec.items);
  state.textColour = spec.font.colour;
  if (spec.kind == TControlKind::StatusBar) state.panels = {"", "0%", ""};
  return state;
}

TControlId PassportControl(TPassportField field) {
  switch (field) {
    case TPassportField::SoftwareVersion: return TControlId::SWid;
    case TPassportField::Date: return TControlId::Date;
    default: return TControlId::Engine;
  }
}

}  // namespace

TForm1::TForm1(IForm1View& view, TForm1Services services)
    : view_(view),
      services_(std::move(services)),
      poll_(services_.Loader, services_.Memory, Session, *this),
      reportScope_(services_.Loader.Link, *this) {
  for (const TControlSpec& spec : ControlTable()) controls_[IndexOf(spec.id)] = InitialState(spec);
  PortNumber = 1;
  SelectedBaud = 38400;
  services_.Loader.Link.RetryCount = kStartRetryCount;
  services_.Loader.Link.MemorySpace = kUploadSpace;
  services_.Loader.SetReplyTimeout(static_cast<uint32_t>(JobReplyTimeout));
  SetEnabled(TControlId::CheckStatusTimer, true);
  // Port numbers the user mapped to devices (POSIX) must be known before the scan.
  for (const auto& [number, path] : services_.Settings.PortOverrides()) TPortMap::Instance().SetOverride(number, path);
  ScanPorts();
}

TForm1::~TForm1() {
  if (jobThread_.joinable()) {
    if (jobThreadActive_.load()) {
      std::lock_guard<std::mutex> lock(mailboxMutex_);
      if (jobMailbox_ != nullptr) jobMailbox_->Post();
    }
    jobThread_.join();
  }
  services_.Memory.Finish();
}

// --- Events -------------------------------------------------------------------------------

void TForm1::Click(TControlId id) {
  const TControlSpec& spec = ControlSpec(id);
  if (!Control(id).enabled || !Control(id).visible) return;
  switch (spec.kind) {
    case TControlKind::CheckBox:
      SetChecked(id, !Control(id).checked);  // runs the handler
      return;
    case TControlKind::RadioButton:
      CheckFamily(id);  // runs the handler when the button was not checked yet
      return;
    default:
      if (spec.onClick != nullptr) (this->*spec.onClick)();
  }
}

void TForm1::DoubleClick(TControlId id) {
  if (id == TControlId::Date) DateDblClick();
  if (id == TControlId::Engine) EngineDblClick();
}

void TForm1::SelectionChanged(TControlId id, int index) {
  const TControlSpec& spec = ControlSpec(id);
  if (spec.kind != TControlKind::ComboBox) return;
  SetSelection(id, index);
  if (spec.onClick != nullptr) (this->*spec.onClick)();
}

void TForm1::WebAddressMouseMove() { SetColour(TControlId::WebAddress, kColourBlue); }

void TForm1::FormMouseMove() { SetColour(TControlId::WebAddress, kColourNavy); }

void TForm1::FormShow() {
  LoadSettings();
  SelectFirstPortUnlessChosen();
  CheckStartupPort();
  SetControlMode(ControlsOff);
}

void TForm1::FormClose() { SaveSettings(); }

void TForm1::CheckStatusTimerTimer() {
  JoinEndedJobThread();
  poll_.Tick(PollSettings());
  // After the poll's exchange: a port that was unplugged has failed it by now.
  if (portsChanged_) RescanPorts();
}

// --- Handlers that do not start jobs ------------------------------------------------------

void TForm1::ExitButtonClick() { view_.RequestClose(); }

void TForm1::JanuaryClick() { ChangeFamily(false); }
void TForm1::MikasClick() { ChangeFamily(true); }
void TForm1::VS51Click() { ChangeFamily(false); }
void TForm1::January72Click() { ChangeFamily(false); }
void TForm1::M797Click() { ChangeFamily(false); }
void TForm1::M10Click() { ChangeFamily(false); }
void TForm1::AvtronClick() { ChangeFamily(false); }
void TForm1::MP70Click() { ChangeFamily(false); }

void TForm1::ChangeFamily(bool mikasLayout) {
  ShowWaitNotice();
  SetControlMode(ControlsOff);
  SetText(TControlId::Passport1, mikasLayout ? "Программа" : "Версия ПО");
  SetText(TControlId::Passport2, "Дата");
  SetText(TControlId::Passport3, mikasLayout ? "Регулировки" : "Двигатель");
  SetText(TControlId::SWid, "");
  SetText(TControlId::Date, "");
  SetText(TControlId::Engine, "");
  Session.LinkState = kLinkStartOver;
}

void TForm1::DualProgClick() { SetEnabled(TControlId::SecondPage, !IsChecked(TControlId::DualProg)); }

void TForm1::LongTimeoutClick() {
  JobReplyTimeout = static_cast<int>(IsChecked(TControlId::LongTimeout) ? kLongReplyTimeoutMs : kReplyTimeoutMs);
}

void TForm1::ComSelectorChange() {
  SetControlMode(ControlsOff);
  ShowWaitNotice();
  PortNumber = SelectedPortNumber();
  portChosen_ = PortNumber != 0;
  Session.LinkState = kLinkStartOver;
}

void TForm1::BaudListChange() {
  SetControlMode(ControlsOff);
  ShowWaitNotice();
  if (const auto baud = SelectedBaudItem()) SelectedBaud = *baud;
  Session.LinkState = kLinkStartOver;
}

void TForm1::WebAddressClick() { view_.ShellOpen(Control(TControlId::WebAddress).text, 0); }

// --- Enabling rules -------------------------------------------------------------------------

void TForm1::SetControlMode(TControlMode mode) {
  if (mode != ControlsOff && mode != ControlsReady && mode != ControlsSearching) return;
  const bool ready = mode == ControlsReady;
  const bool mikas = IsChecked(TControlId::Mikas);
  const bool banks = IsChecked(TControlId::M797) || IsChecked(TControlId::M10);
  const bool january = !mikas && !banks;
  SetEnabled(TControlId::DualProg, ready && january);
  SetEnabled(TControlId::DeImmo, ready && january);
  SetEnabled(TControlId::SecondPage, ready && january && !IsChecked(TControlId::DualProg));
  SetEnabled(TControlId::WriteEEPROM, ready && !banks);
  SetEnabled(TControlId::ReadEEPROM, ready && !banks);
  SetEnabled(TControlId::WriteECU, ready);
  SetEnabled(TControlId::ReadECU, ready);
  SetEnabled(TControlId::Ident, mode != ControlsOff && Session.Model4Detected == 1);
}

void TForm1::EnableMainControls(bool enable) {
  OnWindowThread([&] {
    SetControlMode(enable ? ControlsReady : ControlsOff);
    SetEnabled(TControlId::ComSelector, enable);
    SetEnabled(TControlId::ECU, enable);
    SetEnabled(TControlId::BaudList, enable);
    SetEnabled(TControlId::CheckStatusTimer, enable);
  });
}

TEcuFamily TForm1::CheckedFamily() const {
  if (IsChecked(TControlId::Mikas)) return TEcuFamily::Mikas7;
  if (IsChecked(TControlId::VS51)) return TEcuFamily::Vs51;
  if (IsChecked(TControlId::January72)) return TEcuFamily::January72;
  if (IsChecked(TControlId::M797)) return TEcuFamily::M797;
  if (IsChecked(TControlId::M10)) return TEcuFamily::M10;
  return TEcuFamily::January5;  // January, Avtron, MP70
}

TPollSettings TForm1::PollSettings() const { return TPollSettings{PortNumber, SelectedBaud, CheckedFamily()}; }

// --- Reporting ------------------------------------------------------------------------------

void TForm1::ShowStage(const std::string& textUtf8) {
  OnWindowThread([&] { SetPanel(kStagePanel, textUtf8); });
}

void TForm1::ShowWaitNotice() {
  OnWindowThread([&] { SetPanel(kLinkPanel, kWaitNotice); });
}

void TForm1::ShowPercent(int32_t percent) {
  OnWindowThread([&] {
    TPercentContext context;
    context.linkState = Session.LinkState;
    context.isFlashJob = IsFlashJob;
    context.jobKind = JobKind;
    context.dualProg = IsChecked(TControlId::DualProg);
    context.secondPage = IsChecked(TControlId::SecondPage);
    context.bankByte = services_.Loader.Link.BankByte;
    const int32_t p = RescalePercent(percent, context);
    SetProgress(p);
    SetPanel(kPercentPanel, std::to_string(p) + "%");
  });
}

void TForm1::ShowPassportField(TPassportField field, const uint8_t* bytes, int8_t length) {
  OnWindowThread([&] {
    const TControlId control = PassportControl(field);
    SetText(control, "");
    SetText(control, AnsiToUtf8(PassportFieldText(bytes, length < 0 ? 0 : length)));
  });
}

void TForm1::ShowPassportCaption(const std::string& textUtf8) {
  OnWindowThread([&] { SetText(TControlId::PassportText, textUtf8); });
}

void TForm1::ShowProgrammerModel(const std::string& textUtf8) { SetText(TControlId::DeviceType, textUtf8); }

void TForm1::OnLinkFinding(TLinkFinding finding) {
  switch (finding) {
    case TLinkFinding::Searching: SetControlMode(ControlsSearching); break;
    case TLinkFinding::EcuAnswers: SetControlMode(ControlsReady); break;
    case TLinkFinding::Model4Answers: SetEnabled(TControlId::Ident, true); break;
  }
}

void TForm1::ShowLinkText(const std::string& textUtf8) { SetPanel(kLinkPanel, textUtf8); }

void TForm1::ShowLatencyNotice(const std::string& textUtf8) { view_.ShowNotice(textUtf8, "Задержка USB-адаптера"); }

int TForm1::ShowMessage(const std::string& text, const std::string& caption, unsigned flags) {
  int answer = 0;
  OnWindowThread([&] { answer = view_.ShowMessageBox(text, caption, flags); });
  return answer;
}

void TForm1::SetCursor(TCursorShape shape) {
  OnWindowThread([&] { view_.SetCursor(shape); });
}

void TForm1::ResetProgress() {
  OnWindowThread([&] {
    SetProgress(0);
    SetPanel(kPercentPanel, "0%");
  });
}

void TForm1::OnWindowThread(const std::function<void()>& work) { view_.Invoke(work); }

// --- Control state --------------------------------------------------------------------------

void TForm1::Changed(TControlId id, uint32_t aspects) { view_.ControlChanged(id, Control(id), aspects); }

void TForm1::SetText(TControlId id, const std::string& text) {
  TControlState& state = controls_[IndexOf(id)];
  state.text = text;
  Changed(id, kAspectText);
}

void TForm1::SetEnabled(TControlId id, bool enabled) {
  TControlState& state = controls_[IndexOf(id)];
  if (state.enabled == enabled) return;
  state.enabled = enabled;
  Changed(id, kAspectEnabled);
}

// Like a check box's own Checked property: a change runs the control's click handler.
void TForm1::SetChecked(TControlId id, bool checked) {
  TControlState& state = controls_[IndexOf(id)];
  if (state.checked == checked) return;
  state.checked = checked;
  Changed(id, kAspectChecked);
  if (const TForm1Handler handler = ControlSpec(id).onClick) (this->*handler)();
}

void TForm1::CheckFamily(TControlId radio) {
  if (IsChecked(radio)) return;
  for (const TControlSpec& spec : ControlTable()) {
    if (spec.kind != TControlKind::RadioButton || spec.id == radio || !Control(spec.id).checked) continue;
    controls_[IndexOf(spec.id)].checked = false;
    Changed(spec.id, kAspectChecked);
  }
  SetChecked(radio, true);
}

void TForm1::SetPanel(int panel, const std::string& text) {
  TControlState& state = controls_[IndexOf(TControlId::StatusBar)];
  state.panels[static_cast<size_t>(panel)] = text;
  Changed(TControlId::StatusBar, kAspectPanels);
}

void TForm1::SetProgress(int position) {
  controls_[IndexOf(TControlId::Progress)].position = position;
  Changed(TControlId::Progress, kAspectPosition);
}

void TForm1::SetItems(TControlId id, std::vector<std::string> items) {
  TControlState& state = controls_[IndexOf(id)];
  state.items = std::move(items);
  state.selected = -1;
  Changed(id, kAspectItems | kAspectSelection);
}

void TForm1::SetSelection(TControlId id, int index) {
  TControlState& state = controls_[IndexOf(id)];
  state.selected = (index >= 0 && index < static_cast<int>(state.items.size())) ? index : -1;
  Changed(id, kAspectSelection);
}

void TForm1::SetColour(TControlId id, uint32_t colour) {
  TControlState& state = controls_[IndexOf(id)];
  if (state.textColour == colour) return;
  state.textColour = colour;
  Changed(id, kAspectColour);
}

}  // namespace quillorn
