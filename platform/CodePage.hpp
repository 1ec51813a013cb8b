#pragma once
// Our own code-page tables, the same on every platform: ECU texts come in the DOS Cyrillic
// "OEM" code page 866, the program shows Windows-1251 text, and the front ends need UTF-8.
#include <cstddef>
#include <cstdint>
#include <string>

namespace quillorn {

// One OEM (866) byte as Windows-1251 the way the system's OEM-to-ANSI conversion gives it:
// letters, Ё/ё and the signs with a counterpart map exactly; box drawing and blocks take the
// system's nearest look-alike ('-', '+', '=', 'L', 'T', 0xA6 broken bar ...).
uint8_t OemToAnsiByte(uint8_t oem);

// Converts count bytes in place (or from source into target; they may be the same buffer).
void OemToAnsi(const uint8_t* source, uint8_t* target, size_t count);

// Windows-1251 bytes as UTF-8 text. A NUL byte is copied like any other.
std::string AnsiToUtf8(const uint8_t* bytes, size_t count);
std::string AnsiToUtf8(const std::string& ansi);

// UTF-8 text as Windows-1251 bytes; characters without a 1251 byte (and malformed UTF-8
// sequences) become '?'.
std::string Utf8ToAnsi(const std::string& utf8);

}  // namespace quillorn
