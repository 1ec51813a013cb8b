#include <unistd.h>

#include "platform/Console.hpp"

namespace quillorn {

std::vector<std::string> CommandLineArgumentsUtf8(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

void PrepareConsoleForUtf8() {}

bool IsTerminal(bool standardError) { return isatty(standardError ? STDERR_FILENO : STDOUT_FILENO) == 1; }

bool IsInputTerminal() { return isatty(STDIN_FILENO) == 1; }

}  // namespace quillorn
