#include <numeric>

#include "tests/image/ImageTestSupport.hpp"

namespace quillorn::test {
namespace {

using LoadBinaryFile = ImageTest;
using SaveToFile = ImageTest;
using SaveBanksToFile = ImageTest;

std::vector<uint8_t> Concatenated(const std::vector<TRecordedCall>& calls) {
  std::vector<uint8_t> all;
  for (const auto& call : calls) all.insert(all.end(), call.Bytes.begin(), call.Bytes.end());
  return all;
}

TEST_F(LoadBinaryFile, SendsAtMostTheLimitFromTheOffsetInBlockSizePieces) {
  const auto image = RandomBytes(70000, 1);
  const std::string path = WriteFile("page.bin", image);
  link.FileOffset = 0;
  link.FileLimit = 65536;
  link.BlockSize = 16;

  EXPECT_EQ(driver.LoadBinaryFile(path, 0), kOk);

  ASSERT_EQ(driver.Writes.size(), 4096u);
  for (size_t i = 0; i < driver.Writes.size(); ++i) {
    ASSERT_EQ(driver.Writes[i].Address, i * 16) << "block " << i;
    ASSERT_EQ(driver.Writes[i].Bytes.size(), 16u);
  }
  EXPECT_EQ(Concatenated(driver.Writes), std::vector<uint8_t>(image.begin(), image.begin() + 65536));
  EXPECT_EQ(report.Percents.back(), 100);
}

TEST_F(LoadBinaryFile, SecondPageWindowStartsAtTheOffsetAndLastBlockIsShort) {
  const auto image = RandomBytes(65536 + 100, 2);
  const std::string path = WriteFile("double.bin", image);
  link.FileOffset = 65536;
  link.FileLimit = 65536;
  link.BlockSize = 32;

  EXPECT_EQ(driver.LoadBinaryFile(path, 0x1000), kOk);

  ASSERT_EQ(driver.Writes.size(), 4u);
  const uint32_t sizes[] = {32, 32, 32, 4};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(driver.Writes[i].Address, 0x1000 + 32 * i);
    EXPECT_EQ(driver.Writes[i].Bytes.size(), sizes[i]);
  }
  EXPECT_EQ(Concatenated(driver.Writes), std::vector<uint8_t>(image.begin() + 65536, image.end()));
}

TEST_F(LoadBinaryFile, LimitCutsABlockShort) {
  const std::string path = WriteFile("eeprom.eep", RandomBytes(100, 3));
  link.FileLimit = 40;
  link.BlockSize = 16;
  EXPECT_EQ(driver.LoadBinaryFile(path, 0), kOk);
  ASSERT_EQ(driver.Writes.size(), 3u);
  EXPECT_EQ(driver.Writes[2].Bytes.size(), 8u);
  EXPECT_EQ(report.Percents, (std::vector<int32_t>{0, 40, 80, 100, 100}));
}

TEST_F(LoadBinaryFile, WindowAtOrPastTheEndSendsNothing) {
  const std::string path = WriteFile("short.bin", RandomBytes(512, 4));
  link.LastResult = kTimeout;  // left by an earlier operation; must not leak into this result
  link.FileOffset = 512;
  EXPECT_EQ(driver.LoadBinaryFile(path, 0), kOk);
  EXPECT_TRUE(driver.Writes.empty());
  EXPECT_EQ(report.Percents.back(), 100);

  report.Percents.clear();
  link.LastResult = kTimeout;
  link.FileOffset = 65536;  // the second half of a double image that holds one page only
  EXPECT_EQ(driver.LoadBinaryFile(path, 0), kOk);
  EXPECT_EQ(link.LastResult, kOk);
  EXPECT_TRUE(driver.Writes.empty());
  EXPECT_TRUE(report.Percents.empty());
}

TEST_F(LoadBinaryFile, ProgressFollowsTheBytesSent) {
  const std::string path = WriteFile("p.bin", RandomBytes(64, 5));
  EXPECT_EQ(driver.LoadBinaryFile(path, 0), kOk);
  EXPECT_EQ(report.Percents, (std::vector<int32_t>{0, 25, 50, 75, 100, 100}));
}

TEST_F(LoadBinaryFile, EmptyFileSucceedsWithoutDividingByZero) {
  const std::string path = WriteFile("empty.bin", {});
  EXPECT_EQ(driver.LoadBinaryFile(path, 0), kOk);
  EXPECT_TRUE(driver.Writes.empty());
  EXPECT_EQ(report.Percents, (std::vector<int32_t>{0, 100}));
}

TEST_F(LoadBinaryFile, MissingFileIsAnOpenFailureAndSendsNothing) {
  EXPECT_EQ(driver.LoadBinaryFile(PathOf("absent.bin"), 0), kFileOpenFailed);
  EXPECT_EQ(link.LastResult, kFileOpenFailed);
  EXPECT_EQ(driver.LoadBinaryFile(FolderPath(), 0), kFileOpenFailed) << "a folder is no image";
  EXPECT_TRUE(driver.Writes.empty());
}

TEST_F(LoadBinaryFile, FailedWriteStopsResetsProgressAndClosesTheFile) {
  const std::string path = WriteFile("f.bin", RandomBytes(160, 6));
  driver.FailAtCall = 3;
  driver.FailWith = kFlashWriteFailed;
  const int openBefore = OpenFileCount();
  EXPECT_EQ(driver.LoadBinaryFile(path, 0), kFlashWriteFailed);
  EXPECT_EQ(link.LastResult, kFlashWriteFailed);
  EXPECT_EQ(driver.Writes.size(), 3u);
  EXPECT_EQ(report.Percents.back(), 0);
  EXPECT_TRUE(FileIsClosed(path, openBefore));
}

TEST_F(LoadBinaryFile, AbortAfterABlockEndsWith42AndClosesTheFile) {
  const std::string path = WriteFile("a.bin", RandomBytes(160, 7));
  driver.AbortAtCall = 2;
  const int openBefore = OpenFileCount();
  EXPECT_EQ(driver.LoadBinaryFile(path, 0), kAborted);
  EXPECT_EQ(link.LastResult, kAborted);
  EXPECT_EQ(driver.Writes.size(), 2u);
  EXPECT_FALSE(PeekAbortMessage()) << "the abort is consumed";
  EXPECT_TRUE(FileIsClosed(path, openBefore));
}

// After the job's erase the flash holds 0xFF: all-0xFF blocks stay off the line, and nothing
// else does (a block with one other byte, the EEPROM, a flash not erased by this job).
TEST_F(LoadBinaryFile, LeavesOutBlankBlocksOnlyOnAnErasedFlash) {
  std::vector<uint8_t> image = RandomBytes(32, 4);
  image.insert(image.end(), 32, 0xFF);
  std::vector<uint8_t> almostBlank(32, 0xFF);
  almostBlank[31] = 0xFE;
  image.insert(image.end(), almostBlank.begin(), almostBlank.end());
  image.insert(image.end(), 4, 0xFF);  // a short blank tail
  const std::string path = WriteFile("sparse.bin", image);
  const struct {
    bool erased;
    uint8_t space;
    std::vector<uint32_t> addresses;
  } cases[] = {
      {true, 2, {0x100, 0x140}},
      {false, 2, {0x100, 0x120, 0x140, 0x160}},
      {true, 3, {0x100, 0x120, 0x140, 0x160}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.erased) + " space " + std::to_string(c.space));
    driver.Writes.clear();
    report.Percents.clear();
    link.BlockSize = 32;
    link.FlashErased = c.erased;
    link.MemorySpace = c.space;
    EXPECT_EQ(driver.LoadBinaryFile(path, 0x100), kOk);
    std::vector<uint32_t> addresses;
    for (const auto& write : driver.Writes) addresses.push_back(write.Address);
    EXPECT_EQ(addresses, c.addresses);
    EXPECT_EQ(report.Percents.back(), 100);
  }
}

