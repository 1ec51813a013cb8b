#include <windows.h>

#include <atomic>
#include <string>

#include "tests/app/TestSettingsLocation.hpp"

namespace quillorn::test {

namespace {
std::atomic<int> counter{0};
std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }
}  // namespace

std::string FreshSettingsLocation() {
  return "\\Software\\Orvik\\QuillornTest" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++);
}

// A key under a value name that cannot exist: key names may not hold a second root.
std::string UnusableSettingsLocation() { return std::string(300, 'x') + "\\" + std::string(300, 'y'); }

void RemoveSettingsLocation(const std::string& location) {
  RegDeleteTreeW(HKEY_CURRENT_USER, Widen(location.substr(1)).c_str());
  RegDeleteKeyW(HKEY_CURRENT_USER, Widen(location.substr(1)).c_str());
}

void WriteTextValue(const std::string& location, const std::string& name, const std::string& text) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, Widen(location.substr(1)).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      &key, nullptr) != ERROR_SUCCESS)
    return;
  const std::wstring value = Widen(text);
  RegSetValueExW(key, Widen(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
}

}  // namespace quillorn::test
