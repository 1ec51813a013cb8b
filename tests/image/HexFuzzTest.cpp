// Seeded mutation of valid hex files. A reference reading of the same text, written
// independently and straightforwardly, says what is sound; the checker must agree with it, a
// refused file must write nothing, and an accepted file must write exactly what the reference
// reads. Mutations that happen to yield another sound file (a changed letter case, a record
// type digit that still fits its record) are not damage; everything else must be refused.
#include <map>
#include <optional>
#include <sstream>

#include "image/HexReader.hpp"
#include "tests/image/HexLines.hpp"
#include "tests/image/ImageTestSupport.hpp"

namespace quillorn::test {
namespace {

using TMemory = std::map<uint64_t, uint8_t>;  // (bank << 32) | address -> byte

uint64_t KeyOf(uint8_t bank, uint32_t address) { return (uint64_t{bank} << 32) | address; }

std::optional<std::vector<uint8_t>> DecodeHex(const std::string& text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < text.size(); i += 2) {
    unsigned value = 0;
    for (size_t j = i; j < i + 2; ++j) {
      const char c = text[j];
      const int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                        : (c >= 'A' && c <= 'F')                     ? c - 'A' + 10
                        : (c >= 'a' && c <= 'f')                     ? c - 'a' + 10
                                                                     : -1;
      if (digit < 0) return std::nullopt;
      value = value * 16 + static_cast<unsigned>(digit);
    }
    bytes.push_back(static_cast<uint8_t>(value));
  }
  return bytes;
}

// The reference: nullopt for a damaged file, otherwise what a load writes, byte by byte.
std::optional<TMemory> ReferenceRead(const std::string& text) {
  TMemory memory;
  uint64_t intelBase = 0;
  uint64_t sDataRecords = 0;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r')) line.pop_back();
    if (line.empty()) return std::nullopt;
    if (line[0] == ':') {
      const auto bytes = DecodeHex(line.substr(1));
      if (!bytes || bytes->size() < 5 || bytes->size() != size_t{(*bytes)[0]} + 5) return std::nullopt;
      unsigned sum = 0;
      for (uint8_t b : *bytes) sum += b;
      const uint8_t count = (*bytes)[0], type = (*bytes)[3];
      if (sum % 256 != 0 || type > 5) return std::nullopt;
      if (count == 0 || type == 1) return memory;
      const uint64_t value = count == 2 ? (uint64_t{(*bytes)[4]} << 8) | (*bytes)[5] : 0;
      if (type == 2 || type == 4) {
        if (count != 2) return std::nullopt;
        intelBase = type == 2 ? value * 16 : value << 16;
      } else if (type == 3 || type == 5) {
        if (count != 4) return std::nullopt;
      } else {
        const uint64_t start = intelBase + ((uint64_t{(*bytes)[1]} << 8) | (*bytes)[2]);
        if (start + count > 0x1000000) return std::nullopt;
        for (size_t i = 0; i < count; ++i) {
          const uint64_t a = start + i;
          memory[KeyOf(static_cast<uint8_t>(a >> 16), static_cast<uint32_t>(a & 0xFFFF))] = (*bytes)[4 + i];
        }
      }
      continue;
    }
    if (line.size() < 2 || line[0] != 'S' || !std::isdigit(static_cast<unsigned char>(line[1])) || line[1] == '4') {
      return std::nullopt;
    }
    const int type = line[1] - '0';
    const bool data = type >= 1 && type <= 3;
    if (data && line.substr(2) == "00") return memory;
    const auto bytes = DecodeHex(line.substr(2));
    const size_t addressBytes = (type == 0 || type == 1 || type == 5 || type == 9) ? 2 : (type == 2 || type == 6 || type == 8) ? 3 : 4;
    if (!bytes || bytes->empty() || bytes->size() != size_t{(*bytes)[0]} + 1) return std::nullopt;
    const size_t count = (*bytes)[0];
    if (count < addressBytes + 1) return std::nullopt;
    if (!data && type != 0 && count != addressBytes + 1) return std::nullopt;
    unsigned sum = 0;
    for (uint8_t b : *bytes) sum += b;
    if (sum % 256 != 0xFF) return std::nullopt;
    uint64_t start = 0;
    for (size_t i = 0; i < addressBytes; ++i) start = (start << 8) | (*bytes)[1 + i];
    if ((type == 5 || type == 6) && start != sDataRecords) return std::nullopt;
    if (!data) continue;
    ++sDataRecords;
    const size_t length = count - addressBytes - 1;
    if (start + length > (uint64_t{1} << (8 * addressBytes))) return std::nullopt;
    for (size_t i = 0; i < length; ++i) {
      const uint64_t a = start + i;
      if (type == 3 && (a >> 24) != 0 && ((a >> 16) & 0xFF) != 0) return std::nullopt;  // two banks named
      const uint8_t bank = type == 1 ? 0
                           : type == 2 || (a >> 24) == 0 ? static_cast<uint8_t>(a >> 16)
                                                         : static_cast<uint8_t>(a >> 24);
      const uint32_t address = static_cast<uint32_t>(a & 0xFFFF);
      memory[KeyOf(bank, address)] = (*bytes)[1 + addressBytes + i];
    }
  }
  return memory;
}

