#pragma once
// The console as the command-line client uses it: arguments and output in UTF-8 everywhere,
// so Cyrillic file names and messages survive a Windows console of any code page.
#include <string>
#include <vector>

namespace quillorn {

// The program's arguments (without the program name) as UTF-8. On Windows they are taken from
// the wide command line, not from argv, which holds them in the ANSI code page.
std::vector<std::string> CommandLineArgumentsUtf8(int argc, char** argv);

// Makes the console show UTF-8 output (a no-op where it already does).
void PrepareConsoleForUtf8();

// True when the stream is a terminal (redrawn progress bar) rather than a file or pipe.
bool IsTerminal(bool standardError);

// True when standard input is a terminal a person can answer a question at.
bool IsInputTerminal();

}  // namespace quillorn
