// Port names, the port map, the provider registry and the port scan.
#include <gtest/gtest.h>

#include <algorithm>

#include "FakeSerialDevice.hpp"
#include "serial/OpenFailure.hpp"
#include "serial/PortMap.hpp"
#include "serial/PortScan.hpp"

namespace quillorn::test {
namespace {

TEST(PortNames, ReadThePortNumber) {
  EXPECT_EQ(PortNumberFromName("COM1"), 1);
  EXPECT_EQ(PortNumberFromName("COM12"), 12);
  EXPECT_EQ(PortNumberFromName("com254:"), 254);
  EXPECT_EQ(PortNumberFromName("COM255"), 255);
  for (const char* bad : {"COM", "COM0", "COM256", "COM1x", "LPT1", "COM-1", "COM0012", ""}) {
    EXPECT_EQ(PortNumberFromName(bad), 0) << bad;
  }
}

class PortMapTest : public ::testing::Test {
 protected:
  void TearDown() override { TPortMap::Instance().ClearOverrides(); }
};

TEST_F(PortMapTest, OverridesTakePrecedenceAndCanBeRemoved) {
  TPortMap& map = TPortMap::Instance();
  const std::string platformDefault = DefaultDevicePath(3);
  map.SetOverride(3, "/tmp/ttyECU");
  EXPECT_EQ(map.DevicePath(3), "/tmp/ttyECU");
  map.SetOverride(3, "");
  EXPECT_EQ(map.DevicePath(3), platformDefault);
}

TEST_F(PortMapTest, AssignPortReusesAndNeverShadowsAPlatformPort) {
  TPortMap& map = TPortMap::Instance();
  const uint8_t first = map.AssignPort("sim:zhv4");
  ASSERT_NE(first, 0);
  if (DefaultDevicePath(254).empty()) {
    EXPECT_TRUE(DefaultDevicePath(first).empty());
  }
  EXPECT_EQ(map.DevicePath(first), "sim:zhv4");
  EXPECT_EQ(map.AssignPort("sim:zhv4"), first);
  const uint8_t second = map.AssignPort("/dev/pts/7");
  EXPECT_NE(second, first);
  EXPECT_EQ(map.AssignPort(""), 0);
}

TEST_F(PortMapTest, OpenAsksProvidersFirstAndStopsAskingAfterUnregister) {
  TPortMap::Instance().SetOverride(210, "fake:reg");
  int32_t error = 0;
  {
    TFakeProvider provider;
    auto device = OpenSerialDevice("COM210", &error);
    ASSERT_TRUE(device);
    EXPECT_EQ(provider.Record("reg")->opens, 1);
    provider.Refuse("reg", kErrorAccessDenied);
    EXPECT_FALSE(OpenSerialDevice("COM210", &error));
    EXPECT_EQ(error, kErrorAccessDenied);
  }
  EXPECT_FALSE(OpenSerialDevice("COM210", &error));  // the platform knows no "fake:" path
  EXPECT_NE(error, 0);
  EXPECT_NE(TakeOpenFailure().find("«fake:»"), std::string::npos);  // the kind nobody serves, named
  EXPECT_FALSE(OpenSerialDevice("not a port", &error));
  EXPECT_EQ(error, kErrorFileNotFound);
}

TEST_F(PortMapTest, ReleaseAsksEveryProviderAndKeepsTheFirstFailure) {
  struct TKeeper final : TSerialDeviceProvider {
    explicit TKeeper(std::string failure) : failure(std::move(failure)) {}
    std::unique_ptr<TSerialDevice> TryOpen(const std::string&, bool* served, int32_t*) override {
      *served = false;
      return nullptr;
    }
    bool Release(std::string* error) override {
      ++releases;
      if (!failure.empty()) *error = failure;
      return failure.empty();
    }
    std::string failure;
    int releases = 0;
  };
  TKeeper saves(""), first("first"), second("second");
  for (TKeeper* p : {&saves, &first, &second}) RegisterSerialDeviceProvider(p);
  std::string error;
  EXPECT_FALSE(ReleaseSerialDeviceProviders(&error));
  EXPECT_EQ(error, "first");
  for (TKeeper* p : {&saves, &first, &second}) EXPECT_EQ(p->releases, 1);
  for (TKeeper* p : {&first, &second}) UnregisterSerialDeviceProvider(p);
  EXPECT_TRUE(ReleaseSerialDeviceProviders(&error));
  UnregisterSerialDeviceProvider(&saves);
}

TEST_F(PortMapTest, ScanListsOpenablePortsInOrderAndNeverProbes255) {
  TFakeProvider provider;
  TPortMap& map = TPortMap::Instance();
  map.SetOverride(12, "fake:twelve");
  map.SetOverride(3, "fake:three");
  map.SetOverride(254, "fake:last");
  map.SetOverride(255, "fake:beyond");
  map.SetOverride(7, "fake:held");
  provider.Refuse("held", kErrorAccessDenied);
  const std::vector<uint8_t> ports = ScanPorts();
  EXPECT_TRUE(std::is_sorted(ports.begin(), ports.end()));
  for (uint8_t expected : {3, 12, 254}) {
    EXPECT_NE(std::find(ports.begin(), ports.end(), expected), ports.end()) << int(expected);
  }
  EXPECT_EQ(std::find(ports.begin(), ports.end(), 7), ports.end());
  EXPECT_EQ(std::find(ports.begin(), ports.end(), 255), ports.end());
  EXPECT_EQ(provider.Record("beyond")->opens, 0);
  // A probe leaves nothing open behind it.
  EXPECT_TRUE(provider.Record("three")->destroyed);
}

}  // namespace
}  // namespace quillorn::test
