// The window's settings and its serial port choice: what LoadSettings and SaveSettings move
// between the controls and the store, the port scan, and the start-up port check.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "app/Form1.hpp"
#include "jobs/ResultMessage.hpp"

namespace quillorn {

namespace {

// Stored value names.
constexpr const char* kValueCom = "COM";
constexpr const char* kValueBaud = "Baud";
constexpr const char* kValueEcu = "ECU";
constexpr const char* kValueDualProg = "DualProg";
constexpr const char* kValueSecondPage = "SecondPage";
constexpr const char* kValueBackup = "Backup";

// The family radio buttons by their stored index; Avtron and MP70 have none.
constexpr TControlId kFamilyByIndex[] = {TControlId::January, TControlId::Mikas,    TControlId::VS51,
                                         TControlId::January72, TControlId::M797, TControlId::M10};
constexpr int kDefaultBaudItem = 1;  // "38400"

// An item's text read as an unsigned decimal number; nothing when it is not one.
std::optional<uint32_t> UnsignedOf(const std::string& text) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  if (value > 0xFFFFFFFFull) return std::nullopt;
  return static_cast<uint32_t>(value);
}

}  // namespace

std::optional<int> TForm1::SelectedBaudItem() const {
  const TControlState& list = Control(TControlId::BaudList);
  if (list.selected < 0) return std::nullopt;
  const auto value = UnsignedOf(list.items[static_cast<size_t>(list.selected)]);
  if (!value) return std::nullopt;
  return static_cast<int>(*value);
}

void TForm1::LoadSettings() {
  ISettingsStore& store = services_.Settings;
  if (!store.Open()) return;
  if (const auto com = store.ReadValue(kValueCom); com && *com <= 255) {
    SelectPortNumber(static_cast<uint8_t>(*com));
    portChosen_ = true;
  }

  if (const auto baud = store.ReadValue(kValueBaud)) {
    const std::vector<std::string>& items = Control(TControlId::BaudList).items;
    int match = -1;
    for (size_t i = 0; i < items.size() && match < 0; ++i)
      if (UnsignedOf(items[i]) == *baud) match = static_cast<int>(i);
    if (match < 0) {
      // A speed entered by hand is offered, not rejected.
      char text[16];
      std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(*baud));
      std::vector<std::string> extended = items;
      extended.push_back(text);
      SetItems(TControlId::BaudList, extended);
      match = static_cast<int>(extended.size()) - 1;
    }
    SetSelection(TControlId::BaudList, match);
  } else {
    SetSelection(TControlId::BaudList, kDefaultBaudItem);
  }

  if (const auto ecu = store.ReadValue(kValueEcu); ecu && *ecu < std::size(kFamilyByIndex))
    CheckFamily(kFamilyByIndex[*ecu]);
  if (const auto dual = store.ReadValue(kValueDualProg)) SetChecked(TControlId::DualProg, *dual != 0);
  if (const auto second = store.ReadValue(kValueSecondPage)) SetChecked(TControlId::SecondPage, *second != 0);
  if (const auto backup = store.ReadValue(kValueBackup)) backupEnabled_ = *backup != 0;
  store.Close();

  if (const auto baud = SelectedBaudItem()) SelectedBaud = *baud;
}

void TForm1::SaveSettings() {
  ISettingsStore& store = services_.Settings;
  if (!store.Open()) return;
  const uint8_t port = SelectedPortNumber();
  store.WriteValue(kValueCom, port != 0 ? port : 1);
  store.WriteValue(kValueBaud, static_cast<uint32_t>(SelectedBaudItem().value_or(SelectedBaud)));
  for (uint32_t index = 0; index < std::size(kFamilyByIndex); ++index) {
    if (IsChecked(kFamilyByIndex[index])) {
      store.WriteValue(kValueEcu, index);
      break;
    }
  }
  store.WriteValue(kValueDualProg, IsChecked(TControlId::DualProg) ? 1 : 0);
  store.WriteValue(kValueSecondPage, IsChecked(TControlId::SecondPage) ? 1 : 0);
  store.WriteValue(kValueBackup, backupEnabled_ ? 1 : 0);
  store.Close();
}

