// Opening, reopening and closing the shared port, the line helpers, and the driver lifetime.
#include "tests/protocol/LinkFixture.hpp"

#include "protocol/KW2000Pro.hpp"

namespace quillorn::test {
namespace {

TEST_F(LinkTest, OpenHandsThePortTheMappedLineCodes) {
  ASSERT_EQ(base.Open(kPort, 38400, 0, 1, 8), kOk);
  TDcb dcb = line.statesApplied.back();
  EXPECT_EQ(dcb.BaudRate, 38400u);
  EXPECT_EQ(dcb.ByteSize, 8);
  EXPECT_EQ(dcb.Parity, kNoParity);
  EXPECT_EQ(dcb.StopBits, kTwoStopBits) << "the callers' 1 means two stop bits";

  ASSERT_EQ(base.Open(kPort, 9600, 0, 0, 8), kOk);
  EXPECT_EQ(line.statesApplied.back().StopBits, kOneStopBit);

  ASSERT_EQ(base.Open(kPort, 10400, 2, 2, 8), kOk);
  EXPECT_EQ(line.statesApplied.back().Parity, kMarkParity);
  EXPECT_EQ(line.statesApplied.back().StopBits, kTwoStopBits);
  // The values as given are what Reopen and the echo timing use.
  EXPECT_EQ(link.SavedPortNumber, kPort);
  EXPECT_EQ(link.LinkBaud, 10400);
  EXPECT_EQ(link.SavedParity, 2);
  EXPECT_EQ(link.SavedStopBits, 2);
  EXPECT_EQ(link.SavedDataBits, 8);
}

TEST_F(LinkTest, OpenEmptiesTheReceiveBufferUnderAShortTimeoutThenRestoresIt) {
  base.SetReplyTimeout(500);
  line.pending = {0xEE, 0xEE};
  ASSERT_EQ(base.Open(kPort, 38400, 0, 1, 8), kOk);
  EXPECT_EQ(line.purges, Constants{kPurgeRxClear});
  EXPECT_TRUE(line.pending.empty());
  ASSERT_EQ(line.timeoutsSet.size(), 2u);
  const TCommTimeouts& flush = line.timeoutsSet[0];
  EXPECT_EQ(flush.ReadTotalTimeoutConstant, 10u);
  const TCommTimeouts& restored = line.timeoutsSet[1];
  EXPECT_EQ(restored.ReadIntervalTimeout, 200u);
  EXPECT_EQ(restored.ReadTotalTimeoutMultiplier, 100u);
  EXPECT_EQ(restored.ReadTotalTimeoutConstant, 500u);
  EXPECT_EQ(restored.WriteTotalTimeoutMultiplier, 100u);
  EXPECT_EQ(restored.WriteTotalTimeoutConstant, 500u);
  EXPECT_EQ(link.ReplyTimeout, 500u);
}

TEST_F(LinkTest, OpeningAnOpenPortAgainClosesTheOldObjectFirst) {
  ASSERT_EQ(base.Open(kPort, 38400, 0, 1, 8), kOk);
  // The fake device is exclusive like a COM port: this only succeeds if the old one is gone.
  ASSERT_EQ(flash.Open(kPort, 38400, 0, 1, 8), kOk);
  EXPECT_EQ(line.opens, 2);
  EXPECT_EQ(line.closes, 1);

  ASSERT_EQ(base.Open(kPort, 19200, 0, 1, 8), kOk);
  ASSERT_EQ(loader.Reopen(), kOk);
  EXPECT_EQ(line.opens, 4);
  EXPECT_EQ(line.statesApplied.back().BaudRate, 19200u);
  EXPECT_EQ(line.statesApplied.back().StopBits, kTwoStopBits);
}

TEST_F(LinkTest, CloseAndAFailedOpenLeaveNoPort) {
  EXPECT_EQ(base.Close(), kNoPort);
  ASSERT_EQ(base.Open(kPort, 38400, 0, 1, 8), kOk);
  EXPECT_EQ(base.Close(), kOk);
  EXPECT_EQ(line.openDevices, 0);
  EXPECT_EQ(base.Close(), kNoPort);

  ASSERT_EQ(base.Open(kPort, 38400, 0, 1, 8), kOk);
  EXPECT_EQ(base.Open(kMissingPort, 38400, 0, 1, 8), kNoPort);
  EXPECT_EQ(link.SharedPort, nullptr);
  EXPECT_EQ(line.openDevices, 0) << "the previous port is closed too";
  EXPECT_EQ(link.LastResult, kNoPort);
}

TEST_F(LinkTest, TheFirstDriverDestroyedClosesTheSharedPort) {
  {
    TKW2000Pro kwp(link);
    ASSERT_EQ(kwp.Open(kPort, 38400, 0, 1, 8), kOk);
  }
  EXPECT_EQ(link.SharedPort, nullptr);
  EXPECT_EQ(line.openDevices, 0);
}

TEST_F(LinkTest, LineHelpersDriveTheModemLinesAndIgnoreAMissingPort) {
  base.SetDtr();
  base.SetRts();
  EXPECT_TRUE(line.escapes.empty());
  OpenLink();
  base.SetDtr();
  base.ClearDtr();
  base.SetRts();
  base.ClearRts();
  EXPECT_EQ(line.escapes, (Constants{kSetDtr, kClrDtr, kSetRts, kClrRts}));
}

}  // namespace
}  // namespace quillorn::test
