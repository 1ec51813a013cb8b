#pragma once
// The rule both front ends apply before they show a passport field: the text runs up to its
// first NUL (at most length bytes) and is shown only when none of those bytes is a control
// byte (below 0x20) or 0xFF, so erased flash and binary garbage show as an empty field.
// Windows-1251 letters (0x80..0xFE) count as printable.
#include <cstdint>
#include <string>

namespace quillorn {

bool IsPrintablePassport(const uint8_t* bytes, int length);

// The Windows-1251 text a field shows: empty when it is not printable.
std::string PassportFieldText(const uint8_t* bytes, int length);

}  // namespace quillorn
