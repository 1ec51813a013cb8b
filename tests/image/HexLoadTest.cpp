#include "tests/image/HexLines.hpp"
#include "tests/image/ImageTestSupport.hpp"

namespace quillorn::test {
namespace {

using LoadSRecordFile = ImageTest;

TEST_F(LoadSRecordFile, EmptyFileSucceedsAtOnceWithFullProgress) {
  EXPECT_EQ(driver.LoadSRecordFile(WriteText("empty.hex", "")), kOk);
  EXPECT_TRUE(driver.Writes.empty());
  EXPECT_EQ(report.Percents.back(), 100);
}

TEST_F(LoadSRecordFile, HeaderAndTrailerAreSkippedAndEachRecordIsOneWrite) {
  link.BankByte = 0x33;
  const std::string path = WriteText("s19.hex", Lines({"S00600004844521B", S1(0x6020, Counting(16, 0x41)),
                                                        S1(0x6030, Counting(4)), "S9030000FC"}));
  EXPECT_EQ(driver.LoadSRecordFile(path), kOk);
  ASSERT_EQ(driver.Writes.size(), 2u);
  EXPECT_EQ(driver.Writes[0].Address, 0x6020u);
  EXPECT_EQ(driver.Writes[0].Bank, 0) << "S1 records write in bank 0";
  EXPECT_EQ(driver.Writes[0].Bytes, Counting(16, 0x41));
  EXPECT_EQ(driver.Writes[1].Address, 0x6030u);
  EXPECT_EQ(driver.Writes[1].Bytes, Counting(4));
}

TEST_F(LoadSRecordFile, S2AndS3AddressesCarryTheirBank) {
  // S3: bits 16-23 are the bank when 24-31 are clear, bits 24-31 when 16-23 are; the wire's
  // address is 16 bits either way.
  const std::string path = WriteText("s37.hex", Lines({S2(0x12F400, {0xAA, 0xBB}), S3(0x00154567, {0xCC}),
                                                       S3(0x01004567, {0xDD})}));
  EXPECT_EQ(driver.LoadSRecordFile(path), kOk);
  ASSERT_EQ(driver.Writes.size(), 3u);
  EXPECT_EQ(driver.Writes[0].Address, 0xF400u);
  EXPECT_EQ(driver.Writes[0].Bank, 0x12);
  EXPECT_EQ(driver.Writes[1].Address, 0x4567u);
  EXPECT_EQ(driver.Writes[1].Bank, 0x15);
  EXPECT_EQ(driver.Writes[2].Address, 0x4567u);
  EXPECT_EQ(driver.Writes[2].Bank, 0x01);

  const std::string both = WriteText("both.hex", Lines({S3(0x01234567, {0xCC})}));
  EXPECT_EQ(driver.LoadSRecordFile(both), kFileDamaged) << "bits 24-31 and 16-23 both set name two banks";
  EXPECT_EQ(driver.Writes.size(), 3u);
}

TEST_F(LoadSRecordFile, IntelExtendedAddressesSetTheBankOfTheRecordsAfterThem) {
  const std::string path = WriteText("ihex.hex", Lines({
      Intel(0x00, 0x0100, {1}),
      Intel(0x04, 0, {0x00, 0x03}),
      Intel(0x00, 0x1000, {2}),
      Intel(0x02, 0, {0x12, 0x34}),  // segment 0x1234: base 0x12340
      Intel(0x00, 0x0010, {3}),
      Intel(0x05, 0, {0, 0, 0, 0}),
      Intel(0x01, 0, {}),
      Intel(0x00, 0x2000, {4}),
  }));
  EXPECT_EQ(driver.LoadSRecordFile(path), kOk);
  ASSERT_EQ(driver.Writes.size(), 3u) << "the end-of-file record ends the load";
  EXPECT_EQ(driver.Writes[0].Bank, 0);
  EXPECT_EQ(driver.Writes[0].Address, 0x0100u);
  EXPECT_EQ(driver.Writes[1].Bank, 3);
  EXPECT_EQ(driver.Writes[1].Address, 0x1000u);
  EXPECT_EQ(driver.Writes[2].Bank, 1);
  EXPECT_EQ(driver.Writes[2].Address, 0x2350u);
}

TEST_F(LoadSRecordFile, LongRecordsAreSplitIntoWritesTheBootstrapAccepts) {
  const auto data = Counting(250, 7);
  const std::string path = WriteText("long.hex", Lines({S3(0x00104000, data), Intel(0, 0x0200, Counting(255))}));
  EXPECT_EQ(driver.LoadSRecordFile(path), kOk);
  std::vector<uint8_t> first;
  size_t i = 0;
  for (; i < driver.Writes.size() && first.size() < data.size(); ++i) {
    const auto& write = driver.Writes[i];
    EXPECT_LE(write.Bytes.size(), 32u);
    EXPECT_EQ(write.Address, 0x4000u + first.size());
    EXPECT_EQ(write.Bank, 0x10);
    first.insert(first.end(), write.Bytes.begin(), write.Bytes.end());
  }
  EXPECT_EQ(first, data);
  EXPECT_EQ(i, 8u);
  EXPECT_EQ(driver.Writes.size() - i, 8u) << "255 bytes in eight writes";
  EXPECT_EQ(driver.Writes.back().Address, 0x0200u + 224);
  EXPECT_EQ(driver.Writes.back().Bytes.size(), 31u);
}

TEST_F(LoadSRecordFile, RecordWithoutDataIsPassedOnEmpty) {
  EXPECT_EQ(driver.LoadSRecordFile(WriteText("nodata.hex", Lines({S1(0x1234, {})}))), kOk);
  ASSERT_EQ(driver.Writes.size(), 1u);
  EXPECT_EQ(driver.Writes[0].Address, 0x1234u);
  EXPECT_TRUE(driver.Writes[0].Bytes.empty());
}

TEST_F(LoadSRecordFile, CountOfZeroEndsTheLoad) {
  const std::string path = WriteText("zero.hex", Lines({S1(0x100, {1}), "S200", S1(0x200, {2})}));
  EXPECT_EQ(driver.LoadSRecordFile(path), kOk);
  EXPECT_EQ(driver.Writes.size(), 1u);
}

TEST_F(LoadSRecordFile, DamagedFilesWriteNothingAtAll) {
  std::string badSum = S1(0x300, Counting(8));
  badSum.back() = badSum.back() == 'F' ? 'E' : 'F';
  const std::vector<std::string> damaged = {
      Lines({S1(0x100, {1}), S1(0x200, {2}), badSum}),            // checksum in the last record
      Lines({S1(0x100, {1}), "", S1(0x200, {2})}),                 // blank line between records
      Lines({S1(0x100, {1}), "S1020000FD"}),                       // count 2
      Lines({S1(0x100, {1}), Intel(0x04, 0, {0, 1}) + "FF"}),      // data after the checksum
      Lines({Intel(0, 0x100, {1}), Intel(0x07, 0, {})}),           // unknown record type
  };
  for (const auto& text : damaged) {
    driver.Writes.clear();
    report.Percents.clear();
    EXPECT_EQ(driver.LoadSRecordFile(WriteText("bad.hex", text)), kFileDamaged) << text;
    EXPECT_EQ(link.LastResult, kFileDamaged);
    EXPECT_TRUE(driver.Writes.empty()) << text;
    EXPECT_TRUE(report.Percents.empty()) << "no progress shown for a refused file";
  }
}

TEST_F(LoadSRecordFile, ProgressFollowsTheFilePosition) {
  const std::string line = S1(0x100, Counting(16));
  const std::string path = WriteText("p.hex", Lines({line, line, line, line}));
  EXPECT_EQ(driver.LoadSRecordFile(path), kOk);
  EXPECT_EQ(report.Percents, (std::vector<int32_t>{0, 25, 50, 75, 100, 100}));
}

TEST_F(LoadSRecordFile, DriverFailureStopsAtThatRecord) {
  const std::string path = WriteText("f.hex", Lines({S1(0x100, {1}), S1(0x200, {2}), S1(0x300, {3})}));
  driver.FailAtCall = 2;
  driver.FailWith = kFlashWriteFailed;
  const int openBefore = OpenFileCount();
  EXPECT_EQ(driver.LoadSRecordFile(path), kFlashWriteFailed);
  EXPECT_EQ(link.LastResult, kFlashWriteFailed);
  EXPECT_EQ(driver.Writes.size(), 2u);
  EXPECT_TRUE(FileIsClosed(path, openBefore));
}

TEST_F(LoadSRecordFile, AbortBetweenRecordsEndsWith42AndClosesTheFile) {
  const std::string path = WriteText("a.hex", Lines({S1(0x100, Counting(40)), S1(0x200, {2}), S1(0x300, {3})}));
  driver.AbortAtCall = 1;  // during the first of the two writes of the first record
  const int openBefore = OpenFileCount();
  EXPECT_EQ(driver.LoadSRecordFile(path), kAborted);
  EXPECT_EQ(link.LastResult, kAborted);
  EXPECT_EQ(driver.Writes.size(), 2u) << "a record is finished before the abort is taken";
  EXPECT_TRUE(FileIsClosed(path, openBefore));
}

TEST_F(LoadSRecordFile, UnopenableFileSendsNothing) {
  EXPECT_EQ(driver.LoadSRecordFile(PathOf("absent.hex")), kFileOpenFailed);
  EXPECT_EQ(link.LastResult, kFileOpenFailed);
  EXPECT_TRUE(driver.Writes.empty());
}

}  // namespace
}  // namespace quillorn::test
