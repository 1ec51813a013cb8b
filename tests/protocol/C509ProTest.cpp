// The boot-loader exchange: sync, header, data and start blocks, and the answer bytes.
#include "tests/protocol/LinkFixture.hpp"

namespace quillorn::test {
namespace {

class C509ProTest : public LinkTest {
 protected:
  void SetUp() override {
    OpenLink();
    link.MemorySpace = 1;
  }
};

TEST_F(C509ProTest, SyncSendsZeroAndExpects0x55) {
  line.Reply({0x55});
  EXPECT_EQ(loader.SyncLoader(), kOk);
  EXPECT_EQ(line.written, Bytes({0x00}));
  line.Reply({0x54});
  EXPECT_EQ(loader.SyncLoader(), kLoaderUnexpected);
  EXPECT_EQ(loader.SyncLoader(), kTimeout) << "no answer";
  line.echo = false;
  EXPECT_EQ(loader.SyncLoader(), kNoProgrammer) << "no echo";
}

TEST_F(C509ProTest, AnAcceptedLoadHeaderSetsTheBlockSize) {
  link.BlockSize = 8;
  line.Reply({0x55});
  EXPECT_EQ(loader.SendHeader(0xF400, 16), kOk);
  EXPECT_EQ(line.written, Bytes({0x00, 0x00, 0xF4, 0x00, 0xFF, 0xFF, 0x12, 0xE6}));
  EXPECT_EQ(line.writeSizes, Constants{8});
  EXPECT_EQ(link.BlockSize, 16);
}

TEST_F(C509ProTest, TheProbeHeaderCarriesAWrongChecksumOnPurpose) {
  line.Reply({0xFE});
  EXPECT_EQ(loader.SendHeader(0xF400, 0), kBadChecksum);
  EXPECT_EQ(line.written, Bytes({0x00, 0x00, 0xF4, 0x00, 0xFF, 0xFF, 0x02, 0xF7}));
  EXPECT_EQ(link.BlockSize, 16);

  // Should anything accept it, a zero block length must not become the transfer block size.
  line.Reply({0x55});
  EXPECT_EQ(loader.SendHeader(0xF400, 0), kOk);
  EXPECT_EQ(link.BlockSize, 16);
}

TEST_F(C509ProTest, StartNamesTheEntryAddress) {
  line.Reply({0x55});
  EXPECT_EQ(loader.Start(0xF420), kOk);
  EXPECT_EQ(line.written, Bytes({0x00, 0x01, 0xF4, 0x20, 0xFF, 0xFF, 0xFF, 0x2A}));
}

TEST_F(C509ProTest, DataBlocksAreAlwaysBlockSizePlusTwoBytes) {
  const auto eight = Bytes({0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17});
  line.Reply({0x55});
  EXPECT_EQ(loader.WriteBlock(0xF400, eight.data(), 8), kOk);
  EXPECT_EQ(line.written, Bytes({0x02, 0x08, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17,
                                 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xF5}));

  line.ForgetRecords();
  std::vector<uint8_t> full;
  for (int i = 0x10; i < 0x20; ++i) full.push_back(static_cast<uint8_t>(i));
  line.Reply({0x55});
  EXPECT_EQ(loader.WriteBlock(0xF408, full.data(), 16), kOk);
  std::vector<uint8_t> expected{0x01};
  for (uint8_t byte : full) expected.push_back(byte);
  expected.push_back(0x01);
  EXPECT_EQ(line.written, expected);

  line.ForgetRecords();
  line.Reply({0x55});
  EXPECT_EQ(loader.WriteBlock(0xF418, nullptr, 0), kOk);
  std::vector<uint8_t> end(18, 0xFF);
  end[0] = 0x02;
  end[1] = 0x00;
  end[17] = 0xFD;
  EXPECT_EQ(line.written, end);
}

TEST_F(C509ProTest, BlocksTheLoaderCannotTakeAreNotSent) {
  const std::vector<uint8_t> data(17, 0x00);
  EXPECT_EQ(loader.WriteBlock(0xF400, data.data(), 17), kBlockTooLong);
  link.MemorySpace = 2;
  EXPECT_EQ(loader.WriteBlock(0xF400, data.data(), 16), kBadMemorySpace);
  uint8_t buffer[1];
  EXPECT_EQ(loader.ReadBlock(0, buffer, 1), kCannotRead);
  EXPECT_TRUE(line.written.empty());
}

TEST_F(C509ProTest, AnswerBytesMapToResults) {
  const uint8_t byte = 0;
  line.Reply({0xFF});
  EXPECT_EQ(loader.WriteOnce(0, &byte, 1), kLoaderRejected);
  line.Reply({0xFE});
  EXPECT_EQ(loader.WriteOnce(0, &byte, 1), kBadChecksum);
  line.Reply({0x00});
  EXPECT_EQ(loader.WriteOnce(0, &byte, 1), kLoaderUnexpected);
  line.Reply({0x00});
  EXPECT_EQ(loader.Start(0xF420), kLoaderUnexpected);
  EXPECT_EQ(loader.WriteOnce(0, &byte, 1), kTimeout);
}

TEST_F(C509ProTest, WriteBlockRetriesTheSameBlock) {
  const uint8_t byte = 0x33;
  link.RetryCount = 3;
  line.replies = {{0xFE}, {0x55}};
  EXPECT_EQ(loader.WriteBlock(0, &byte, 1), kOk);
  ASSERT_EQ(line.writeSizes, (Constants{18, 18}));
  EXPECT_TRUE(std::equal(line.written.begin(), line.written.begin() + 18, line.written.begin() + 18));

  line.ForgetRecords();
  link.RetryCount = 0;
  link.LastResult = kLoaderRejected;
  EXPECT_EQ(loader.WriteBlock(0, &byte, 1), kLoaderRejected);
  EXPECT_TRUE(line.written.empty());
}

}  // namespace
}  // namespace quillorn::test
