#include <windows.h>

#include <string>

#include "platform/SettingsStore.hpp"
#include "platform/WideText_win32.hpp"

namespace quillorn {

namespace {

constexpr const char* kDefaultKey = "\\Software\\Orvik\\Quillorn";

class TRegistrySettingsStore final : public ISettingsStore {
 public:
  // The key path is taken from the root; the API wants it without the leading backslash.
  explicit TRegistrySettingsStore(const std::string& keyPath)
      : keyPath_(Widen(keyPath[0] == '\\' ? keyPath.substr(1) : keyPath)) {}
  ~TRegistrySettingsStore() override { Close(); }

  bool Open() override {
    Close();
    return RegCreateKeyExW(HKEY_CURRENT_USER, keyPath_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                           nullptr, &key_, nullptr) == ERROR_SUCCESS;
  }

  std::optional<uint32_t> ReadValue(const std::string& name) override {
    if (key_ == nullptr) return std::nullopt;
    DWORD type = 0, value = 0, size = sizeof value;
    const LONG status = RegQueryValueExW(key_, Widen(name).c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value) return std::nullopt;
    return static_cast<uint32_t>(value);
  }

  bool WriteValue(const std::string& name, uint32_t value) override {
    if (key_ == nullptr) return false;
    const DWORD data = value;
    return RegSetValueExW(key_, Widen(name).c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data) ==
           ERROR_SUCCESS;
  }

  bool Close() override {
    if (key_ == nullptr) return true;
    const bool closed = RegCloseKey(key_) == ERROR_SUCCESS;
    key_ = nullptr;
    return closed;
  }

  // Windows names its ports itself.
  std::map<uint8_t, std::string> PortOverrides() override { return {}; }

 private:
  std::wstring keyPath_;
  HKEY key_ = nullptr;
};

}  // namespace

std::string DefaultSettingsLocation() { return std::string("HKEY_CURRENT_USER") + kDefaultKey; }

std::unique_ptr<ISettingsStore> CreateUserSettingsStore(const std::string& location) {
  return std::make_unique<TRegistrySettingsStore>(location.empty() ? std::string(kDefaultKey) : location);
}

}  // namespace quillorn
