#include "jobs/PassportField.hpp"

namespace quillorn {

namespace {

int TextLength(const uint8_t* bytes, int length) {
  int count = 0;
  while (count < length && bytes[count] != 0) ++count;
  return count;
}

}  // namespace

bool IsPrintablePassport(const uint8_t* bytes, int length) {
  const int count = TextLength(bytes, length);
  for (int i = 0; i < count; ++i) {
    if (bytes[i] < 0x20 || bytes[i] == 0xFF) return false;
  }
  return true;
}

std::string PassportFieldText(const uint8_t* bytes, int length) {
  if (!IsPrintablePassport(bytes, length)) return std::string();
  return std::string(reinterpret_cast<const char*>(bytes), static_cast<size_t>(TextLength(bytes, length)));
}

}  // namespace quillorn