std::string SoundFile(std::mt19937& random) {
  std::vector<std::string> lines{"S00600004844521B"};
  auto bytes = [&](size_t n) {
    std::vector<uint8_t> data(n);
    for (auto& b : data) b = static_cast<uint8_t>(random());
    return data;
  };
  const int records = 2 + static_cast<int>(random() % 5);
  for (int i = 0; i < records; ++i) {
    switch (random() % 5) {
      case 0: lines.push_back(S1(static_cast<uint16_t>(random() % 0xF000), bytes(1 + random() % 40))); break;
      case 1: lines.push_back(S2(random() % 0x7F0000, bytes(1 + random() % 40))); break;
      case 2: {  // the bank in bits 16-23, or in bits 24-31 with 16-23 clear
        const uint32_t low = random() % 0xF000;
        const uint32_t address = random() % 2 ? (random() % 3) << 24 | low : (random() % 0x30) << 16 | low;
        lines.push_back(S3(address, bytes(1 + random() % 40)));
        break;
      }
      case 3: lines.push_back(Intel(0x04, 0, {0, static_cast<uint8_t>(random() % 8)})); break;
      default: lines.push_back(Intel(0x00, static_cast<uint16_t>(random() % 0xF000), bytes(1 + random() % 40))); break;
    }
  }
  if (random() % 2) {  // a count record over the S-records, as tools write it
    size_t sRecords = 0;
    for (const auto& line : lines) sRecords += line[0] == 'S' && line[1] != '0';
    lines.push_back(SRecord('5', static_cast<uint32_t>(sRecords), 2, {}));
  }
  lines.push_back(random() % 2 ? "S9030000FC" : ":00000001FF");
  return Lines(lines);
}

std::string Mutated(std::string text, std::mt19937& random) {
  static const std::string alphabet = "0123456789ABCDEFabcdef0S:\n\r \tXs19";
  const int mutations = 1 + static_cast<int>(random() % 3);
  for (int m = 0; m < mutations && !text.empty(); ++m) {
    const size_t at = random() % text.size();
    const char c = alphabet[random() % alphabet.size()];
    switch (random() % 5) {
      case 0: text[at] = c; break;
      case 1: text.insert(text.begin() + static_cast<std::ptrdiff_t>(at), c); break;
      case 2: text.erase(at, 1); break;
      case 3: text[at] = static_cast<char>(text[at] ^ (1 << (random() % 8))); break;
      default: {  // a whole line dropped or doubled
        const size_t start = text.rfind('\n', at) == std::string::npos ? 0 : text.rfind('\n', at) + 1;
        const size_t end = text.find('\n', at);
        const std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start + 1);
        if (random() % 2) text.erase(start, line.size());
        else text.insert(start, line);
      }
    }
  }
  return text;
}

TMemory Replayed(const std::vector<TRecordedCall>& writes) {
  TMemory memory;
  for (const auto& write : writes) {
    for (size_t i = 0; i < write.Bytes.size(); ++i) memory[KeyOf(write.Bank, write.Address + static_cast<uint32_t>(i))] = write.Bytes[i];
  }
  return memory;
}

using HexFuzz = ImageTest;

TEST_F(HexFuzz, TheReferenceReadsTheSoundFilesAsTheLoaderDoes) {
  std::mt19937 random(20261207);
  for (int i = 0; i < 200; ++i) {
    const std::string text = SoundFile(random);
    const auto reference = ReferenceRead(text);
    ASSERT_TRUE(reference.has_value()) << text;
    driver.Writes.clear();
    ASSERT_EQ(driver.LoadSRecordFile(WriteText("sound.hex", text)), kOk) << text;
    ASSERT_EQ(Replayed(driver.Writes), *reference) << text;
  }
}

TEST_F(HexFuzz, DamagedFilesAreRefusedAndAcceptedOnesWriteWhatTheyHold) {
  std::mt19937 random(7);
  int refused = 0, acceptedDifferent = 0;
  constexpr int kRounds = 3000;
  for (int i = 0; i < kRounds; ++i) {
    const std::string original = SoundFile(random);
    const std::string text = Mutated(original, random);
    const std::string path = WriteText("mutated.hex", text);
    const auto reference = ReferenceRead(text);
    const ResultCode checked = CheckHexFile(path);
    driver.Writes.clear();
    const ResultCode loaded = driver.LoadSRecordFile(path);
    ASSERT_EQ(checked, loaded) << text;
    if (!reference) {
      ASSERT_EQ(checked, kFileDamaged) << "damage passed the check:\n" << text;
      ASSERT_TRUE(driver.Writes.empty()) << text;
      ++refused;
      continue;
    }
    ASSERT_EQ(checked, kOk) << "a sound file was refused:\n" << text;
    ASSERT_EQ(Replayed(driver.Writes), *reference) << text;
    if (*reference != *ReferenceRead(original)) ++acceptedDifferent;
  }
  // Most random changes are damage; the few that are not are sound files in their own right.
  EXPECT_GT(refused, kRounds * 8 / 10);
  std::printf("refused %d of %d mutated files; %d accepted with other content\n", refused, kRounds, acceptedDifferent);
}

}  // namespace
}  // namespace quillorn::test
