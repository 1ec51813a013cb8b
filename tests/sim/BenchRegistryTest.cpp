// A "sim:" port as the client opens it: through the port map and OpenSerialDevice, one bench
// per path that outlives every close of the port.
#include <gtest/gtest.h>

#include "serial/PortMap.hpp"
#include "serial/SerialDevice.hpp"
#include "sim/BenchRegistry.hpp"

namespace quillorn::sim {
namespace {

using TBytes = std::vector<uint8_t>;

void Configure(TSerialDevice& device) {
  TDcb dcb;
  device.GetState(dcb, nullptr);
  dcb.BaudRate = 38400;
  dcb.StopBits = kTwoStopBits;
  device.SetState(dcb, nullptr);
  TCommTimeouts timeouts;
  timeouts.ReadTotalTimeoutConstant = 1000;
  device.SetTimeouts(timeouts, nullptr);
}

TBytes Transfer(TSerialDevice& device, const TBytes& bytes, size_t expected) {
  uint32_t done = 0;
  device.Write(bytes.data(), static_cast<uint32_t>(bytes.size()), &done, nullptr);
  TBytes back(expected);
  uint32_t got = 0;
  device.Read(back.data(), static_cast<uint32_t>(expected), &got, nullptr);
  back.resize(got);
  return back;
}

TEST(BenchRegistry, PortMappedToASimPathOpensOneLastingBench) {
  RegisterBenchDevices();
  const std::string path = "sim:m797,erase-time=0,pace=none,seed=101";
  TPortMap::Instance().SetOverride(201, path);
  int32_t error = 0;
  auto device = OpenSerialDevice("COM201", &error);
  ASSERT_TRUE(device) << error;
  TBench* bench = TBenchRegistry::Instance().Find(path);
  ASSERT_NE(bench, nullptr);

  int32_t busy = 0;
  EXPECT_EQ(OpenSerialDevice("COM201", &busy), nullptr) << "one PC side at a time";
  EXPECT_EQ(busy, kErrorAccessDenied);

  Configure(*device);
  device->Escape(kSetRts);
  EXPECT_EQ(Transfer(*device, {0x00}, 2), (TBytes{0x00, 0xC5}));
  const TBytes write = {0x46, 0x5B, 0x92, 0x10, 0x00, 0x00, 1, 0x5A};
  TBytes request = write;
  uint8_t sum = 0;
  for (uint8_t byte : request) sum = static_cast<uint8_t>(sum + byte);
  request.push_back(static_cast<uint8_t>(0x100 - sum));
  EXPECT_EQ(Transfer(*device, request, request.size() + 5).size(), request.size() + 5);
  device.reset();

  auto again = OpenSerialDevice("COM201", &error);
  ASSERT_TRUE(again);
  EXPECT_EQ(TBenchRegistry::Instance().Find(path), bench) << "the same bench after reopening";
  EXPECT_EQ(bench->Flash()[0], 0x5A);
  EXPECT_GT(bench->Counters().framesFromPc, 0u);
  TPortMap::Instance().SetOverride(201, "");
}

TEST(BenchRegistry, BadPathFailsToOpenWithAReadableReason) {
  RegisterBenchDevices();
  TPortMap::Instance().SetOverride(202, "sim:january9");
  int32_t error = 0;
  EXPECT_EQ(OpenSerialDevice("COM202", &error), nullptr);
  EXPECT_NE(error, 0);
  EXPECT_NE(TBenchRegistry::Instance().LastError().find("january9"), std::string::npos);
  EXPECT_EQ(TBenchRegistry::Instance().Find("sim:january9"), nullptr);
  TPortMap::Instance().SetOverride(202, "");
}

}  // namespace
}  // namespace quillorn::sim
