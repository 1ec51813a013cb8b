// The link primitives against a scripted line: echo handling, timeout slicing, cancellation,
// the sticky port failure, and the transmit-empty wait.
#include "tests/protocol/LinkFixture.hpp"

namespace quillorn::test {
namespace {



void PostAbortDuringRead(TFakeLine& line, size_t readIndex) {
  line.duringRead = [readIndex](size_t index) {
    if (index == readIndex) ThisThreadAbortMailbox().Post();
  };
}

// --- echo handling ---

TEST_F(LinkTest, SendByteAcceptsOnlyItsOwnEcho) {
  OpenLink();
  EXPECT_EQ(base.SendByte(0xA5), kOk);
  EXPECT_EQ(line.written, Bytes({0xA5}));
  EXPECT_EQ(line.eventMasks, Constants{kEvTxEmpty});
  EXPECT_TRUE(line.pending.empty()) << "the echo must be consumed";

  line.echoOf = [](uint8_t byte) { return static_cast<uint8_t>(byte ^ 0x01); };
  EXPECT_EQ(base.SendByte(0xA5), kNoProgrammer);
  EXPECT_EQ(link.LastResult, kNoProgrammer);

  line.echo = false;
  EXPECT_EQ(base.SendByte(0xA5), kNoProgrammer) << "a missing echo is an absent programmer, not a timeout";
}

TEST_F(LinkTest, SendByteTurnsACancelledEchoWaitIntoAMissingProgrammer) {
  OpenLink();
  base.SetReplyTimeout(2000);
  line.echo = false;
  PostAbortDuringRead(line, 0);
  EXPECT_EQ(base.SendByte(0x00), kNoProgrammer);
  EXPECT_EQ(line.reads.size(), 1u);
  EXPECT_EQ(link.ReplyTimeout, 2000u);
}

TEST_F(LinkTest, SendBlockSwallowsAnyEchoButNeedsAllOfIt) {
  OpenLink();
  const auto data = Bytes({1, 2, 3, 4});
  line.echoOf = [](uint8_t) { return uint8_t{0}; };
  EXPECT_EQ(base.SendBlock(data.data(), 4), kOk);
  EXPECT_EQ(line.written, data);
  EXPECT_EQ(line.writeSizes, Constants{4}) << "one write for the whole block";
  EXPECT_TRUE(line.pending.empty());

  line.echo = false;
  EXPECT_EQ(base.SendBlock(data.data(), 4), kTimeout);
  line.echo = true;
  line.shortWrite = true;
  EXPECT_EQ(base.SendBlock(data.data(), 4), kWriteFailed);
}

TEST_F(LinkTest, SendBlockWaitsTenBitTimesPerBytePlusFourMsForTheEcho) {
  OpenLink(38400);
  base.SetReplyTimeout(500);
  line.ForgetRecords();
  const std::vector<uint8_t> frame(25, 0x11);
  ASSERT_EQ(base.SendBlock(frame.data(), 25), kOk);
  EXPECT_EQ(ReadConstants(), Constants{10});  // 250 div 38 + 4
  EXPECT_EQ(line.current.ReadTotalTimeoutConstant, 500u);
  EXPECT_EQ(link.ReplyTimeout, 500u);
}

TEST_F(LinkTest, BelowOneKilobitTheEchoWaitIsTheRealWireTime) {
  OpenLink(300);
  const std::vector<uint8_t> frame(25, 0x11);
  ASSERT_EQ(base.SendBlock(frame.data(), 25), kOk);
  EXPECT_EQ(ReadConstants(), Constants{921});  // 275 bits at 300 bit/s, rounded up, + 4
  EXPECT_EQ(TProtocol::EchoTimeoutMs(1, 999), 16u);
  EXPECT_GT(TProtocol::EchoTimeoutMs(25, 0), 250u) << "no rate at all must not mean no wait";
}

// --- the transmit-empty wait ---

TEST_F(LinkTest, TheTransmitWaitPassesOtherEventsTrustsAnEmptyMaskAndEnds) {
  OpenLink();
  line.waitMasks = {kEvRxChar, kEvCts, kEvTxEmpty};
  EXPECT_EQ(base.SendByte(0x42), kOk);
  EXPECT_EQ(line.waits, 3u);

  line.waits = 0;
  line.waitMasks = {0};
  EXPECT_EQ(base.SendByte(0x42), kOk) << "mask 0: the driver cannot tell";
  EXPECT_EQ(line.waits, 1u);

  line.waits = 0;
  line.waitMasks = std::deque<uint32_t>(1000, kEvRxChar);
  EXPECT_EQ(base.SendByte(0x42), kOk);
  EXPECT_LT(line.waits, 100u) << "a driver that never reports EV_TXEMPTY must not hang the send";
}

TEST_F(LinkTest, PortFaultsWhileSendingEndTheSend) {
  OpenLink();
  base.SetReplyTimeout(700);
  const auto data = Bytes({7, 8, 9});

  line.failWaitEvent = true;
  EXPECT_EQ(base.SendByte(1), kNoProgrammer);
  EXPECT_EQ(base.SendBlock(data.data(), 3), kNoProgrammer);
  EXPECT_EQ(link.ReplyTimeout, 700u);
  EXPECT_EQ(line.current.ReadTotalTimeoutConstant, 700u);
  line.failWaitEvent = false;

  line.pending.clear();
  line.shortWrite = true;
  EXPECT_EQ(base.SendBlock(data.data(), 3), kWriteFailed);
  line.shortWrite = false;

  line.failWrite = true;
  EXPECT_EQ(base.SendByte(1), kWriteFailed);
  EXPECT_EQ(base.SendBlock(data.data(), 3), kWriteFailed);
  line.failWrite = false;

  line.ForgetRecords();
  line.failEventMask = true;
  EXPECT_EQ(base.SendByte(1), kNoProgrammer);
  EXPECT_EQ(base.SendBlock(data.data(), 3), kNoProgrammer);
  EXPECT_TRUE(line.written.empty());
}

// --- timeout slicing and cancellation ---

TEST_F(LinkTest, AWaitUnderOneSecondIsOneReadThatCannotBeCancelled) {
  OpenLink();
  base.SetReplyTimeout(300);
  line.ForgetRecords();
  ThisThreadAbortMailbox().Post();
  uint8_t byte = 0;
  EXPECT_EQ(base.ReceiveByte(byte), kTimeout);
  uint8_t buffer[4];
  uint32_t received = 99;
  EXPECT_EQ(base.ReceiveBlock(buffer, 4, received), kTimeout);
  EXPECT_EQ(received, 0u);
  EXPECT_EQ(ReadConstants(), (Constants{300, 300}));
  EXPECT_TRUE(line.timeoutsSet.empty()) << "no slicing, so no timeout changes";
  EXPECT_TRUE(ThisThreadAbortMailbox().IsPosted()) << "nobody looked";
}

TEST_F(LinkTest, ReceiveByteWaitsInSecondsAndLooksForAnAbortAfterTheLoopSlicesOnly) {
  OpenLink();
  base.SetReplyTimeout(2500);
  line.ForgetRecords();
  PostAbortDuringRead(line, 2);  // during the slice after the loop
  uint8_t byte = 0;
  EXPECT_EQ(base.ReceiveByte(byte), kTimeout);
  EXPECT_EQ(ReadConstants(), (Constants{1000, 1000, 1000}));
  EXPECT_EQ(line.current.ReadTotalTimeoutConstant, 2500u);
  EXPECT_EQ(link.ReplyTimeout, 2500u);
  EXPECT_TRUE(ThisThreadAbortMailbox().IsPosted());
}

TEST_F(LinkTest, ReceiveByteSlicingStopsAtTheFirstByte) {
  OpenLink();
  base.SetReplyTimeout(3000);
  line.replies = {{}, {0x5A}};
  line.ForgetRecords();
  uint8_t byte = 0;
  EXPECT_EQ(base.ReceiveByte(byte), kOk);
  EXPECT_EQ(byte, 0x5A);
  EXPECT_EQ(line.reads.size(), 2u);
}

TEST_F(LinkTest, AnAbortEndsAWaitWith42AndRestoresTheReplyTimeout) {
  OpenLink();
  base.SetReplyTimeout(2500);
  line.ForgetRecords();
  uint8_t byte = 0;
  PostAbortDuringRead(line, 1);
  EXPECT_EQ(base.ReceiveByte(byte), kAborted);
  EXPECT_EQ(line.reads.size(), 2u);
  EXPECT_EQ(line.current.ReadTotalTimeoutConstant, 2500u);
  EXPECT_EQ(link.ReplyTimeout, 2500u);
  EXPECT_FALSE(ThisThreadAbortMailbox().IsPosted()) << "looking consumes the abort";

  line.ForgetRecords();
  line.Reply({0x55});
  PostAbortDuringRead(line, 0);
  EXPECT_EQ(base.ReceiveByte(byte), kAborted) << "even when the byte of that slice arrived";

  line.ForgetRecords();
  line.pending.clear();
  uint8_t buffer[8];
  uint32_t received = 0;
  PostAbortDuringRead(line, 0);
  EXPECT_EQ(base.ReceiveBlock(buffer, 8, received), kAborted);
  EXPECT_EQ(line.reads.size(), 1u);
  EXPECT_EQ(link.ReplyTimeout, 2500u);
  EXPECT_EQ(line.current.ReadTotalTimeoutConstant, 2500u);
}

TEST_F(LinkTest, ReceiveBlockWaitsInSecondsThenTheRemainder) {
  OpenLink();
  uint8_t buffer[8];
  uint32_t received = 0;

  base.SetReplyTimeout(2500);
  line.ForgetRecords();
  EXPECT_EQ(base.ReceiveBlock(buffer, 8, received), kTimeout);
  EXPECT_EQ(ReadConstants(), (Constants{1000, 1000, 500}));
  EXPECT_EQ(line.current.ReadTotalTimeoutConstant, 2500u);

  base.SetReplyTimeout(2000);
  line.ForgetRecords();
  EXPECT_EQ(base.ReceiveBlock(buffer, 8, received), kTimeout);
  EXPECT_EQ(ReadConstants(), (Constants{1000, 1000, 1000}));
  EXPECT_EQ(link.ReplyTimeout, 2000u);
}

TEST_F(LinkTest, ReceiveBlockGathersPiecesAndNeedsAtLeastOneByte) {
  OpenLink();
  base.SetReplyTimeout(2500);
  line.replies = {Bytes({1, 2}), Bytes({3}), Bytes({4})};
  uint8_t buffer[4] = {};
  uint32_t received = 0;
  EXPECT_EQ(base.ReceiveBlock(buffer, 4, received), kOk);
  EXPECT_EQ(received, 4u);
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 4), Bytes({1, 2, 3, 4}));

