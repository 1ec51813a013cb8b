// TSerialPort32 over a recording device: what reaches the device, and what the callers see.
#include <gtest/gtest.h>

#include <algorithm>

#include "FakeSerialDevice.hpp"
#include "serial/PortMap.hpp"
#include "serial/SerialPort32.hpp"

namespace quillorn::test {
namespace {

class SerialPort32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    TSerialPort32::DtrOn = false;
    TSerialPort32::RtsOn = false;
    TPortMap::Instance().SetOverride(201, "fake:a");
    TPortMap::Instance().SetOverride(202, "fake:b");
    TPortMap::Instance().SetOverride(203, "fake:busy");
    provider.Refuse("busy", kErrorAccessDenied);
    a = provider.Record("a");
    a->reported.BaudRate = 1200;
    a->reported.fOutxCtsFlow = true;
    a->reported.fInX = true;
    a->reported.fOutX = true;
    a->reported.fAbortOnError = true;
    a->reported.fParity = true;
    a->reported.EvtChar = 'x';
  }
  void TearDown() override {
    TPortMap::Instance().ClearOverrides();
    TSerialPort32::DtrOn = false;
    TSerialPort32::RtsOn = false;
  }
  size_t CallsOf(const std::string& name) const { return std::count(a->calls.begin(), a->calls.end(), name); }

  TFakeProvider provider;
  std::shared_ptr<TFakeDeviceRecord> a;
};

TEST_F(SerialPort32Test, OpensAndAppliesTheFixedLineDiscipline) {
  TSerialPort32 port("COM201", 38400, 8, kNoParity, kTwoStopBits);
  ASSERT_EQ(port.OpenError, 0);
  ASSERT_TRUE(port.Handle);
  EXPECT_FALSE(port.HandleInvalid);
  EXPECT_STREQ(port.PortName, "COM201");
  ASSERT_TRUE(port.Timeouts);
  ASSERT_EQ(a->applied.size(), 1u);
  const TDcb& dcb = a->applied.back();
  EXPECT_EQ(dcb.BaudRate, 38400u);
  EXPECT_EQ(dcb.ByteSize, 8);
  EXPECT_EQ(dcb.Parity, kNoParity);
  EXPECT_EQ(dcb.StopBits, kTwoStopBits);
  EXPECT_EQ(dcb.fDtrControl, kDtrControlDisable);
  EXPECT_EQ(dcb.fRtsControl, kRtsControlDisable);
  // No flow control of any kind, no abort on error; what the device reported otherwise stays.
  EXPECT_FALSE(dcb.fOutxCtsFlow || dcb.fOutxDsrFlow || dcb.fInX || dcb.fOutX || dcb.fAbortOnError ||
               dcb.fDsrSensitivity);
  EXPECT_TRUE(dcb.fParity);
  EXPECT_EQ(dcb.EvtChar, 'x');
}

TEST_F(SerialPort32Test, ClampsOutOfRangeSettingsIntoFieldsAndDevice) {
  TSerialPort32 wide("COM201", 9600, 9, 7, 5);
  EXPECT_EQ(wide.DataBits, 8);
  EXPECT_EQ(wide.ParityCode, kSpaceParity);
  EXPECT_EQ(wide.StopBitsCode, kTwoStopBits);
  EXPECT_EQ(a->applied.back().ByteSize, 8);
  EXPECT_EQ(a->applied.back().Parity, kSpaceParity);
  EXPECT_EQ(a->applied.back().StopBits, kTwoStopBits);
  wide.Handle.reset();  // release the fake before the next object opens it

  TSerialPort32 narrow("COM201", 9600, 3, kOddParity, kOne5StopBits);
  EXPECT_EQ(narrow.DataBits, 8);
  EXPECT_EQ(narrow.ParityCode, kOddParity);
  EXPECT_EQ(narrow.StopBitsCode, kOne5StopBits);
  TSerialPort32 four("COM202", 9600, 4, kNoParity, kOneStopBit);
  EXPECT_EQ(four.DataBits, 4);
}

TEST_F(SerialPort32Test, LineLevelsCarryIntoTheNextPortObject) {
  {
    TSerialPort32 first("COM201", 9600, 8, kNoParity, kOneStopBit);
    first.RaiseDtr();
    first.RaiseRts();
    EXPECT_EQ(a->escapes, (std::vector<uint32_t>{kSetDtr, kSetRts}));
  }
  EXPECT_TRUE(a->destroyed);
  TSerialPort32 second("COM201", 9600, 8, kNoParity, kOneStopBit);
  EXPECT_EQ(a->applied.back().fDtrControl, kDtrControlEnable);
  EXPECT_EQ(a->applied.back().fRtsControl, kRtsControlEnable);
  second.DropRts();
  second.Handle.reset();
  TSerialPort32 third("COM201", 9600, 8, kNoParity, kOneStopBit);
  EXPECT_EQ(a->applied.back().fDtrControl, kDtrControlEnable);
  EXPECT_EQ(a->applied.back().fRtsControl, kRtsControlDisable);
}