TEST_F(SaveToFile, ReadsInPiecesOfTheReadSize) {
  link.ReadPieceSize = 32;
  const std::string path = PathOf("forty.bin");
  EXPECT_EQ(driver.SaveToFile(path, 0x100, 40), kOk);
  ASSERT_EQ(driver.Reads.size(), 2u);
  EXPECT_EQ(driver.Reads[0].Bytes.size(), 32u);
  EXPECT_EQ(driver.Reads[1].Address, 0x120u);
  EXPECT_EQ(driver.Reads[1].Bytes.size(), 8u);
  EXPECT_EQ(ReadFile(path).size(), 40u);
}

TEST_F(SaveToFile, ReadsInSixteenBytePiecesWhateverTheBlockSize) {
  link.BlockSize = 32;
  const std::string path = PathOf("twenty.bin");
  EXPECT_EQ(driver.SaveToFile(path, 0x8000, 20), kOk);
  ASSERT_EQ(driver.Reads.size(), 2u);
  EXPECT_EQ(driver.Reads[0].Address, 0x8000u);
  EXPECT_EQ(driver.Reads[0].Bytes.size(), 16u);
  EXPECT_EQ(driver.Reads[1].Address, 0x8010u);
  EXPECT_EQ(driver.Reads[1].Bytes.size(), 4u);
  std::vector<uint8_t> expected;
  for (uint32_t a = 0x8000; a < 0x8014; ++a) expected.push_back(driver.MemoryByte(0, a));
  EXPECT_EQ(ReadFile(path), expected);
}

TEST_F(SaveToFile, AppendsOrReplacesByTheFlag) {
  const auto existing = RandomBytes(512, 8);
  const std::string path = WriteFile("read.bin", existing);
  driver.AppendToFile = 1;
  EXPECT_EQ(driver.SaveToFile(path, 0, 20), kOk);
  auto grown = ReadFile(path);
  ASSERT_EQ(grown.size(), 532u);
  EXPECT_TRUE(std::equal(existing.begin(), existing.end(), grown.begin()));

  driver.AppendToFile = 0;
  EXPECT_EQ(driver.SaveToFile(path, 0, 20), kOk);
  EXPECT_EQ(ReadFile(path).size(), 20u);

  driver.AppendToFile = 1;
  const std::string fresh = PathOf("fresh.bin");
  EXPECT_EQ(driver.SaveToFile(fresh, 0, 16), kOk) << "appending creates a missing file";
  EXPECT_EQ(ReadFile(fresh).size(), 16u);
}

