#include "jobs/PassportField.hpp"

#include <gtest/gtest.h>

namespace quillorn {
namespace {

std::string Field(const std::string& bytes) {
  return PassportFieldText(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int>(bytes.size()));
}
bool Printable(const std::string& bytes) {
  return IsPrintablePassport(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int>(bytes.size()));
}

TEST(PassportField, PrintableTextIsShownUpToItsFirstNul) {
  EXPECT_EQ(Field("2111-1411020-60 "), "2111-1411020-60 ") << "all sixteen";
  EXPECT_EQ(Field(std::string("\xC2\xC0\xC7 2112\0\x01\xFF", 11)), "\xC2\xC0\xC7 2112") << "Cyrillic in 1251; after NUL nothing counts";
  EXPECT_TRUE(Printable(std::string(10, '\0')));
  EXPECT_EQ(Field(std::string(10, '\0')), "");
  EXPECT_EQ(Field("ABC"), "ABC");
  EXPECT_EQ(PassportFieldText(reinterpret_cast<const uint8_t*>("ABCDEF"), 3), "ABC") << "no byte past the length";
}

TEST(PassportField, ControlBytesAndErasedFlashLeaveTheFieldEmpty) {
  EXPECT_FALSE(Printable("AB\nCD"));
  EXPECT_EQ(Field("AB\nCD"), "");
  EXPECT_FALSE(Printable(std::string(16, '\xFF')));
  EXPECT_FALSE(Printable("ABC\x1F"));
  EXPECT_TRUE(Printable("ABC\x20\xFE"));
  EXPECT_EQ(Field("\x7F"), "\x7F") << "only bytes below 0x20 and 0xFF count as unprintable";
}

}  // namespace
}  // namespace quillorn
