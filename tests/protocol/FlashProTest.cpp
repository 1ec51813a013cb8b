// The memory driver's frames and replies, byte for byte.
#include <algorithm>

#include "tests/protocol/LinkFixture.hpp"

namespace quillorn::test {
namespace {

class FlashProTest : public LinkTest {
 protected:
  void SetUp() override {
    OpenLink();
    link.MemorySpace = 2;
  }

  // One write of a single byte in the current space against a scripted reply.
  ResultCode WriteAgainst(std::vector<uint8_t> reply) {
    line.pending.clear();
    line.replies = {std::move(reply)};
    const uint8_t data = 0x5A;
    return flash.WriteOnce(0x1234, &data, 1);
  }

  std::vector<uint8_t> Sequence(uint8_t first, size_t count) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(first + i);
    return bytes;
  }
};

TEST_F(FlashProTest, FinishGoesOutByteByByteAndReadsNoReply) {
  line.Reply(ReplyFrame({0x9A}));
  EXPECT_EQ(flash.Finish(), kOk);
  EXPECT_EQ(line.written, Bytes({0x46, 0x56, 0x9A, 0xCA}));
  EXPECT_EQ(line.writeSizes, (Constants{1, 1, 1, 1}));
  EXPECT_EQ(line.replies.size(), 1u) << "the reply must stay unread";

  line.ForgetRecords();
  line.echoOf = [](uint8_t byte) { return byte == 0x9A ? uint8_t{0} : byte; };
  EXPECT_EQ(flash.Finish(), kNoProgrammer);
  EXPECT_EQ(line.written, Bytes({0x46, 0x56, 0x9A})) << "nothing after a failed echo";

  ASSERT_EQ(flash.Close(), kOk);
  line.ForgetRecords();
  EXPECT_EQ(flash.Finish(), kNoPort);
  EXPECT_TRUE(line.written.empty());
}

TEST_F(FlashProTest, ReadSendsOneFrameAndCopiesTheData) {
  const std::vector<uint8_t> data = Sequence(0xA0, 16);
  std::vector<uint8_t> payload{0x93};
  for (uint8_t byte : data) payload.push_back(byte);
  const std::vector<uint8_t> reply = ReplyFrame(payload);
  ASSERT_EQ(std::vector<uint8_t>(reply.begin(), reply.begin() + 3), Bytes({0x50, 0x66, 0x93}));
  line.Reply(reply);

  uint8_t buffer[16] = {};
  EXPECT_EQ(flash.ReadBlock(0x6020, buffer, 16), kOk);
  EXPECT_EQ(line.written, Bytes({0x46, 0x5A, 0x93, 0x00, 0x20, 0x60, 0x10, 0x3D}));
  EXPECT_EQ(line.writeSizes, Constants{8});
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 16), data);
}

TEST_F(FlashProTest, ReadFramesCarryTheBankOnlyInSpacesOneAndTwo) {
  uint8_t byte = 0;
  link.BankByte = 17;
  line.Reply(ReplyFrame({0x93, 0x77}));
  EXPECT_EQ(flash.ReadBlock(0, &byte, 1), kOk);
  EXPECT_EQ(line.written, Bytes({0x46, 0x5A, 0x93, 0x11, 0x00, 0x00, 0x01, 0xBB}));
  EXPECT_EQ(byte, 0x77);

  line.ForgetRecords();
  link.MemorySpace = 3;
  line.Reply(ReplyFrame({0x98, 0x66}));
  EXPECT_EQ(flash.ReadBlock(0x01FF, &byte, 1), kOk);
  EXPECT_EQ(line.written, Bytes({0x46, 0x59, 0x98, 0xFF, 0x01, 0x01, 0xC8}));

  line.ForgetRecords();
  link.MemorySpace = 1;
  line.Reply(ReplyFrame({0x9E, 0x55}));
  EXPECT_EQ(flash.ReadBlock(0xF400, &byte, 1), kOk);
  EXPECT_EQ(line.written[2], 0x9E);
  EXPECT_EQ(line.written[3], 17);
}

TEST_F(FlashProTest, WriteFramesCarryTheBankOnlyInSpacesOneAndTwo) {
  const auto data = Bytes({0xAA, 0xBB});
  link.MemorySpace = 3;
  line.Reply(ReplyFrame({0x97, 0x01}));
  EXPECT_EQ(flash.WriteBlock(0x0102, data.data(), 2), kOk);
  EXPECT_EQ(line.written, Bytes({0x46, 0x5B, 0x97, 0x02, 0x01, 0x02, 0xAA, 0xBB, 0x5E}));
  EXPECT_EQ(line.writeSizes, Constants{9});

  line.ForgetRecords();
  link.MemorySpace = 1;
  link.BankByte = 3;
  line.Reply(ReplyFrame({0x95, 0x01}));
  EXPECT_EQ(flash.WriteBlock(0x6020, data.data(), 2), kOk);
  EXPECT_EQ(line.written, Bytes({0x46, 0x5C, 0x95, 0x03, 0x20, 0x60, 0x02, 0xAA, 0xBB, 0xDF}));
}

