#include "platform/WideText_win32.hpp"

#include <windows.h>

namespace quillorn {

namespace {

std::wstring WidenWith(DWORD flags, std::string_view utf8) {
  if (utf8.empty()) return {};
  const int length = static_cast<int>(utf8.size());
  const int size = MultiByteToWideChar(CP_UTF8, flags, utf8.data(), length, nullptr, 0);
  if (size <= 0) return {};
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, flags, utf8.data(), length, wide.data(), size);
  return wide;
}

}  // namespace

std::wstring Widen(std::string_view utf8) { return WidenWith(0, utf8); }

std::wstring WidenExact(std::string_view utf8) { return WidenWith(MB_ERR_INVALID_CHARS, utf8); }

std::string Narrow(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int length = static_cast<int>(wide.size());
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string utf8(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, utf8.data(), size, nullptr, nullptr);
  return utf8;
}

}  // namespace quillorn
