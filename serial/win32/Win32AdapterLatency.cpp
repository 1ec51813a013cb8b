// Windows: the FTDI driver keeps each port's settings under its FTDIBUS enumerator key of
// HKLM, one "Device Parameters" key per adapter with the port's name and its LatencyTimer.
// Reading them needs no administrator rights; nothing here writes.
#include <windows.h>

#include <cwctype>
#include <string>

#include "platform/WideText_win32.hpp"
#include "serial/AdapterLatency.hpp"

namespace quillorn {

namespace {

constexpr wchar_t kFtdiEnumKey[] = L"SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS";
// Bounds the walk over a registry the user does not control.
constexpr DWORD kMaxSubKeys = 256;

class TKey {
 public:
  TKey(HKEY parent, const std::wstring& name) {
    if (RegOpenKeyExW(parent, name.c_str(), 0, KEY_READ, &key_) != ERROR_SUCCESS) key_ = nullptr;
  }
  ~TKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  TKey(const TKey&) = delete;
  TKey& operator=(const TKey&) = delete;
  HKEY Get() const { return key_; }

  std::wstring SubKey(DWORD index) const {
    wchar_t name[256];
    DWORD length = 256;
    if (RegEnumKeyExW(key_, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) return {};
    return std::wstring(name, length);
  }

  std::wstring Text(const wchar_t* value) const {
    wchar_t text[64] = {};
    DWORD type = 0, size = sizeof text - sizeof(wchar_t);
    if (RegQueryValueExW(key_, value, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
      return {};
    return std::wstring(text);
  }

  bool Number(const wchar_t* value, DWORD& number) const {
    DWORD type = 0, size = sizeof number;
    return RegQueryValueExW(key_, value, nullptr, &type, reinterpret_cast<BYTE*>(&number), &size) == ERROR_SUCCESS &&
           type == REG_DWORD;
  }

 private:
  HKEY key_ = nullptr;
};

bool SameName(std::wstring a, std::wstring b) {
  for (auto& c : a) c = static_cast<wchar_t>(std::towupper(c));
  for (auto& c : b) c = static_cast<wchar_t>(std::towupper(c));
  return a == b;
}

// "\\.\COM3" -> L"COM3"; empty for anything that is not a COM port.
std::wstring ComName(const std::string& devicePath) {
  const std::string prefix = "\\\\.\\";
  const std::string name = devicePath.compare(0, prefix.size(), prefix) == 0 ? devicePath.substr(prefix.size()) : devicePath;
  if (name.size() < 4 || !SameName(Widen(name.substr(0, 3)), L"COM")) return {};
  return Widen(name);
}

// The LatencyTimer of the FTDI adapter that carries this port, if one does.
bool FindFtdiLatencyTimer(const std::wstring& comName, DWORD& timer) {
  const TKey ftdi(HKEY_LOCAL_MACHINE, kFtdiEnumKey);
  if (ftdi.Get() == nullptr) return false;
  for (DWORD d = 0; d < kMaxSubKeys; ++d) {
    const std::wstring device = ftdi.SubKey(d);
    if (device.empty()) break;
    const TKey deviceKey(ftdi.Get(), device);
    for (DWORD i = 0; deviceKey.Get() != nullptr && i < kMaxSubKeys; ++i) {
      const std::wstring instance = deviceKey.SubKey(i);
      if (instance.empty()) break;
      const TKey parameters(deviceKey.Get(), instance + L"\\Device Parameters");
      if (parameters.Get() == nullptr || !SameName(parameters.Text(L"PortName"), comName)) continue;
      return parameters.Number(L"LatencyTimer", timer);
    }
  }
  return false;
}

}  // namespace

TAdapterLatency QueryAdapterLatency(const std::string& devicePath) {
  TAdapterLatency found;
  const std::wstring comName = ComName(devicePath);
  if (comName.empty()) return found;
  found.setting = TLatencySetting::DeviceManager;
  DWORD timer = 0;
  if (FindFtdiLatencyTimer(comName, timer)) found.timerMs = timer;
  return found;
}

}  // namespace quillorn
