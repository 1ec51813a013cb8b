#include "serial/SerialDevice.hpp"

#include <algorithm>
#include <cctype>
#include <mutex>
#include <vector>

#include "serial/DeviceProbe.hpp"
#include "serial/OpenFailure.hpp"
#include "serial/PortMap.hpp"
#include "serial/TraceLog.hpp"

namespace quillorn {

uint32_t CharacterTimeMicros(uint32_t baud, uint8_t dataBits, uint8_t parity, uint8_t stopBits) {
  const uint32_t stop = stopBits == kOneStopBit ? 1 : 2;  // 1.5 rounds up: a bound, never short
  const uint32_t bits = 1 + dataBits + (parity == kNoParity ? 0 : 1) + stop;
  const uint64_t rate = baud == 0 ? 1 : baud;
  return static_cast<uint32_t>((uint64_t{bits} * 1000000u + rate - 1) / rate);
}

namespace {

// Held while a provider is consulted, so one cannot be unregistered (and destroyed by its
// owner) in the middle of its TryOpen. Recursive: a provider may register another.
std::recursive_mutex& ProviderMutex() {
  static std::recursive_mutex mutex;
  return mutex;
}

std::vector<TSerialDeviceProvider*>& Providers() {
  static std::vector<TSerialDeviceProvider*> providers;
  return providers;
}

void SetError(int32_t* error, int32_t value) {
  if (error) *error = value;
}

}  // namespace

void RegisterSerialDeviceProvider(TSerialDeviceProvider* provider) {
  if (!provider) return;
  std::lock_guard<std::recursive_mutex> lock(ProviderMutex());
  auto& providers = Providers();
  if (std::find(providers.begin(), providers.end(), provider) == providers.end()) {
    providers.push_back(provider);
  }
}

void UnregisterSerialDeviceProvider(TSerialDeviceProvider* provider) {
  std::lock_guard<std::recursive_mutex> lock(ProviderMutex());
  auto& providers = Providers();
  providers.erase(std::remove(providers.begin(), providers.end(), provider), providers.end());
}

bool ReleaseSerialDeviceProviders(std::string* error) {
  std::lock_guard<std::recursive_mutex> lock(ProviderMutex());
  const std::vector<TSerialDeviceProvider*> providers = Providers();
  bool released = true;
  for (TSerialDeviceProvider* provider : providers) {
    std::string text;
    if (provider->Release(&text)) continue;
    if (released && error) *error = text;
    released = false;
  }
  return released;
}

namespace {

// "sim:..." names a kind of port that only a provider can open; "COM3", "\\.\COM3" and
// "/dev/ttyUSB0" do not (a one-letter kind is a Windows drive).
std::string PortKindOf(const std::string& devicePath) {
  const size_t colon = devicePath.find(':');
  if (colon == std::string::npos || colon < 2) return {};
  for (size_t i = 0; i < colon; ++i) {
    if (!std::isalpha(static_cast<unsigned char>(devicePath[i]))) return {};
  }
  return devicePath.substr(0, colon + 1);
}

std::unique_ptr<TSerialDevice> RefuseUnknownKind(const std::string& kind, int32_t* error) {
  NoteOpenFailure("порты вида «" + kind + "» этой программе неизвестны; укажите COMn или путь к устройству");
  SetError(error, kErrorFileNotFound);
  return nullptr;
}

// The first provider that serves the path opens it; *served false when none does.
std::unique_ptr<TSerialDevice> OpenProvidedDevice(const std::string& devicePath, bool* served, int32_t* error) {
  std::lock_guard<std::recursive_mutex> lock(ProviderMutex());
  const std::vector<TSerialDeviceProvider*> providers = Providers();  // a provider may register more
  for (TSerialDeviceProvider* provider : providers) {
    bool providerServes = false;
    int32_t providerError = 0;
    auto device = provider->TryOpen(devicePath, &providerServes, &providerError);
    if (!providerServes) continue;
    *served = true;
    if (!device) SetError(error, providerError != 0 ? providerError : kErrorFileNotFound);
    return device;
  }
  *served = false;
  return nullptr;
}

}  // namespace

std::unique_ptr<TSerialDevice> OpenSerialDevice(const std::string& portName, int32_t* error) {
  SetError(error, 0);
  const uint8_t portNumber = PortNumberFromName(portName);
  const std::string devicePath = portNumber == 0 ? std::string() : TPortMap::Instance().DevicePath(portNumber);
  if (devicePath.empty()) {
    NoteOpenFailure("этому номеру порта не сопоставлено устройство");
    SetError(error, kErrorFileNotFound);
    return nullptr;
  }
  bool served = false;
  auto device = OpenProvidedDevice(devicePath, &served, error);
  if (!served) {
    const std::string kind = PortKindOf(devicePath);
    device = kind.empty() ? OpenPlatformSerialDevice(devicePath, error) : RefuseUnknownKind(kind, error);
  }
  return WrapForTrace(std::move(device), devicePath);
}

bool ProbeSerialDevicePath(const std::string& devicePath) {
  bool served = false;
  int32_t error = 0;
  auto device = OpenProvidedDevice(devicePath, &served, &error);
  if (served) return device != nullptr;
  return ProbePlatformSerialDevice(devicePath);
}

}  // namespace quillorn
