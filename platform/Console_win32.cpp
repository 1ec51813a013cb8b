#include <windows.h>
#include <io.h>
#include <shellapi.h>

#include "platform/Console.hpp"

namespace quillorn {

namespace {
std::string ToUtf8(const wchar_t* text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string out(static_cast<size_t>(size - 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
  return out;
}
}  // namespace

std::vector<std::string> CommandLineArgumentsUtf8(int, char**) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> args;
  for (int i = 1; wide != nullptr && i < count; ++i) args.push_back(ToUtf8(wide[i]));
  if (wide != nullptr) LocalFree(wide);
  return args;
}

void PrepareConsoleForUtf8() {
  SetConsoleOutputCP(CP_UTF8);
  SetConsoleCP(CP_UTF8);
}

bool IsTerminal(bool standardError) { return _isatty(standardError ? 2 : 1) != 0; }

}  // namespace quillorn