TEST_F(FlashProTest, WriteRepliesShortOrLongDecideByTheirStatusByte) {
  EXPECT_EQ(WriteAgainst(Bytes({0x50, 0x57, 0x92, 0x01, 0xC6})), kOk);
  EXPECT_EQ(WriteAgainst(ReplyFrame({0x92, 0x01, 0x00, 0x00, 0x00, 0x00})), kOk);
  EXPECT_EQ(WriteAgainst(ReplyFrame({0x92, 0x00})), kFlashWriteFailed);
  EXPECT_EQ(WriteAgainst(ReplyFrame({0x92, 0x00, 0x00, 0x34, 0x12, 0x5A})), kFlashWriteFailed);
  link.MemorySpace = 3;
  EXPECT_EQ(WriteAgainst(ReplyFrame({0x97, 0x00})), kMemoryWriteFailed);
  link.MemorySpace = 1;
  EXPECT_EQ(WriteAgainst(ReplyFrame({0x95, 0x00})), kMemoryWriteFailed);
}

TEST_F(FlashProTest, RepliesAreJudgedByPrefixLengthChecksumAndCommandInThatOrder) {
  std::vector<uint8_t> wrongPrefix = ReplyFrame({0x92, 0x01});
  wrongPrefix[0] = 'Q';
  EXPECT_EQ(WriteAgainst(wrongPrefix), kBadPrefix);
  EXPECT_EQ(WriteAgainst(Bytes({0x50, 0x54, 0x92, 0x01, 0x00})), kBadLength);
  EXPECT_EQ(WriteAgainst(ReplyFrame({0x92, 0x01, 0x00})), kBadLength) << "L = 3";

  std::vector<uint8_t> badSumAndCommand = ReplyFrame({0x93, 0x01});
  badSumAndCommand.back() ^= 0x01;
  EXPECT_EQ(WriteAgainst(badSumAndCommand), kBadChecksum);
  EXPECT_EQ(WriteAgainst(ReplyFrame({0x93, 0x01})), kWrongCommand);
  EXPECT_EQ(WriteAgainst(Bytes({0x50, 0x57, 0x92})), kTimeout);
  EXPECT_EQ(WriteAgainst({}), kTimeout);

  uint8_t buffer[16];
  line.pending.clear();
  std::vector<uint8_t> shortRead(16, 0x00);
  shortRead[0] = 0x93;
  line.Reply(ReplyFrame(shortRead));
  EXPECT_EQ(flash.ReadOnce(0, buffer, 16), kBadLength) << "L must be count + 1";
}

// The erase request leaves in one write, so an adapter's echo delay cannot space its bytes
// out; every echo is still compared, and a wrong or missing one ends with 33 before any reply
// is read.
TEST_F(FlashProTest, EraseGoesOutInOneWriteAndChecksEveryEcho) {
  line.Reply(Bytes({0x50, 0x59, 0x90, 0x14, 0x00, 0x14, 0x9F}));
  EXPECT_EQ(flash.EraseFlash(20, 0x14), kOk);
  EXPECT_EQ(line.written, Bytes({0x46, 0x59, 0x90, 0x14, 0x00, 0x14, 0xA9}));
  EXPECT_EQ(line.writeSizes, Constants{7});
  EXPECT_EQ(flash.LastEraseWord, 20);

  line.ForgetRecords();
  line.Reply(ReplyFrame({0x90, 0x14, 0x00, 0x14}));
  line.echoOf = [](uint8_t byte) { return byte == 0x14 ? uint8_t{0x15} : byte; };
  EXPECT_EQ(flash.EraseFlash(20, 0x14), kNoProgrammer) << "a changed echo";
  EXPECT_EQ(line.replies.size(), 1u) << "no reply is read after a bad echo";

  line.ForgetRecords();
  line.pending.clear();
  line.replies.clear();
  line.echoOf = [](uint8_t byte) { return byte; };
  line.echo = false;
  EXPECT_EQ(flash.EraseFlash(20, 0x14), kNoProgrammer) << "no echo at all";
}

TEST_F(FlashProTest, EraseRepliesMustRepeatTheParameters) {
  line.Reply(ReplyFrame({0x90, 0x15, 0x00, 0x14}));
  EXPECT_EQ(flash.EraseFlash(20, 0x14), kEraseWordMismatch);
  line.Reply(ReplyFrame({0x90, 0x14, 0x01, 0x14}));
  EXPECT_EQ(flash.EraseFlash(20, 0x14), kEraseWordMismatch) << "the high byte counts too";
  line.Reply(ReplyFrame({0x90, 0x14, 0x00, 0x94}));
  EXPECT_EQ(flash.EraseFlash(20, 0x14), kEraseByteMismatch);
  line.Reply(ReplyFrame({0x90, 0x14, 0x00, 0x14, 0x00}));
  EXPECT_EQ(flash.EraseFlash(20, 0x14), kBadLength);
}

