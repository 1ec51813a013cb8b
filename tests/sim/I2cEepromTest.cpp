// The serial EEPROM bit-banged from the test the way the bootstrap drives it: start and stop
// conditions, acknowledge bits, the write cycle without acknowledge, random and sequential
// reads, page writes and the fault that silences the chip.
#include <gtest/gtest.h>

#include <vector>

#include "sim/I2cEeprom.hpp"

namespace quillorn::sim {
namespace {

constexpr uint64_t kWriteCycleNs = 5'000'000;
constexpr uint64_t kHalfClockNs = 5'000;

class TMaster {
 public:
  explicit TMaster(TI2cEeprom& chip) : chip_(chip) { Set(true, true); }

  uint64_t Now() const { return now_; }
  void Wait(uint64_t ns) { now_ += ns; }

  void Start() {
    Set(true, true);
    Set(true, false);
    Set(false, false);
  }
  void Stop() {
    Set(false, false);
    Set(true, false);
    Set(true, true);
  }
  // True when the chip acknowledged.
  bool WriteByte(uint8_t value) {
    for (int bit = 7; bit >= 0; --bit) Clock(((value >> bit) & 1) != 0);
    return !Clock(true);
  }
  uint8_t ReadByte(bool acknowledge) {
    uint8_t value = 0;
    for (int bit = 0; bit < 8; ++bit) value = static_cast<uint8_t>((value << 1) | (Clock(true) ? 1 : 0));
    Clock(!acknowledge);
    return value;
  }

 private:
  // One clock pulse with the master's SDA at sda; returns the line as sampled while SCL is high.
  bool Clock(bool sda) {
    Set(false, sda);
    Set(true, sda);
    const bool line = sda && !chip_.PullsSdaLow();
    Set(false, sda);
    return line;
  }
  void Set(bool scl, bool sda) {
    now_ += kHalfClockNs;
    chip_.SetMasterLines(scl, sda, now_);
  }

  TI2cEeprom& chip_;
  uint64_t now_ = 0;
};

bool WriteBytes(TMaster& bus, uint16_t address, const std::vector<uint8_t>& data) {
  bus.Start();
  bool acknowledged = bus.WriteByte(static_cast<uint8_t>(0xA0 | ((address >> 7) & 0x02)));
  acknowledged = acknowledged && bus.WriteByte(static_cast<uint8_t>(address & 0xFF));
  for (uint8_t byte : data) acknowledged = acknowledged && bus.WriteByte(byte);
  bus.Stop();
  return acknowledged;
}

std::vector<uint8_t> RandomRead(TMaster& bus, uint16_t address, size_t count) {
  const uint8_t device = static_cast<uint8_t>(0xA0 | ((address >> 7) & 0x02));
  bus.Start();
  EXPECT_TRUE(bus.WriteByte(device));
  EXPECT_TRUE(bus.WriteByte(static_cast<uint8_t>(address & 0xFF)));
  bus.Start();
  EXPECT_TRUE(bus.WriteByte(static_cast<uint8_t>(device | 1)));
  std::vector<uint8_t> data;
  for (size_t i = 0; i < count; ++i) data.push_back(bus.ReadByte(i + 1 < count));
  bus.Stop();
  return data;
}

// Acknowledge polling: START + control byte until the chip answers. Returns the polls made.
int PollUntilAcknowledged(TMaster& bus) {
  for (int polls = 1; polls < 10000; ++polls) {
    bus.Start();
    const bool acknowledged = bus.WriteByte(0xA0);
    bus.Stop();
    if (acknowledged) return polls;
    bus.Wait(100'000);
  }
  return -1;
}

TEST(I2cEeprom, ByteWriteThenAcknowledgePollingThenRandomRead) {
  TI2cEeprom chip(kWriteCycleNs, false);
  TMaster bus(chip);
  ASSERT_TRUE(WriteBytes(bus, 0x105, {0x3C}));
  EXPECT_TRUE(chip.WriteCycleRunning(bus.Now()));
  bus.Start();
  EXPECT_FALSE(bus.WriteByte(0xA0)) << "no acknowledge during the write cycle";
  bus.Stop();
  const int polls = PollUntilAcknowledged(bus);
  EXPECT_GT(polls, 10) << "the write cycle lasts about 5 ms";
  EXPECT_EQ(chip.Memory()[0x105], 0x3C);
  EXPECT_EQ(chip.Memory()[0x005], 0xFF) << "0xA2 addresses the upper 256 bytes";
  EXPECT_EQ(RandomRead(bus, 0x105, 1), std::vector<uint8_t>{0x3C});
}

TEST(I2cEeprom, SequentialReadRunsOnAcrossTheBlocks) {
  TI2cEeprom chip(kWriteCycleNs, false);
  for (int i = 0; i < 512; ++i) chip.Memory()[i] = static_cast<uint8_t>(i * 7);
  TMaster bus(chip);
  const std::vector<uint8_t> read = RandomRead(bus, 0xFE, 4);
  EXPECT_EQ(read, (std::vector<uint8_t>{uint8_t(0xFE * 7), uint8_t(0xFF * 7), uint8_t(0x100 * 7), uint8_t(0x101 * 7)}));
}

TEST(I2cEeprom, PageWriteRollsOverWithinSixteenBytes) {
  TI2cEeprom chip(kWriteCycleNs, false);
  TMaster bus(chip);
  ASSERT_TRUE(WriteBytes(bus, 0x1E, {1, 2, 3, 4}));
  EXPECT_EQ(chip.Memory()[0x1E], 1);
  EXPECT_EQ(chip.Memory()[0x1F], 2);
  EXPECT_EQ(chip.Memory()[0x10], 3) << "the low four address bits roll over";
  EXPECT_EQ(chip.Memory()[0x11], 4);
  EXPECT_EQ(chip.Memory()[0x20], 0xFF);
}

TEST(I2cEeprom, NothingIsStoredWithoutTheStop) {
  TI2cEeprom chip(kWriteCycleNs, false);
  TMaster bus(chip);
  bus.Start();
  ASSERT_TRUE(bus.WriteByte(0xA0));
  ASSERT_TRUE(bus.WriteByte(0x40));
  ASSERT_TRUE(bus.WriteByte(0x99));
  bus.Start();  // a repeated START abandons the write
  bus.WriteByte(0xA1);
  bus.ReadByte(false);
  bus.Stop();
  EXPECT_EQ(chip.Memory()[0x40], 0xFF);
}

TEST(I2cEeprom, OtherDeviceAddressesAndTheNackFaultGetNoAcknowledge) {
  TI2cEeprom chip(kWriteCycleNs, false);
  TMaster bus(chip);
  bus.Start();
  EXPECT_FALSE(bus.WriteByte(0xA4)) << "A1 = 1 is not this chip";
  bus.Stop();
  bus.Start();
  EXPECT_FALSE(bus.WriteByte(0x50));
  bus.Stop();

  TI2cEeprom silent(kWriteCycleNs, true);
  TMaster other(silent);
  EXPECT_FALSE(WriteBytes(other, 0x10, {0x00}));
  other.Wait(kWriteCycleNs * 2);
  EXPECT_EQ(silent.Memory()[0x10], 0xFF);
}

}  // namespace
}  // namespace quillorn::sim
