#include "platform/CodePage.hpp"

#include <array>

namespace quillorn {

namespace {

// Windows-1251 bytes 0x80..0xFF as Unicode code points. 0x98 has no character; the system
// passes it through as U+0098.
constexpr std::array<uint16_t, 128> kAnsiHighToUnicode = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // B8
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,  // C0 А..З
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,  // C8 И..П
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,  // D0 Р..Ч
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,  // D8 Ш..Я
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,  // E0 а..з
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,  // E8 и..п
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,  // F0 р..ч
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,  // F8 ш..я
};

// OEM 866 bytes 0xB0..0xDF (shades, box drawing, blocks) as Windows-1251 by the system's
// best-fit rule, and 0xF0..0xFF (Ё ё Є є Ї ї Ў ў ° ∙ · √ № ¤ ■ NBSP).
constexpr std::array<uint8_t, 48> kOemGraphicsToAnsi = {
    0x2D, 0x2D, 0x2D, 0xA6, 0x2B, 0xA6, 0xA6, 0xAC,  // B0 ░ ▒ ▓ │ ┤ ╡ ╢ ╖
    0xAC, 0xA6, 0xA6, 0xAC, 0x2D, 0x2D, 0x2D, 0xAC,  // B8 ╕ ╣ ║ ╗ ╝ ╜ ╛ ┐
    0x4C, 0x2B, 0x54, 0x2B, 0x2D, 0x2B, 0xA6, 0xA6,  // C0 └ ┴ ┬ ├ ─ ┼ ╞ ╟
    0x4C, 0xE3, 0xA6, 0x54, 0xA6, 0x3D, 0x2B, 0xA6,  // C8 ╚ ╔ ╩ ╦ ╠ ═ ╬ ╧
    0xA6, 0x54, 0x54, 0x4C, 0x4C, 0x2D, 0xE3, 0x2B,  // D0 ╨ ╤ ╥ ╙ ╘ ╒ ╓ ╫
    0x2B, 0x2D, 0x2D, 0x2D, 0x2D, 0xA6, 0xA6, 0x2D,  // D8 ╪ ┘ ┌ █ ▄ ▌ ▐ ▀
};
constexpr std::array<uint8_t, 16> kOemSignsToAnsi = {
    0xA8, 0xB8, 0xAA, 0xBA, 0xAF, 0xBF, 0xA1, 0xA2,  // F0 Ё ё Є є Ї ї Ў ў
    0xB0, 0x95, 0xB7, 0x76, 0xB9, 0xA4, 0xA6, 0xA0,  // F8 ° ∙ · √ № ¤ ■ NBSP
};

void AppendUtf8(std::string& out, uint32_t codePoint) {
  if (codePoint < 0x80) {
    out.push_back(static_cast<char>(codePoint));
  } else if (codePoint < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
    out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  }
}

char UnicodeToAnsi(uint32_t codePoint) {
  if (codePoint < 0x80) return static_cast<char>(codePoint);
  for (size_t i = 0; i < kAnsiHighToUnicode.size(); ++i) {
    if (kAnsiHighToUnicode[i] == codePoint) return static_cast<char>(0x80 + i);
  }
  return '?';
}

// Decodes one UTF-8 sequence at text[pos]; advances pos. Returns 0xFFFFFFFF when malformed.
uint32_t NextCodePoint(const std::string& text, size_t& pos) {
  const auto lead = static_cast<uint8_t>(text[pos++]);
  if (lead < 0x80) return lead;
  int extra = 0;
  uint32_t codePoint = 0;
  if ((lead & 0xE0) == 0xC0) {
    extra = 1;
    codePoint = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2;
    codePoint = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3;
    codePoint = lead & 0x07;
  } else {
    return 0xFFFFFFFFu;
  }
  for (int i = 0; i < extra; ++i) {
    if (pos >= text.size()) return 0xFFFFFFFFu;
    const auto next = static_cast<uint8_t>(text[pos]);
    if ((next & 0xC0) != 0x80) return 0xFFFFFFFFu;
    codePoint = (codePoint << 6) | (next & 0x3F);
    ++pos;
  }
  return codePoint;
}

}  // namespace

uint8_t OemToAnsiByte(uint8_t oem) {
  if (oem < 0x80) return oem;
  if (oem < 0xB0) return static_cast<uint8_t>(oem + 0x40);  // А..Я, а..п
  if (oem < 0xE0) return kOemGraphicsToAnsi[oem - 0xB0];
  if (oem < 0xF0) return static_cast<uint8_t>(oem + 0x10);  // р..я
  return kOemSignsToAnsi[oem - 0xF0];
}

void OemToAnsi(const uint8_t* source, uint8_t* target, size_t count) {
  for (size_t i = 0; i < count; ++i) target[i] = OemToAnsiByte(source[i]);
}

std::string AnsiToUtf8(const uint8_t* bytes, size_t count) {
  std::string out;
  out.reserve(count * 2);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t byte = bytes[i];
    AppendUtf8(out, byte < 0x80 ? byte : kAnsiHighToUnicode[byte - 0x80]);
  }
  return out;
}

std::string AnsiToUtf8(const std::string& ansi) {
  return AnsiToUtf8(reinterpret_cast<const uint8_t*>(ansi.data()), ansi.size());
}

std::string Utf8ToAnsi(const std::string& utf8) {
  std::string out;
  out.reserve(utf8.size());
  size_t pos = 0;
  while (pos < utf8.size()) out.push_back(UnicodeToAnsi(NextCodePoint(utf8, pos)));
  return out;
}

}  // namespace quillorn
