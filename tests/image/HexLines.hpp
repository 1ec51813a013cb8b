#pragma once
// Builders of well-formed hex records for the tests, with their checksums.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace quillorn::test {

inline std::string HexOf(const std::vector<uint8_t>& bytes) {
  std::string text;
  char pair[3];
  for (uint8_t b : bytes) {
    std::snprintf(pair, sizeof pair, "%02X", b);
    text += pair;
  }
  return text;
}

// "S<type>" record: count, address of addressBytes bytes, data, one's complement checksum.
inline std::string SRecord(char type, uint32_t address, size_t addressBytes, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> bytes;
  bytes.push_back(static_cast<uint8_t>(addressBytes + data.size() + 1));
  for (size_t i = addressBytes; i-- > 0;) bytes.push_back(static_cast<uint8_t>(address >> (8 * i)));
  bytes.insert(bytes.end(), data.begin(), data.end());
  unsigned sum = 0;
  for (uint8_t b : bytes) sum += b;
  bytes.push_back(static_cast<uint8_t>(~sum));
  std::string line = "S";
  line.push_back(type);
  line.append(HexOf(bytes));
  return line;
}
inline std::string S1(uint16_t address, const std::vector<uint8_t>& data) { return SRecord('1', address, 2, data); }
inline std::string S2(uint32_t address, const std::vector<uint8_t>& data) { return SRecord('2', address, 3, data); }
inline std::string S3(uint32_t address, const std::vector<uint8_t>& data) { return SRecord('3', address, 4, data); }

// ":" record: count, 16-bit address, type, data, two's complement checksum.
inline std::string Intel(uint8_t type, uint16_t address, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> bytes{static_cast<uint8_t>(data.size()), static_cast<uint8_t>(address >> 8),
                             static_cast<uint8_t>(address), type};
  bytes.insert(bytes.end(), data.begin(), data.end());
  unsigned sum = 0;
  for (uint8_t b : bytes) sum += b;
  bytes.push_back(static_cast<uint8_t>(0x100 - (sum & 0xFF)));
  std::string line = ":";
  line.append(HexOf(bytes));
  return line;
}

inline std::vector<uint8_t> Counting(size_t count, uint8_t first = 0) {
  std::vector<uint8_t> bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(first + i);
  return bytes;
}

inline std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\n";
  return text;
}

}  // namespace quillorn::test