TEST_F(FlashProTest, EraseStatusFailsWhenTheStatusWordIsTheEraseWord) {
  line.Reply(ReplyFrame({0x90, 0x14, 0x00, 0x14}));
  ASSERT_EQ(flash.EraseFlash(20, 0x14), kOk);
  line.ForgetRecords();
  line.Reply(ReplyFrame({0x91, 0x14, 0x00, 0x00, 0x00}));
  EXPECT_EQ(flash.EraseStatus(), kEraseFailed);
  EXPECT_EQ(line.written, Bytes({0x46, 0x56, 0x91, 0xD3}));
  EXPECT_EQ(line.writeSizes, Constants{4});

  line.Reply(ReplyFrame({0x91, 0x14, 0x01, 0x00, 0x00}));
  EXPECT_EQ(flash.EraseStatus(), kOk);
  line.Reply(ReplyFrame({0x91, 0x14, 0x00, 0x00}));
  EXPECT_EQ(flash.EraseStatus(), kBadLength);

  TFlashPro fresh(link);  // no erase request yet: the word to compare is 256
  line.pending.clear();
  line.Reply(ReplyFrame({0x91, 0x00, 0x01, 0x00, 0x00}));
  EXPECT_EQ(fresh.EraseStatus(), kEraseFailed);
}

TEST_F(FlashProTest, RequestsForAMemorySpaceWithoutACommandAreNotSent) {
  uint8_t buffer[4] = {};
  link.MemorySpace = 3;
  EXPECT_EQ(flash.EraseStatus(), kEraseWrongSpace);
  link.MemorySpace = 4;
  EXPECT_EQ(flash.WriteOnce(0, buffer, 4), kBadMemorySpace);
  EXPECT_EQ(flash.ReadOnce(0, buffer, 4), kCannotRead);
  link.MemorySpace = 0;
  EXPECT_EQ(flash.WriteOnce(0, buffer, 4), kBadMemorySpace);
  EXPECT_EQ(flash.ReadOnce(0, buffer, 4), kCannotRead);
  EXPECT_TRUE(line.written.empty());
}

TEST_F(FlashProTest, RequestsBeyondTheLengthByteAreRefusedUnsent) {
  const std::vector<uint8_t> data(170, 0x00);
  EXPECT_EQ(flash.WriteOnce(0, data.data(), 166), kBadLength);
  link.MemorySpace = 3;
  EXPECT_EQ(flash.WriteOnce(0, data.data(), 167), kBadLength);
  uint8_t buffer[170];
  EXPECT_EQ(flash.ReadOnce(0, buffer, 170), kBadLength);
  EXPECT_TRUE(line.written.empty());

  // The longest ones still fit the length byte.
  line.Reply(ReplyFrame({0x97, 0x01}));
  EXPECT_EQ(flash.WriteOnce(0, data.data(), 166), kOk);
  EXPECT_EQ(line.written[1], 0xFF);
  link.MemorySpace = 2;
  line.ForgetRecords();
  line.Reply(ReplyFrame({0x92, 0x01}));
  EXPECT_EQ(flash.WriteOnce(0, data.data(), 165), kOk);
  EXPECT_EQ(line.written[1], 0xFF);
  std::vector<uint8_t> longRead(170, 0x42);
  longRead[0] = 0x93;
  line.Reply(ReplyFrame(longRead));
  EXPECT_EQ(flash.ReadOnce(0, buffer, 169), kOk);
  EXPECT_EQ(buffer[168], 0x42);
}

TEST_F(FlashProTest, WriteAndReadRetryWholeRequests) {
  const uint8_t data = 0x5A;
  link.RetryCount = 3;
  for (int i = 0; i < 3; ++i) line.Reply(ReplyFrame({0x92, 0x00}));
  EXPECT_EQ(flash.WriteBlock(0x10, &data, 1), kFlashWriteFailed);
  EXPECT_EQ(line.writeSizes, (Constants{9, 9, 9}));

  line.ForgetRecords();
  std::vector<uint8_t> corrupt = ReplyFrame({0x92, 0x01});
  corrupt.back() ^= 0xFF;
  line.replies = {corrupt, ReplyFrame({0x92, 0x01})};
  EXPECT_EQ(flash.WriteBlock(0x10, &data, 1), kOk);
  EXPECT_EQ(line.writeSizes.size(), 2u);

  line.ForgetRecords();
  uint8_t byte = 0;
  line.replies = {{}, ReplyFrame({0x93, 0x99})};  // the first attempt times out
  EXPECT_EQ(flash.ReadBlock(0, &byte, 1), kOk);
  EXPECT_EQ(byte, 0x99);
  EXPECT_EQ(line.writeSizes.size(), 2u);
}

