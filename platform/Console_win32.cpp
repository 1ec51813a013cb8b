#include <windows.h>
#include <io.h>
#include <shellapi.h>

#include "platform/Console.hpp"
#include "platform/WideText_win32.hpp"

namespace quillorn {

std::vector<std::string> CommandLineArgumentsUtf8(int, char**) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> args;
  for (int i = 1; wide != nullptr && i < count; ++i) args.push_back(Narrow(wide[i]));
  if (wide != nullptr) LocalFree(wide);
  return args;
}

void PrepareConsoleForUtf8() {
  SetConsoleOutputCP(CP_UTF8);
  SetConsoleCP(CP_UTF8);
}

bool IsTerminal(bool standardError) { return _isatty(standardError ? 2 : 1) != 0; }

bool IsInputTerminal() { return _isatty(0) != 0; }

}  // namespace quillorn