uint8_t TForm1::SelectedPortNumber() const {
  const TControlState& selector = Control(TControlId::ComSelector);
  if (selector.selected < 0) return 0;
  const std::string& item = selector.items[static_cast<size_t>(selector.selected)];
  if (item.size() <= 3) return 0;
  return static_cast<uint8_t>(std::atoi(item.c_str() + 3));
}

void TForm1::SelectPortNumber(uint8_t n) {
  PortNumber = n;
  const size_t count = Control(TControlId::ComSelector).items.size();
  for (size_t i = 0; i < count; ++i) {
    SetSelection(TControlId::ComSelector, static_cast<int>(i));
    if (SelectedPortNumber() == n) return;
  }
  SetSelection(TControlId::ComSelector, -1);
}

std::vector<std::string> TForm1::PortItems(std::vector<uint8_t> numbers, uint8_t alsoPresent) const {
  if (alsoPresent != 0 && std::find(numbers.begin(), numbers.end(), alsoPresent) == numbers.end()) {
    numbers.push_back(alsoPresent);
    std::sort(numbers.begin(), numbers.end());
  }
  std::vector<std::string> items;
  for (uint8_t n : numbers) items.push_back("COM" + std::to_string(n));
  return items;
}

void TForm1::ScanPorts() {
  std::vector<std::string> items = PortItems(services_.ScanPorts(), 0);
  const bool none = items.empty();
  SetItems(TControlId::ComSelector, std::move(items));
  if (none) {
    ShowMessage("Нет свободных коммуникационных портов. Попробуйте закрыть приложения, использующие "
                "последовательный порт.",
                "Ошибка порта", kBoxError);
  }
}

// Without a stored port the poll would watch PortNumber's start value while a job took the
// empty selection (port 0) and failed: the first port found is the choice of both.
void TForm1::SelectFirstPortUnlessChosen() {
  if (portChosen_) return;
  const std::vector<std::string>& items = Control(TControlId::ComSelector).items;
  if (items.empty()) return;
  SelectPortNumber(static_cast<uint8_t>(std::atoi(items.front().c_str() + 3)));
  portChosen_ = true;
}

// The port the poll holds open and has reached the ECU on: it cannot be opened a second time
// for the scan, yet it is there. 0 when there is none.
uint8_t TForm1::PortHeldWithLinkUp() const {
  const TLinkState& link = services_.Loader.Link;
  const bool open = link.SharedPort != nullptr && link.SharedPort->Handle != nullptr;
  const int8_t state = Session.LinkState;
  const bool up = state == kLinkLoaderAnswers || state == kLinkBootstrapRunning || state == kLinkBanksEcuAnswers;
  return open && up && link.SavedPortNumber == PortNumber ? PortNumber : 0;
}

void TForm1::RescanPorts() {
  portsChanged_ = false;
  const uint8_t selectedBefore = SelectedPortNumber();
  const uint8_t held = PortHeldWithLinkUp();
  if (held == 0) {
    // A port the poll holds without a link would hide from the scan: let it go, the poll
    // opens it again from the start.
    services_.Loader.Link.SharedPort.reset();
    Session.LinkState = kLinkStartOver;
  }
  SetItems(TControlId::ComSelector, PortItems(services_.ScanPorts(), held));
  if (portChosen_) SelectPortNumber(PortNumber);  // PortNumber stays when its port is gone
  SelectFirstPortUnlessChosen();
  if (SelectedPortNumber() != selectedBefore && SelectedPortNumber() != 0) ComSelectorChange();
}

void TForm1::CheckStartupPort() {
  // The port stays open for the poll and the jobs.
  if (services_.Loader.Open(PortNumber, SelectedBaud, kOneStopBitLine) == kOk) return;
  char text[256];
  std::snprintf(text, sizeof text,
                "Коммуникационный порт %u занят или отсутствует. Попробуйте переключиться на другой порт.",
                static_cast<unsigned>(PortNumber));
  ShowMessage(text, "Ошибка порта", kBoxError);
}

}  // namespace quillorn