  line.replies = {Bytes({1, 2})};
  EXPECT_EQ(base.ReceiveBlock(buffer, 4, received), kTimeout);
  EXPECT_EQ(received, 2u);

  EXPECT_EQ(base.ReceiveBlock(buffer, 0, received), kTimeout);
}

// --- the sticky port failure ---

TEST_F(LinkTest, AfterAPortFailureEveryPrimitiveEnds6WithoutTouchingThePort) {
  OpenLink();
  link.LastResult = kNoPort;
  uint8_t byte = 0, buffer[2];
  uint32_t received = 0;
  EXPECT_EQ(base.SendByte(1), kNoPort);
  EXPECT_EQ(base.SendBlock(buffer, 2), kNoPort);
  EXPECT_EQ(base.ReceiveByte(byte), kNoPort);
  EXPECT_EQ(base.ReceiveBlock(buffer, 2, received), kNoPort);
  EXPECT_TRUE(line.written.empty());
  EXPECT_TRUE(line.reads.empty());
  EXPECT_TRUE(line.timeoutsSet.empty());
  EXPECT_TRUE(line.eventMasks.empty());

  EXPECT_EQ(base.Open(kMissingPort, 38400, 0, 1, 8), kNoPort);
  EXPECT_EQ(link.SharedPort, nullptr);
  EXPECT_EQ(base.SendByte(1), kNoPort);
  EXPECT_EQ(base.ReceiveByte(byte), kNoPort);

  ASSERT_EQ(base.Open(kPort, 38400, 0, 1, 8), kOk);
  EXPECT_EQ(base.SendByte(1), kOk) << "a successful Open clears the failure";
}

}  // namespace
}  // namespace quillorn::test
