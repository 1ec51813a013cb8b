#include "image/HexReader.hpp"

#include "tests/image/HexLines.hpp"
#include "tests/image/ImageTestSupport.hpp"

namespace quillorn::test {
namespace {

using CheckHexFileTest = ImageTest;

TEST_F(CheckHexFileTest, AcceptsPublishedExampleRecords) {
  // Examples as they appear in public descriptions of both formats, checksums included.
  const std::string path = WriteText("examples.hex", Lines({
      "S00F000068656C6C6F202020202000003C",
      "S11F00007C0802A6900100049421FFF07C6C1B787C8C23783C6000003863000026",
      "S11F001C4BFFFFE5398000007D83637880010014382100107C0803A64E800020E9",
      "S111003848656C6C6F20776F726C642E0A0042",
      "S5030003F9",
      ":10010000214601360121470136007EFE09D2190140",
      ":100110002146017E17C20001FF5F16002148011928",
      ":0B0010006164647265737320676170A7",
      ":020000040800F2",
      ":02000002FFFFFE",
      ":0400000300003800C1",
      ":04000005000000CD2A",
      "S9030000FC",
      ":00000001FF",
  }));
  EXPECT_EQ(CheckHexFile(path), kOk);
}

TEST_F(CheckHexFileTest, AcceptsCaseBlanksLineEndsAndAMissingLastNewline) {
  const std::string record = S1(0x1234, Counting(16));
  std::string lower = record;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  lower[0] = 'S';
  EXPECT_EQ(CheckHexFile(WriteText("a.hex", lower + "\r\n" + record + " \t\r\n" + record)), kOk);
  EXPECT_EQ(CheckHexFile(WriteText("b.hex", record + std::string(5000, ' ') + "\n")), kOk)
      << "blanks after a record are no damage, however many";
  EXPECT_EQ(CheckHexFile(WriteText("empty.hex", "")), kOk);
}

TEST_F(CheckHexFileTest, RefusesEveryKindOfDamage) {
  const std::string good = S1(0x0100, Counting(16));
  std::string badSum = good;
  badSum.back() = badSum.back() == '0' ? '1' : '0';
  std::string badDigit = good;
  badDigit[10] = 'G';
  const struct {
    const char* what;
    std::string line;
  } cases[] = {
      {"wrong checksum", badSum},
      {"non-hex digit", badDigit},
      {"line shorter than its count", good.substr(0, good.size() - 2)},
      {"characters after the checksum", good + "00"},
      {"text after the checksum", good + " x"},
      {"S1 count that cannot hold address and checksum", "S1020000FD"},
      {"S2 count that cannot hold address and checksum", "S20300000FC"},
      {"reserved S4 record", SRecord('4', 0x100, 2, Counting(4))},
      {"no type digit", std::string("SX130000").append(good.substr(8))},
      {"lower-case record mark", std::string("s").append(good.substr(1))},
      {"blank line", ""},
      {"line of blanks", "   "},
      {"leading blank", std::string(" ").append(good)},
      {"count 0 followed by more", "S1000000FF"},
      {"termination record with data", SRecord('9', 0, 2, {1, 2})},
      {"count record with data", SRecord('5', 1, 2, {1})},
      {"count record that misses a lost line", SRecord('5', 2, 2, {})},
      {"24-bit count record that misses a lost line", SRecord('6', 0, 3, {})},
      {"S1 data past 0xFFFF", S1(0xFFF8, Counting(16))},
      {"S2 data past 24 bits", S2(0xFFFFF8, Counting(16))},
      {"unknown Intel record type", Intel(0x06, 0, {1, 2})},
      {"Intel extended address of the wrong size", Intel(0x04, 0, {1})},
      {"Intel start address of the wrong size", Intel(0x05, 0, {1, 2})},
      {"Intel wrong checksum", ":10010000214601360121470136007EFE09D2190141"},
      {"Intel record without checksum", ":0000000"},
      {"line longer than any record", good + std::string(700, '0')},
  };
  for (const auto& c : cases) {
    const std::string path = WriteText("bad.hex", Lines({good, c.line, good}));
    EXPECT_EQ(CheckHexFile(path), kFileDamaged) << c.what << ": " << c.line;
  }
}

TEST_F(CheckHexFileTest, CountRecordsMatchTheDataRecordsBeforeThem) {
  const std::string record = S1(0x0100, Counting(16));
  EXPECT_EQ(CheckHexFile(WriteText("s5.hex", Lines({record, record, SRecord('5', 2, 2, {}), record}))), kOk);
  EXPECT_EQ(CheckHexFile(WriteText("s6.hex", Lines({record, SRecord('6', 1, 3, {})}))), kOk);
}

TEST_F(CheckHexFileTest, IntelAddressesBeyondTheBankByteAreDamage) {
  EXPECT_EQ(CheckHexFile(WriteText("high.hex", Lines({Intel(0x04, 0, {0x01, 0x00}), Intel(0, 0, {1})}))),
            kFileDamaged);
  EXPECT_EQ(CheckHexFile(WriteText("top.hex", Lines({Intel(0x04, 0, {0x00, 0xFF}), Intel(0, 0xFFF0, Counting(16))}))),
            kOk);
}

TEST_F(CheckHexFileTest, NothingAfterTheEndOfTheLoadIsRead) {
  EXPECT_EQ(CheckHexFile(WriteText("c.hex", "S100\nrubbish\n")), kOk);
  EXPECT_EQ(CheckHexFile(WriteText("i.hex", ":00000001FF\nrubbish\n")), kOk);
}

TEST_F(CheckHexFileTest, UnopenableFile) {
  EXPECT_EQ(CheckHexFile(PathOf("absent.hex")), kFileOpenFailed);
}

THexRecord DataRecord(THexAddressStyle style, uint32_t address, uint16_t length) {
  THexRecord record;
  record.Kind = THexRecordKind::Data;
  record.Style = style;
  record.Address = address;
  record.Length = length;
  for (uint16_t i = 0; i < length; ++i) record.Data[i] = static_cast<uint8_t>(i);
  return record;
}

TEST(SplitHexRecord, LongRecordsGoOutInConsecutiveWritesOfAtMost32) {
  for (uint16_t length : {1, 32, 33, 64, 100, 250, 255}) {
    const auto pieces = SplitHexRecord(DataRecord(THexAddressStyle::S1, 0x4000, length));
    uint32_t expectedOffset = 0;
    for (const auto& piece : pieces) {
      EXPECT_LE(piece.Count, 32);
      EXPECT_GT(piece.Count, 0);
      EXPECT_EQ(piece.Offset, expectedOffset);
      EXPECT_EQ(piece.Address, 0x4000 + expectedOffset);
      expectedOffset += piece.Count;
    }
    EXPECT_EQ(expectedOffset, length);
    EXPECT_EQ(pieces.size(), (length + 31u) / 32u) << length;
  }
}

TEST(SplitHexRecord, BanksFollowTheAddressStyleAndNeverSplitAcrossA64KBoundary) {
  auto pieces = SplitHexRecord(DataRecord(THexAddressStyle::S2, 0x12FFF0, 40));
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[0].Address, 0xFFF0u);
  EXPECT_EQ(pieces[0].Bank, 0x12);
  EXPECT_EQ(pieces[0].Count, 16);
  EXPECT_EQ(pieces[1].Address, 0x0000u);
  EXPECT_EQ(pieces[1].Bank, 0x13);
  EXPECT_EQ(pieces[1].Count, 24);

  pieces = SplitHexRecord(DataRecord(THexAddressStyle::S3, 0x01004567, 8));
  ASSERT_EQ(pieces.size(), 1u);
  EXPECT_EQ(pieces[0].Address, 0x4567u);
  EXPECT_EQ(pieces[0].Bank, 0x01);
  pieces = SplitHexRecord(DataRecord(THexAddressStyle::S3, 0x00174567, 8));
  EXPECT_EQ(pieces[0].Address, 0x4567u);
  EXPECT_EQ(pieces[0].Bank, 0x17);

  pieces = SplitHexRecord(DataRecord(THexAddressStyle::Intel, 0x051000, 8));
  EXPECT_EQ(pieces[0].Address, 0x1000u);
  EXPECT_EQ(pieces[0].Bank, 0x05);

  pieces = SplitHexRecord(DataRecord(THexAddressStyle::S1, 0x8000, 0));
  ASSERT_EQ(pieces.size(), 1u) << "a record without data is still passed on";
  EXPECT_EQ(pieces[0].Count, 0);
  EXPECT_EQ(pieces[0].Address, 0x8000u);
}

}  // namespace
}  // namespace quillorn::test
