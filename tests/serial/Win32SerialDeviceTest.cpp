// The Win32 backend where no serial hardware can be relied on: a missing port.
#include <gtest/gtest.h>

#include "serial/DeviceProbe.hpp"
#include "serial/PortMap.hpp"
#include "serial/SerialPort32.hpp"

namespace quillorn {
namespace {

TEST(Win32SerialDevice, MissingPortFailsToOpenAndIsNotListed) {
  const std::string path = DefaultDevicePath(249);
  EXPECT_EQ(path, "\\\\.\\COM249");
  int32_t error = 0;
  EXPECT_FALSE(OpenPlatformSerialDevice(path, &error));
  EXPECT_EQ(error, kErrorFileNotFound);
  EXPECT_FALSE(ProbePlatformSerialDevice(path));
  TSerialPort32 port("COM249", 9600, 8, kNoParity, kOneStopBit);
  EXPECT_EQ(port.OpenError, 1);
  EXPECT_EQ(port.OpenPlatformError, kErrorFileNotFound);
}

}  // namespace
}  // namespace quillorn
