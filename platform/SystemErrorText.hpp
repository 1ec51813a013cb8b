#pragma once
// The operating system's own words for one of its error codes, for messages that say why
// something failed: errno on POSIX, GetLastError on Windows (in the user's language there).
#include <string>

namespace quillorn {

// One line of UTF-8 without a final full stop; empty when the system has no text for code.
std::string SystemErrorText(int code);

}  // namespace quillorn