TEST_F(SaveToFile, ProgressAndAnEmptyRange) {
  EXPECT_EQ(driver.SaveToFile(PathOf("p.bin"), 0, 64), kOk);
  EXPECT_EQ(report.Percents, (std::vector<int32_t>{0, 25, 50, 75, 100, 100}));
  report.Percents.clear();
  EXPECT_EQ(driver.SaveToFile(PathOf("none.bin"), 0, 0), kOk);
  EXPECT_EQ(report.Percents, (std::vector<int32_t>{0, 100}));
  EXPECT_TRUE(ReadFile(PathOf("none.bin")).empty());
}

TEST_F(SaveToFile, FailedReadKeepsThePiecesBeforeAndClosesTheFile) {
  const std::string path = PathOf("partial.bin");
  driver.FailAtCall = 3;
  driver.FailWith = kTimeout;
  const int openBefore = OpenFileCount();
  EXPECT_EQ(driver.SaveToFile(path, 0, 64), kTimeout);
  EXPECT_EQ(link.LastResult, kTimeout);
  EXPECT_EQ(ReadFile(path).size(), 32u);
  EXPECT_TRUE(FileIsClosed(path, openBefore));
}

TEST_F(SaveToFile, AbortEndsWith42WithThePiecesReadSoFar) {
  const std::string path = PathOf("aborted.bin");
  driver.AbortAtCall = 2;
  const int openBefore = OpenFileCount();
  EXPECT_EQ(driver.SaveToFile(path, 0, 64), kAborted);
  EXPECT_EQ(driver.Reads.size(), 2u);
  EXPECT_EQ(ReadFile(path).size(), 32u);
  EXPECT_TRUE(FileIsClosed(path, openBefore));
}

TEST_F(SaveToFile, UncreatableFileReadsNothing) {
  EXPECT_EQ(driver.SaveToFile(PathOf("no such folder/x.bin"), 0, 16), kFileOpenFailed);
  EXPECT_EQ(link.LastResult, kFileOpenFailed);
  EXPECT_TRUE(driver.Reads.empty());
}

TEST_F(SaveToFile, CyrillicNamesWithBlanksWorkBothWays) {
  const std::string path = PathOf("Прошивка ЭБУ №1.bin");
  EXPECT_EQ(driver.SaveToFile(path, 0x100, 48), kOk);
  const auto saved = ReadFile(path);
  ASSERT_EQ(saved.size(), 48u);
  EXPECT_EQ(driver.LoadBinaryFile(path, 0x100), kOk);
  EXPECT_EQ(Concatenated(driver.Writes), saved);
}

TEST_F(SaveBanksToFile, BaseRangeThenEachBankIntoOneNewFile) {
  const std::string path = WriteFile("banks.bin", RandomBytes(1000, 9));  // replaced, not appended
  driver.AppendToFile = 1;
  EXPECT_EQ(driver.SaveBanksToFile(path, 0x40, 32, 0x100, 20, 0x10, 3), kOk);

  std::vector<uint8_t> expected;
  for (uint32_t a = 0x40; a < 0x60; ++a) expected.push_back(driver.MemoryByte(0, a));
  for (uint8_t bank = 0x10; bank < 0x13; ++bank) {
    for (uint32_t a = 0x100; a < 0x114; ++a) expected.push_back(driver.MemoryByte(bank, a));
  }
  EXPECT_EQ(ReadFile(path), expected);
  EXPECT_EQ(driver.Reads.front().Bank, 0);
  EXPECT_EQ(driver.Reads.back().Bank, 0x12);
  EXPECT_EQ(link.BankByte, 0x13);
  EXPECT_EQ(report.Percents.back(), 100);
}

TEST_F(SaveBanksToFile, RunEndingAtTheLastBankStops) {
  const std::string path = PathOf("top.bin");
  EXPECT_EQ(driver.SaveBanksToFile(path, 0, 0, 0, 16, 0xFE, 2), kOk);
  ASSERT_EQ(driver.Reads.size(), 2u);
  EXPECT_EQ(driver.Reads[0].Bank, 0xFE);
  EXPECT_EQ(driver.Reads[1].Bank, 0xFF);
}

TEST_F(SaveBanksToFile, FailureAndAbortInABank) {
  driver.FailAtCall = 4;
  driver.FailWith = kBadChecksum;
  EXPECT_EQ(driver.SaveBanksToFile(PathOf("f.bin"), 0, 16, 0, 16, 0x10, 8), kBadChecksum);
  EXPECT_EQ(driver.Reads.size(), 4u);

  driver.Reads.clear();
  driver.FailAtCall = 0;
  driver.AbortAtCall = 2;
  EXPECT_EQ(driver.SaveBanksToFile(PathOf("a.bin"), 0, 16, 0, 16, 0x10, 8), kAborted);
  EXPECT_EQ(driver.Reads.size(), 2u);
}

}  // namespace
}  // namespace quillorn::test
