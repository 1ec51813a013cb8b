#pragma once
// A TForm1 on a fresh link state, its own settings place, a scripted port scan and a job
// function the test chooses. Port 1 (the window's start value) leads to a device that is
// missing, so nothing here touches a real serial port.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/Form1.hpp"
#include "platform/AbortMailbox.hpp"
#include "protocol/C509Pro.hpp"
#include "protocol/FlashPro.hpp"
#include "serial/PortMap.hpp"
#include "serial/SerialDevice.hpp"
#include "tests/app/FakeForm1View.hpp"
#include "tests/app/TestSettingsLocation.hpp"
#include "tests/ProcessTempPath.hpp"

namespace quillorn::test {

// Serves "missing:" paths as ports that cannot be opened.
class TMissingPortProvider final : public TSerialDeviceProvider {
 public:
  std::unique_ptr<TSerialDevice> TryOpen(const std::string& devicePath, bool* served, int32_t* error) override {
    *served = devicePath.rfind("missing:", 0) == 0;
    if (*served && error != nullptr) *error = kErrorFileNotFound;
    return nullptr;
  }
};

class Form1Test : public ::testing::Test {
 protected:
  Form1Test() {
    RegisterSerialDeviceProvider(&missing);
    for (unsigned n = 1; n <= 12; ++n) TPortMap::Instance().SetOverride(static_cast<uint8_t>(n), "missing:" + std::to_string(n));
  }
  ~Form1Test() override {
    if (form) form->WaitForJobEnd(10000);
    form.reset();
    link.SharedPort.reset();
    UnregisterSerialDeviceProvider(&missing);
    for (unsigned n = 1; n <= 12; ++n) TPortMap::Instance().SetOverride(static_cast<uint8_t>(n), "");
    RemoveSettingsLocation(location);
    while (PeekAbortMessage()) {
    }
  }

  // Builds the window (construction only; FormShow is the test's own step).
  TForm1& Build() {
    store = CreateUserSettingsStore(location);
    TForm1Services services{loader, memory, *store, [this] { return ports; },
                            [this](const TJobRequest& rq, TJobDrivers& d) { return job(rq, d); },
                            ProcessTempPath("app-backups")};  // never the user's own folder
    form = std::make_unique<TForm1>(view, services);
    return *form;
  }
  TForm1& Show() {
    Build();
    form->FormShow();
    return *form;
  }

  void Seed(const std::string& name, uint32_t value) {
    auto seeding = CreateUserSettingsStore(location);
    ASSERT_TRUE(seeding->Open());
    ASSERT_TRUE(seeding->WriteValue(name, value));
    ASSERT_TRUE(seeding->Close());
  }
  std::optional<uint32_t> Stored(const std::string& name) {
    auto reading = CreateUserSettingsStore(location);
    if (!reading->Open()) return std::nullopt;
    auto value = reading->ReadValue(name);
    reading->Close();
    return value;
  }

  bool Enabled(TControlId id) const { return form->Control(id).enabled; }
  std::string Panel(int n) const { return form->Control(TControlId::StatusBar).panels[static_cast<size_t>(n)]; }

  TMissingPortProvider missing;
  TFakeForm1View view;
  std::string location = FreshSettingsLocation();
  std::unique_ptr<ISettingsStore> store;
  TLinkState link;
  TC509Pro loader{link};
  TFlashPro memory{link};
  std::vector<uint8_t> ports{1, 3, 12};
  TPerformJob job = [](const TJobRequest&, TJobDrivers&) { return kOk; };
  std::unique_ptr<TForm1> form;
};

}  // namespace quillorn::test
