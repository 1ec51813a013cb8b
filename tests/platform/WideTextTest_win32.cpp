#include <gtest/gtest.h>

#include "platform/File.hpp"
#include "platform/WideText_win32.hpp"

using namespace quillorn;

// A path with a broken byte must not turn into another file's name through replacement
// characters; texts that are only shown may be repaired.
TEST(WideText, InvalidUtf8IsRefusedForPathsAndRepairedForTexts) {
  const char* const broken[] = {"\xC3\x28.bin", "\xFF.bin", "a\xC0\xAF" "b.bin", "\xD0"};
  for (const char* text : broken) {
    SCOPED_TRACE(text);
    EXPECT_TRUE(WidenExact(text).empty());
    EXPECT_FALSE(Widen(text).empty());
    // Were it opened, the file would land in the test's own folder.
    EXPECT_EQ(OpenFileUtf8(::testing::TempDir() + text, "wb"), nullptr);
  }
  const std::string cyrillic = "Прошивка ЭБУ.bin";
  EXPECT_EQ(WidenExact(cyrillic), L"Прошивка ЭБУ.bin");
  EXPECT_EQ(Narrow(WidenExact(cyrillic)), cyrillic);
  EXPECT_TRUE(WidenExact("").empty());
}