TEST_F(FlashProTest, AnEepromReadAnsweredWithoutDataFailsAtOnce) {
  uint8_t buffer[16] = {};
  link.RetryCount = 10;
  link.MemorySpace = 3;
  line.Reply(ReplyFrame({0x98}));
  EXPECT_EQ(flash.ReadBlock(0x0010, buffer, 16), kEepromNoAnswer);
  EXPECT_EQ(line.writeSizes.size(), 1u) << "a silent EEPROM is not asked again";

  // The short answer is judged like any other first: a damaged one is a line fault, retried.
  line.ForgetRecords();
  std::vector<uint8_t> damaged = ReplyFrame({0x98});
  damaged.back() ^= 0x01;
  line.replies = {damaged, ReplyFrame({0x98})};
  EXPECT_EQ(flash.ReadBlock(0x0010, buffer, 16), kEepromNoAnswer);
  EXPECT_EQ(line.writeSizes.size(), 2u);

  // Only the EEPROM answers this way; in flash space the length is simply wrong.
  link.RetryCount = 1;
  link.MemorySpace = 2;
  line.Reply(ReplyFrame({0x93}));
  EXPECT_EQ(flash.ReadBlock(0x0010, buffer, 16), kBadLength);
}

TEST_F(FlashProTest, RangeChecksumSendsItsFrameAndTakesTheSumFromTheMatchingReply) {
  uint16_t checksum = 0;
  link.BankByte = 1;
  line.Reply(Bytes({0x50, 0x5D, 0x99, 0x01, 0x00, 0x10, 0x09, 0x00, 0xB1, 0x29, 0xC6}));
  EXPECT_EQ(flash.RangeChecksum(0x11000, 9, checksum), kOk);
  EXPECT_EQ(line.written, Bytes({0x46, 0x5B, 0x99, 0x01, 0x00, 0x10, 0x09, 0x00, 0xAC}));
  EXPECT_EQ(checksum, 0x29B1);

  // A whole page goes out with count 0; the reply may take the computation's time, and the
  // timeout is back as it was afterwards.
  line.ForgetRecords();
  link.BankByte = 0;
  link.RetryCount = 3;
  flash.SetReplyTimeout(500);
  line.replies = {ReplyFrame({0x99, 0x00, 0x00, 0x00, 0x00, 0x01, 0x34, 0x12}),  // another range
                  ReplyFrame({0x99, 0x00, 0x00, 0x00, 0x00, 0x00, 0x34, 0x12})};
  EXPECT_EQ(flash.RangeChecksum(0, 0x10000, checksum), kOk);
  EXPECT_EQ(checksum, 0x1234);
  EXPECT_EQ(line.writeSizes.size(), 2u) << "a reply for another range is retried";
  EXPECT_EQ(std::vector<uint8_t>(line.written.begin() + 6, line.written.begin() + 8), Bytes({0x00, 0x00}));
  const Constants constants = ReadConstants();
  EXPECT_EQ(*std::max_element(constants.begin(), constants.end()), 1000u) << "waited in one-second slices";
  EXPECT_EQ(link.ReplyTimeout, 500u);

  // Ranges that no request can say, and other spaces, are refused unsent.
  line.ForgetRecords();
  const struct {
    uint8_t space;
    uint32_t address;
    uint32_t count;
    ResultCode result;
  } refused[] = {{2, 0, 0, kBadLength}, {2, 0x10001, 0x10000, kBadLength}, {2, 0xFFF0, 0x11, kBadLength},
                 {3, 0, 16, kCannotRead}, {1, 0, 16, kCannotRead}};
  for (const auto& r : refused) {
    link.MemorySpace = r.space;
    EXPECT_EQ(flash.RangeChecksum(r.address, r.count, checksum), r.result) << r.address << " " << r.count;
  }
  EXPECT_TRUE(line.written.empty());
}

TEST_F(FlashProTest, NoAttemptsLeaveTheLastResultAsItStands) {
  const uint8_t data = 0;
  uint8_t byte = 0;
  link.RetryCount = 0;
  link.LastResult = kTimeout;
  EXPECT_EQ(flash.WriteBlock(0, &data, 1), kTimeout);
  EXPECT_EQ(flash.ReadBlock(0, &byte, 1), kTimeout);
  link.LastResult = kOk;
  EXPECT_EQ(flash.ReadBlock(0, &byte, 1), kOk);
  EXPECT_TRUE(line.written.empty());
}

}  // namespace
}  // namespace quillorn::test
