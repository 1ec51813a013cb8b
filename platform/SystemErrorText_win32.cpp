#include <windows.h>

#include "platform/SystemErrorText.hpp"
#include "platform/WideText_win32.hpp"

namespace quillorn {

std::string SystemErrorText(int code) {
  if (code == 0) return {};
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring line(text != nullptr ? text : L"", length);
  if (text != nullptr) LocalFree(text);
  // The system's texts end with a full stop and a line break; the message adds its own.
  while (!line.empty() && (line.back() == L'\r' || line.back() == L'\n' || line.back() == L' ' || line.back() == L'.'))
    line.pop_back();
  return Narrow(line);
}

}  // namespace quillorn