TEST_F(SerialPort32Test, OpenFailuresAreReportedByStage) {
  TSerialPort32 missing("COM204", 9600, 8, kNoParity, kOneStopBit);  // mapped nowhere the fakes serve
  EXPECT_EQ(missing.OpenError, 1);
  EXPECT_TRUE(missing.HandleInvalid);
  EXPECT_FALSE(missing.Handle);
  EXPECT_TRUE(missing.Timeouts);

  TSerialPort32 busy("COM203", 9600, 8, kNoParity, kOneStopBit);
  EXPECT_EQ(busy.OpenError, 1);
  EXPECT_EQ(busy.OpenPlatformError, kErrorAccessDenied);

  a->failGetState = true;
  TSerialPort32 unreadable("COM201", 9600, 8, kNoParity, kOneStopBit);
  EXPECT_EQ(unreadable.OpenError, 2);
  EXPECT_TRUE(a->destroyed);
  EXPECT_TRUE(unreadable.HandleInvalid);

  a->failGetState = false;
  a->failSetState = true;
  a->destroyed = false;
  TSerialPort32 refused("COM201", 9600, 8, kNoParity, kOneStopBit);
  EXPECT_EQ(refused.OpenError, 3);
  EXPECT_TRUE(a->destroyed);
  EXPECT_TRUE(refused.HandleInvalid);
}

TEST_F(SerialPort32Test, NameThatDoesNotFitIsNotCutToAnotherPort) {
  TPortMap::Instance().SetOverride(123, "fake:a");
  TSerialPort32 port("COM12345", 9600, 8, kNoParity, kOneStopBit);
  EXPECT_EQ(port.OpenError, 1);
  EXPECT_EQ(a->opens, 0);
}

TEST_F(SerialPort32Test, UnusablePortDoesNothingButKeepsLineFlags) {
  a->failSetState = true;
  TSerialPort32 port("COM201", 9600, 8, kNoParity, kOneStopBit);
  ASSERT_EQ(port.OpenError, 3);
  const size_t callsBefore = a->calls.size();
  uint8_t buffer[4] = {1, 2, 3, 4};
  uint32_t done = 99;
  int32_t error = 77;
  EXPECT_FALSE(port.Read(buffer, 4, &done, &error));
  EXPECT_EQ(error, 0);
  EXPECT_EQ(done, 0u);
  error = 77;
  EXPECT_FALSE(port.Write(buffer, 4, &done, &error));
  EXPECT_EQ(error, 0);
  EXPECT_FALSE(port.ClearReceive(&error));
  EXPECT_FALSE(port.AbortTransmit(&error));
  EXPECT_FALSE(port.SetEventMask(kEvTxEmpty, &error));
  uint32_t mask = 5;
  EXPECT_FALSE(port.WaitEvent(&mask, &error));
  EXPECT_FALSE(port.SetTimeouts(200, 100, 300, 100, 300, &error));
  EXPECT_EQ(port.GetTimeouts(&error), port.Timeouts.get());
  EXPECT_FALSE(port.SetEventChar('z'));
  EXPECT_EQ(port.IsCtsOn(), 0u);
  EXPECT_FALSE(port.SetBreak());
  port.RaiseDtr();
  EXPECT_TRUE(TSerialPort32::DtrOn);
  port.RaiseRts();
  port.DropRts();
  EXPECT_FALSE(TSerialPort32::RtsOn);
  EXPECT_EQ(a->calls.size(), callsBefore);

  // Configure reuses the invalid handle instead of opening again, and stays unusable.
  a->failSetState = false;
  EXPECT_FALSE(port.Configure("COM201", 9600, 8, kNoParity, kOneStopBit));
  EXPECT_EQ(port.OpenError, 2);
  EXPECT_EQ(a->opens, 1);
}

TEST_F(SerialPort32Test, ReadIsTrueOnlyForEveryByteAsked) {
  TSerialPort32 port("COM201", 9600, 8, kNoParity, kOneStopBit);
  uint8_t buffer[4] = {};
  uint32_t got = 99;
  int32_t error = 99;
  EXPECT_FALSE(port.Read(buffer, 1, &got, &error));  // nothing arrives: a timeout
  EXPECT_EQ(error, 0);
  EXPECT_EQ(got, 0u);

  a->incoming = {0x10, 0x20, 0x30};
  EXPECT_FALSE(port.Read(buffer, 4, &got, &error));
  EXPECT_EQ(error, 0);
  EXPECT_EQ(got, 3u);

  a->incoming = {0x41, 0x42};
  EXPECT_TRUE(port.Read(buffer, 2, &got, &error));
  EXPECT_EQ(got, 2u);
  EXPECT_EQ(buffer[1], 0x42);

  // A device fault must not pass for a timeout, even when the device gives no code.
  a->failRead = true;
  EXPECT_FALSE(port.Read(buffer, 1, &got, &error));
  EXPECT_NE(error, 0);
  a->readErrorCode = kErrorDeviceRemoved;
  EXPECT_FALSE(port.Read(buffer, 1, &got, &error));
  EXPECT_EQ(error, kErrorDeviceRemoved);
}

