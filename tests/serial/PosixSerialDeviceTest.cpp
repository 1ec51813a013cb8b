// The POSIX backend on a real pseudo-terminal: the test holds the master side, the backend
// opens the slave by its path like any serial device.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "serial/PortMap.hpp"
#include "serial/PortScan.hpp"
#include "serial/SerialDevice.hpp"
#include "serial/SerialPort32.hpp"

namespace quillorn {
namespace {

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;
using TMs = std::chrono::duration<double, std::milli>;

class PosixPtyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    slavePath = ptsname(master);
    int32_t error = -1;
    device = OpenPlatformSerialDevice(slavePath, &error);
    ASSERT_TRUE(device) << "error " << error;
    EXPECT_EQ(error, 0);
  }
  void TearDown() override {
    device.reset();
    if (master >= 0) close(master);
    TPortMap::Instance().ClearOverrides();
  }
  void SetTimeouts(uint32_t interval, uint32_t multiplier, uint32_t constant) {
    int32_t error = 0;
    ASSERT_TRUE(device->SetTimeouts({interval, multiplier, constant, 0, 0}, &error));
  }
  void MasterWrite(std::vector<uint8_t> bytes) {
    ASSERT_EQ(write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  std::vector<uint8_t> MasterRead(size_t count) {
    std::vector<uint8_t> bytes;
    const auto deadline = TClock::now() + 500ms;
    while (bytes.size() < count && TClock::now() < deadline) {
      pollfd entry{master, POLLIN, 0};
      if (poll(&entry, 1, 50) <= 0) continue;
      uint8_t buffer[64];
      const ssize_t n = read(master, buffer, std::min(sizeof(buffer), count - bytes.size()));
      if (n > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    }
    return bytes;
  }

  int master = -1;
  std::string slavePath;
  std::unique_ptr<TSerialDevice> device;
};

TEST_F(PosixPtyTest, BytesPassUnchangedBothWays) {
  TDcb dcb;
  int32_t error = 0;
  ASSERT_TRUE(device->SetState(dcb, &error));
  // Values a cooked terminal would translate or swallow: CR, LF, XON/XOFF, ^C, DEL, 0xFF.
  const std::vector<uint8_t> awkward = {0x0D, 0x0A, 0x11, 0x13, 0x03, 0x7F, 0xFF, 0x00};
  uint32_t written = 0;
  ASSERT_TRUE(device->Write(awkward.data(), awkward.size(), &written, &error));
  EXPECT_EQ(written, awkward.size());
  EXPECT_EQ(MasterRead(awkward.size()), awkward);

  MasterWrite(awkward);
  SetTimeouts(0, 0, 500);
  std::vector<uint8_t> received(awkward.size());
  uint32_t got = 0;
  ASSERT_TRUE(device->Read(received.data(), received.size(), &got, &error));
  EXPECT_EQ(got, awkward.size());
  EXPECT_EQ(received, awkward);
}

TEST_F(PosixPtyTest, TotalTimeoutEndsAReadWithoutError) {
  SetTimeouts(0, 10, 20);
  uint8_t buffer[3];
  uint32_t got = 99;
  int32_t error = 99;
  const auto start = TClock::now();
  EXPECT_TRUE(device->Read(buffer, 3, &got, &error));
  const TMs took = TClock::now() - start;
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(error, 0);
  EXPECT_GE(took.count(), 49.0);
  EXPECT_LT(took.count(), 400.0);
}

TEST_F(PosixPtyTest, IntervalTimeoutEndsAReadAfterTheLastByte) {
  SetTimeouts(30, 0, 3000);
  MasterWrite({1, 2});
  uint8_t buffer[10];
  uint32_t got = 0;
  int32_t error = 0;
  const auto start = TClock::now();
  EXPECT_TRUE(device->Read(buffer, 10, &got, &error));
  const TMs took = TClock::now() - start;
  EXPECT_EQ(got, 2u);
  EXPECT_GE(took.count(), 29.0);
  EXPECT_LT(took.count(), 1000.0);
}

TEST_F(PosixPtyTest, ImmediateReadReturnsWhatIsThere) {
  SetTimeouts(0xFFFFFFFFu, 0, 0);
  uint8_t buffer[10];
  uint32_t got = 99;
  int32_t error = 0;
  const auto start = TClock::now();
  EXPECT_TRUE(device->Read(buffer, 10, &got, &error));
  EXPECT_EQ(got, 0u);
  EXPECT_LT(TMs(TClock::now() - start).count(), 20.0);
}

TEST_F(PosixPtyTest, TwoStopBitsAndAnOddRateAreApplied) {
  TDcb dcb;
  int32_t error = 0;
  ASSERT_TRUE(device->GetState(dcb, &error));
  dcb.BaudRate = 10400;
  dcb.StopBits = kTwoStopBits;
  dcb.Parity = kNoParity;
  ASSERT_TRUE(device->SetState(dcb, &error)) << error;
  termios applied{};
  ASSERT_EQ(tcgetattr(master, &applied), 0);  // a pty master reports its slave's settings
  EXPECT_TRUE(applied.c_cflag & CSTOPB);
  EXPECT_FALSE(applied.c_cflag & PARENB);
  EXPECT_EQ(applied.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_FALSE(applied.c_lflag & (ICANON | ECHO | ISIG));
  EXPECT_FALSE(applied.c_cflag & CRTSCTS);
  TDcb readBack;
  ASSERT_TRUE(device->GetState(readBack, &error));
  EXPECT_EQ(readBack.BaudRate, 10400u);
  EXPECT_EQ(readBack.StopBits, kTwoStopBits);

  dcb.BaudRate = 38400;
  dcb.StopBits = kOneStopBit;
  ASSERT_TRUE(device->SetState(dcb, &error));
  ASSERT_TRUE(device->GetState(readBack, &error));
  EXPECT_EQ(readBack.BaudRate, 38400u);
  EXPECT_EQ(readBack.StopBits, kOneStopBit);

  dcb.ByteSize = 4;  // no terminal can do that
  EXPECT_FALSE(device->SetState(dcb, &error));
  EXPECT_EQ(error, kErrorInvalidParameter);
}

TEST_F(PosixPtyTest, ModemLinesAndBreakAreHarmlessWithoutHardware) {
  const auto start = TClock::now();
  EXPECT_FALSE(device->Escape(kSetDtr));
  EXPECT_FALSE(device->Escape(kClrRts));
  uint32_t status = 0;
  EXPECT_FALSE(device->GetModemStatus(&status));
  device->SetBreak();
  device->ClearBreak();
  EXPECT_LT(TMs(TClock::now() - start).count(), 100.0);
}

TEST_F(PosixPtyTest, TransmitEmptyWaitReturnsWithinItsLimit) {
  int32_t error = 0;
  ASSERT_TRUE(device->SetEventMask(kEvTxEmpty, &error));
  const std::vector<uint8_t> bytes(10, 0x41);
  uint32_t written = 0;
  ASSERT_TRUE(device->Write(bytes.data(), bytes.size(), &written, &error));
  uint32_t mask = 0;
  const auto start = TClock::now();
  ASSERT_TRUE(device->WaitEvent(&mask, 60, &error));
  EXPECT_LT(TMs(TClock::now() - start).count(), 150.0);
  EXPECT_TRUE(mask == 0 || mask == kEvTxEmpty);
}

TEST_F(PosixPtyTest, PortIsExclusiveWhileOpen) {
  int32_t error = 0;
  EXPECT_FALSE(OpenPlatformSerialDevice(slavePath, &error));
  EXPECT_EQ(error, kErrorAccessDenied);
  TPortMap::Instance().SetOverride(250, slavePath);
  auto ports = ScanPorts();
  EXPECT_EQ(std::find(ports.begin(), ports.end(), 250), ports.end());  // held: left out
  device.reset();
  ports = ScanPorts();
  EXPECT_NE(std::find(ports.begin(), ports.end(), 250), ports.end());
}

TEST_F(PosixPtyTest, PortObjectWorksOverThePty) {
  device.reset();
  TPortMap::Instance().SetOverride(251, slavePath);
  TSerialPort32 port("COM251", 9600, 8, kNoParity, kTwoStopBits);
  ASSERT_EQ(port.OpenError, 0);
  int32_t error = 0;
  ASSERT_TRUE(port.SetTimeouts(200, 100, 50, 100, 50, &error));
  ASSERT_TRUE(port.SetEventMask(kEvTxEmpty, &error));
  uint32_t written = 0;
  const uint8_t request[] = {0x46, 0x56, 0x9A, 0xCA};
  ASSERT_TRUE(port.Write(request, 4, &written, &error));
  uint32_t mask = 0;
  ASSERT_TRUE(port.WaitEvent(&mask, &error));
  EXPECT_EQ(MasterRead(4), std::vector<uint8_t>(request, request + 4));
  MasterWrite({0x50});
  uint8_t answer = 0;
  uint32_t got = 0;
  EXPECT_TRUE(port.Read(&answer, 1, &got, &error));
  EXPECT_EQ(answer, 0x50);
  port.RaiseDtr();  // no modem lines here: no effect, no hang
  EXPECT_EQ(port.IsCtsOn(), 0u);
  TSerialPort32::DtrOn = false;
}

TEST_F(PosixPtyTest, VanishedFarEndIsAFaultNotATimeout) {
  SetTimeouts(0, 0, 200);
  close(master);
  master = -1;
  uint8_t buffer[2];
  uint32_t got = 0;
  int32_t error = 0;
  const auto start = TClock::now();
  EXPECT_FALSE(device->Read(buffer, 2, &got, &error));
  EXPECT_NE(error, 0);
  EXPECT_LT(TMs(TClock::now() - start).count(), 150.0);
}

TEST(PosixPortMap, DefaultsCoverTheUsualTtyFamilies) {
  EXPECT_EQ(DefaultDevicePath(1), "/dev/ttyS0");
  EXPECT_EQ(DefaultDevicePath(32), "/dev/ttyS31");
  EXPECT_EQ(DefaultDevicePath(33), "/dev/ttyUSB0");
  EXPECT_EQ(DefaultDevicePath(65), "/dev/ttyACM0");
  EXPECT_EQ(DefaultDevicePath(96), "/dev/ttyACM31");
  EXPECT_EQ(DefaultDevicePath(97), "");
  EXPECT_EQ(DefaultDevicePath(0), "");
}

TEST_F(PosixPtyTest, AFailedOpenSaysWhyInWords) {
  char plainFile[] = "/tmp/quillorn-not-a-port-XXXXXX";
  const int fd = mkstemp(plainFile);
  ASSERT_GE(fd, 0);
  close(fd);
  struct TCase {
    uint8_t port;
    std::string path, reason;  // reason empty: any text of the system's
  };
  const std::vector<TCase> cases = {
      {245, "/dev/quillorn-no-such-port", std::generic_category().message(ENOENT)},
      {246, plainFile, "это не последовательный порт"},
      {247, slavePath, ""},  // held by the fixture
  };
  for (const TCase& c : cases) {
    TPortMap::Instance().SetOverride(c.port, c.path);
    const std::string name = "COM" + std::to_string(c.port);
    TSerialPort32 port(name.c_str(), 9600, 8, kNoParity, kTwoStopBits);
    EXPECT_EQ(port.OpenError, 1) << c.path;
    if (c.reason.empty()) EXPECT_FALSE(port.OpenErrorText.empty()) << c.path;
    else EXPECT_EQ(port.OpenErrorText, c.reason) << c.path;
  }
  TSerialPort32 unmapped("COM244", 9600, 8, kNoParity, kTwoStopBits);
  EXPECT_FALSE(unmapped.OpenErrorText.empty()) << "a number without a device says so";
  device.reset();
  TSerialPort32 freed("COM247", 9600, 8, kNoParity, kTwoStopBits);
  EXPECT_EQ(freed.OpenError, 0);
  EXPECT_TRUE(freed.OpenErrorText.empty()) << "no reason left over from the failed opens";
  unlink(plainFile);
}

}  // namespace
}  // namespace quillorn
