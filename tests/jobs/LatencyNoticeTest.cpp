// What the user is told about the adapter's delay: nothing for a quick line, otherwise the
// cost and the cure that fits what the platform found.
#include <gtest/gtest.h>

#include "jobs/LatencyNotice.hpp"

namespace quillorn::test {
namespace {

TEST(LatencyNotice, SaysWhatItCostsAndHowToLowerIt) {
  const std::string sysfs = "/sys/bus/usb-serial/devices/ttyUSB0/latency_timer";
  const struct {
    uint32_t echoMicros;
    TAdapterLatency adapter;
    std::vector<std::string> says;  // empty: no notice at all
  } cases[] = {
      {0, {TLatencySetting::DeviceManager, 16, ""}, {}},
      {4400, {TLatencySetting::DeviceManager, 16, ""}, {}},
      {16200, {TLatencySetting::DeviceManager, 16, ""},
       {"COM7", "16 мс", "33 с", "Таймер задержки адаптера FTDI: 16 мс", "Диспетчер устройств", "Latency Timer",
        "до 1 мс"}},
      {8000, {TLatencySetting::DeviceManager, std::nullopt, ""},
       {"8 мс", "16 с", "Если это адаптер FTDI", "Диспетчер устройств"}},
      {16000, {TLatencySetting::SysfsFile, 16, sysfs}, {"16 мс", "echo 1 | sudo tee " + sysfs}},
      {16000, {TLatencySetting::SysfsFile, std::nullopt, sysfs}, {"echo 1 | sudo tee " + sysfs}},
      {9000, {TLatencySetting::DeviceManager, 1, ""}, {"9 мс", "уже 1 мс", "USB-концентратор"}},
      {9000, {}, {"9 мс", "не сообщает"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.echoMicros) + " us");
    const std::string notice = LatencyNotice({"COM7", c.echoMicros, c.adapter});
    if (c.says.empty()) {
      EXPECT_EQ(notice, "");
      continue;
    }
    for (const std::string& part : c.says) EXPECT_NE(notice.find(part), std::string::npos) << part << " in " << notice;
    EXPECT_EQ(notice.find('\n'), std::string::npos) << "one line for the terminal";
  }
}

}  // namespace
}  // namespace quillorn::test