TEST_F(SerialPort32Test, ConfigureKeepsParityAndTheOpenDevice) {
  TSerialPort32 port("COM201", 9600, 8, kEvenParity, kOneStopBit);
  EXPECT_TRUE(port.Configure("COM201", 19200, 7, kOddParity, kTwoStopBits));
  EXPECT_EQ(port.ParityCode, kEvenParity);
  EXPECT_EQ(a->applied.back().Parity, kEvenParity);
  EXPECT_EQ(a->applied.back().BaudRate, 19200u);
  EXPECT_EQ(a->applied.back().ByteSize, 7);
  EXPECT_EQ(a->applied.back().StopBits, kTwoStopBits);
  EXPECT_EQ(a->opens, 1);
}

TEST_F(SerialPort32Test, OperationsReachTheDeviceWithTheirCodes) {
  TSerialPort32 port("COM201", 9600, 8, kNoParity, kOneStopBit);
  int32_t error = 0;
  EXPECT_TRUE(port.AbortTransmit(&error));
  EXPECT_TRUE(port.ClearTransmit(&error));
  EXPECT_TRUE(port.AbortReceive(&error));
  EXPECT_TRUE(port.ClearReceive(&error));
  EXPECT_EQ(a->purges, (std::vector<uint32_t>{1, 4, 2, 8}));
  EXPECT_TRUE(port.SetTimeouts(200, 100, 300, 101, 301, &error));
  EXPECT_EQ(a->timeouts.ReadIntervalTimeout, 200u);
  EXPECT_EQ(a->timeouts.ReadTotalTimeoutConstant, 300u);
  EXPECT_EQ(a->timeouts.WriteTotalTimeoutMultiplier, 101u);
  EXPECT_EQ(a->timeouts.WriteTotalTimeoutConstant, 301u);
  EXPECT_EQ(port.GetTimeouts(&error), port.Timeouts.get());
  EXPECT_TRUE(port.SetEventChar('e'));
  EXPECT_EQ(a->applied.back().EvtChar, 'e');
  port.DropDtr();
  port.RaiseRts();
  EXPECT_EQ(a->escapes, (std::vector<uint32_t>{kClrDtr, kSetRts}));
  a->modemStatus = kMsCtsOn | kMsDsrOn;
  EXPECT_EQ(port.IsCtsOn(), kMsCtsOn);
  a->modemStatus = kMsDsrOn;
  EXPECT_EQ(port.IsCtsOn(), 0u);
  EXPECT_TRUE(port.SetBreak());
  EXPECT_TRUE(port.ClearBreak());
  EXPECT_EQ(CallsOf("SetBreak"), 1u);
}

TEST_F(SerialPort32Test, TransmitWaitIsBoundedByTheWireTimeOfWhatWasWritten) {
  TSerialPort32 port("COM201", 9600, 8, kNoParity, kTwoStopBits);
  int32_t error = 0;
  uint32_t written = 0;
  const std::vector<uint8_t> block(100, 0x5A);
  ASSERT_TRUE(port.SetEventMask(kEvTxEmpty, &error));
  ASSERT_TRUE(port.Write(block.data(), 60, &written, &error));
  ASSERT_TRUE(port.Write(block.data(), 40, &written, &error));
  uint32_t mask = 0;
  ASSERT_TRUE(port.WaitEvent(&mask, &error));
  EXPECT_EQ(mask, kEvTxEmpty);
  // 100 characters of 11 bits at 9600 bit/s take about 115 ms on the wire.
  ASSERT_EQ(a->waitLimits.size(), 1u);
  EXPECT_GE(a->waitLimits[0], 115u + 50u);
  EXPECT_LE(a->waitLimits[0], 250u);
  // The next wait covers only what was written since: nothing, so just the margin.
  ASSERT_TRUE(port.WaitEvent(&mask, &error));
  EXPECT_GE(a->waitLimits[1], 20u);
  EXPECT_LT(a->waitLimits[1], a->waitLimits[0]);
}

TEST(CharacterTime, CountsStartDataParityAndStopBits) {
  EXPECT_EQ(CharacterTimeMicros(9600, 8, kNoParity, kOneStopBit), 1042u);    // 10 bits
  EXPECT_EQ(CharacterTimeMicros(10000, 8, kEvenParity, kTwoStopBits), 1200u);  // 12 bits
  EXPECT_EQ(CharacterTimeMicros(10000, 5, kNoParity, kOne5StopBits), 800u);    // 1.5 counted as 2
  EXPECT_GT(CharacterTimeMicros(0, 8, kNoParity, kOneStopBit), 0u);           // no division by zero
}

}  // namespace
}  // namespace quillorn::test
