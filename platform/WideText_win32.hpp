#pragma once
// The core speaks UTF-8; the Windows API wants UTF-16. Every conversion at that edge goes
// through these two, so an empty text and a text with NULs inside come out the same everywhere.
#include <string>
#include <string_view>

namespace quillorn {

std::wstring Widen(std::string_view utf8);
// For a text the system must take exactly, such as a file's path: invalid UTF-8 gives an empty
// result instead of replacement characters, which could name another file.
std::wstring WidenExact(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

}  // namespace quillorn
