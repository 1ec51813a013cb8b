#include "platform/CodePage.hpp"

#include <gtest/gtest.h>

namespace quillorn {
namespace {

const std::string kAlphabet = "АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдежзийклмнопрстуфхцчшщъыьэюя";

TEST(CodePage, EveryOemLetterBecomesItsWindowsLetter) {
  for (int i = 0; i < 32; ++i) {
    EXPECT_EQ(OemToAnsiByte(static_cast<uint8_t>(0x80 + i)), 0xC0 + i) << "capital " << i;
  }
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(OemToAnsiByte(static_cast<uint8_t>(0xA0 + i)), 0xE0 + i) << "small а..п " << i;
    EXPECT_EQ(OemToAnsiByte(static_cast<uint8_t>(0xE0 + i)), 0xF0 + i) << "small р..я " << i;
  }
  EXPECT_EQ(OemToAnsiByte(0xF0), 0xA8);  // Ё
  EXPECT_EQ(OemToAnsiByte(0xF1), 0xB8);  // ё
  for (int c = 0; c < 0x80; ++c) EXPECT_EQ(OemToAnsiByte(static_cast<uint8_t>(c)), c) << "ASCII " << c;
}

TEST(CodePage, OemSignsAndBoxDrawingTakeTheSystemsNearestCharacters) {
  EXPECT_EQ(OemToAnsiByte(0xFC), 0xB9);  // №
  EXPECT_EQ(OemToAnsiByte(0xF8), 0xB0);  // °
  EXPECT_EQ(OemToAnsiByte(0xFF), 0xA0);  // no-break space
  EXPECT_EQ(OemToAnsiByte(0xC4), '-');   // ─
  EXPECT_EQ(OemToAnsiByte(0xC5), '+');   // ┼
  EXPECT_EQ(OemToAnsiByte(0xCD), '=');   // ═
  EXPECT_EQ(OemToAnsiByte(0xB3), 0xA6);  // │ as a broken bar
  EXPECT_EQ(OemToAnsiByte(0xDB), '-');   // █
  for (int c = 0xB0; c < 0xE0; ++c) {
    const uint8_t ansi = OemToAnsiByte(static_cast<uint8_t>(c));
    EXPECT_TRUE(ansi >= 0x20 && ansi != 0xFF) << "graphic " << c << " must stay printable";
  }
}

TEST(CodePage, WindowsLettersToUtf8AndBack) {
  std::string ansi;
  for (int i = 0; i < 64; ++i) ansi.push_back(static_cast<char>(0xC0 + i));
  EXPECT_EQ(AnsiToUtf8(ansi), kAlphabet);
  EXPECT_EQ(Utf8ToAnsi(kAlphabet), ansi);
  EXPECT_EQ(AnsiToUtf8(std::string("\xA8\xB8")), "Ёё");
  EXPECT_EQ(Utf8ToAnsi("Ёё"), "\xA8\xB8");
  EXPECT_EQ(AnsiToUtf8(std::string("No\xB9 5, 10\xB0")), "No№ 5, 10°");
  EXPECT_EQ(Utf8ToAnsi("€ 中"), "\x88 ?");
  EXPECT_EQ(Utf8ToAnsi(std::string("a\xD0")), "a?") << "a cut sequence";
}

TEST(CodePage, OemTextReachesUtf8) {
  const uint8_t oem[] = {0x9F, 0xAD, 0xA2, 0xA0, 0xE0, 0xEC, ' ', '5', '.', '1', 0xF1};
  uint8_t ansi[sizeof oem];
  OemToAnsi(oem, ansi, sizeof oem);
  EXPECT_EQ(AnsiToUtf8(ansi, sizeof ansi), "Январь 5.1ё");
}

}  // namespace
}  // namespace quillorn
