// The client's own bootstrap images on the virtual board: uploaded through the boot loader,
// they erase, program and read the flash chip across both pages and reach the serial EEPROM
// on each model's wiring. This is where the bench's hardware model and the images meet.
#include <gtest/gtest.h>

#include "PcSide.hpp"
#include "protocol/RangeChecksum.hpp"
#include "resources/BootstrapImages.hpp"

namespace quillorn::sim::test {
namespace {

TBytes Ask(TPcSide& pc, const TBytes& payload, size_t replyLength, uint32_t limitMs = 2000) {
  const TBytes request = Frame('F', payload);
  const TBytes back = pc.Exchange(request, replyLength, limitMs);
  if (back.size() < request.size()) return {};
  return TBytes(back.begin() + static_cast<long>(request.size()), back.end());
}

TBytes Pattern(uint8_t seed, size_t count) {
  TBytes data;
  for (size_t i = 0; i < count; ++i) data.push_back(static_cast<uint8_t>(seed + i * 13));
  return data;
}

void StartJanuaryBootstrap(TPcSide& pc) {
  ASSERT_TRUE(pc.Upload(TBytes(JanuaryBootstrap, JanuaryBootstrap + sizeof JanuaryBootstrap)));
  pc.Silent(50);  // start-up of the program
}

TEST(BootstrapOnBench, January5ErasesWritesAndReadsBothPages) {
  TPcSide pc("sim:january5,erase-time=30");
  pc.Bench().SetFlash(TBytes(131072, 0x00));
  StartJanuaryBootstrap(pc);
  EXPECT_EQ(Ask(pc, {0x90, 0x14, 0x00, 0x14}, 7), (TBytes{0x50, 0x59, 0x90, 0x14, 0x00, 0x14, 0x9F}));
  EXPECT_EQ(Ask(pc, {0x91}, 8), Frame('P', {0x91, 0x01, 0x00, 0x00, 0x00}));
  EXPECT_EQ(pc.Bench().Flash()[0x1FFFF], 0xFF);

  for (uint8_t bank : {0, 1}) {
    TBytes write = {0x92, bank, 0x20, 0x60, 16};
    const TBytes data = Pattern(bank, 16);
    write.insert(write.end(), data.begin(), data.end());
    EXPECT_EQ(Ask(pc, write, 5), (TBytes{0x50, 0x57, 0x92, 0x01, 0xC6})) << int(bank);
    EXPECT_EQ(Ask(pc, {0x93, bank, 0x20, 0x60, 16}, 20), Frame('P', Concat({0x93}, data))) << int(bank);
  }
  const TBytes flash = pc.Bench().Flash();
  EXPECT_EQ(flash[0x6020], 0);
  EXPECT_EQ(flash[0x16020], 1);
  // A second write over programmed bytes needs bits raised: the chip's DQ5 ends it.
  const TBytes reply = Ask(pc, {0x92, 0, 0x20, 0x60, 1, 0xFF}, 9);
  ASSERT_EQ(reply.size(), 9u);
  EXPECT_EQ(reply[3], 0x00) << "failure status";
}

TEST(BootstrapOnBench, Vs51NeedsTheAlternateAddressingOfItsByteModeChip) {
  TPcSide pc("sim:vs51,erase-time=30", true);  // paced at the line rate, as a real cable
  pc.Bench().SetFlash(TBytes(131072, 0x00));
  StartJanuaryBootstrap(pc);
  // Erase byte 0x94: bit 7 selects the alternate command addresses the 0x51 chip decodes.
  EXPECT_EQ(Ask(pc, {0x90, 0x14, 0x00, 0x94}, 7), Frame('P', {0x90, 0x14, 0x00, 0x94}));
  EXPECT_EQ(Ask(pc, {0x91}, 8), Frame('P', {0x91, 0x01, 0x00, 0x00, 0x00}));
  const TBytes data = Pattern(0x31, 32);
  EXPECT_EQ(Ask(pc, Concat({0x92, 0x01, 0xE0, 0xFF, 32}, data), 5), (TBytes{0x50, 0x57, 0x92, 0x01, 0xC6}));
  EXPECT_EQ(Ask(pc, {0x93, 0x01, 0xE0, 0xFF, 32}, 36), Frame('P', Concat({0x93}, data)));
  EXPECT_EQ(pc.Bench().Flash()[0x1FFE0], 0x31);
  EXPECT_EQ(pc.Bench().Counters().lostBytes, 0u) << "the bootstrap keeps up with the line";

  // With bit 7 clear the normal command addresses do not unlock this chip: the erase fails.
  EXPECT_EQ(Ask(pc, {0x90, 0x14, 0x00, 0x14}, 7), Frame('P', {0x90, 0x14, 0x00, 0x14}));
  const TBytes status = Ask(pc, {0x91}, 8, 5000);
  ASSERT_EQ(status.size(), 8u);
  EXPECT_NE(pc.Bench().Flash()[0x1FFE0], 0xFF);
}

TEST(BootstrapOnBench, EraseFailureIsReportedWithTheEraseWord) {
  TPcSide pc("sim:january5,erase-fail,erase-time=20");
  StartJanuaryBootstrap(pc);
  ASSERT_EQ(Ask(pc, {0x90, 0x14, 0x00, 0x14}, 7).size(), 7u);
  EXPECT_EQ(Ask(pc, {0x91}, 8), Frame('P', {0x91, 0x14, 0x00, 0x00, 0x00}));
}

struct TEepromCase {
  const char* path;
  uint16_t address;  // as the client sends it: wiring bits in the high byte
};

class BootstrapEeprom : public ::testing::TestWithParam<TEepromCase> {};

TEST_P(BootstrapEeprom, WritesAndReadsTheModelsEeprom) {
  TPcSide pc(GetParam().path);
  StartJanuaryBootstrap(pc);
  const uint16_t address = static_cast<uint16_t>(GetParam().address + 0x1F0);
  const uint8_t low = static_cast<uint8_t>(address & 0xFF), high = static_cast<uint8_t>(address >> 8);
  const TBytes data = Pattern(0x40, 8);
  EXPECT_EQ(Ask(pc, Concat({0x97, low, high, 8}, data), 5), Frame('P', {0x97, 0x01}));
  EXPECT_EQ(Ask(pc, {0x98, low, high, 8}, 12), Frame('P', Concat({0x98}, data)));
  const TBytes eeprom = pc.Bench().Eeprom();
  EXPECT_TRUE(std::equal(data.begin(), data.end(), eeprom.begin() + 0x1F0));
}

INSTANTIATE_TEST_SUITE_P(Wirings, BootstrapEeprom,
                         ::testing::Values(TEepromCase{"sim:january5,eeprom-write-time=2", 0x0000},
                                           TEepromCase{"sim:january72,eeprom-write-time=2", 0x4000},
                                           TEepromCase{"sim:vs51,eeprom-write-time=2", 0x8000}));

TEST(BootstrapOnBench, SilentEepromFailsTheWriteAndTheRead) {
  TPcSide pc("sim:january5,eeprom-nack");
  StartJanuaryBootstrap(pc);
  const TBytes reply = Ask(pc, {0x97, 0x05, 0x00, 1, 0x11}, 9);
  ASSERT_EQ(reply.size(), 9u);
  EXPECT_EQ(reply[3], 0x00);
  EXPECT_EQ(reply[4], 0xA0) << "the device address that got no acknowledge";
  EXPECT_EQ(Ask(pc, {0x98, 0x00, 0x00, 16}, 4), Frame('P', {0x98})) << "the command byte alone, no bytes 0xFF";
}

// The bench's chip model and the image's sum agree over a whole page (count 0 = 65,536).
TEST(BootstrapOnBench, RangeChecksumOfAWholePageIsThePcsSum) {
  TPcSide pc("sim:january5");
  TBytes flash(131072);
  for (size_t i = 0; i < flash.size(); ++i) flash[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
  pc.Bench().SetFlash(flash);
  StartJanuaryBootstrap(pc);
  const uint16_t crc = RangeChecksumOf(flash.data() + 65536, 65536);
  EXPECT_EQ(Ask(pc, {0x99, 0x01, 0x00, 0x00, 0x00, 0x00}, 11, 3000),
            Frame('P', {0x99, 0x01, 0x00, 0x00, 0x00, 0x00, static_cast<uint8_t>(crc), static_cast<uint8_t>(crc >> 8)}));
}

// The reason for both: a write changed on the line so that its frame sum still matches is
// answered as a success, and only the range checksum tells.
TEST(BootstrapOnBench, RangeChecksumShowsAWriteTamperedOnTheLine) {
  TPcSide pc("sim:january5,tamper=2");
  StartJanuaryBootstrap(pc);
  const TBytes data = Pattern(0x21, 32);
  for (uint8_t half = 0; half < 2; ++half) {
    const TBytes part(data.begin() + half * 16, data.begin() + half * 16 + 16);
    EXPECT_EQ(Ask(pc, Concat({0x92, 0x00, static_cast<uint8_t>(half * 16), 0x30, 16}, part), 5),
              (TBytes{0x50, 0x57, 0x92, 0x01, 0xC6}));
  }
  const uint16_t planned = RangeChecksumOf(data.data(), data.size());
  const TBytes reply = Ask(pc, {0x99, 0x00, 0x00, 0x30, 32, 0x00}, 11);
  ASSERT_EQ(reply.size(), 11u);
  EXPECT_NE(reply[8] | reply[9] << 8, planned);
  const TBytes flash = pc.Bench().Flash();
  const uint16_t held = RangeChecksumOf(flash.data() + 0x3000, 32);
  EXPECT_EQ(reply[8] | reply[9] << 8, held) << "the sum is of what the flash holds";
}

TEST(BootstrapOnBench, MikasBootstrapOnTheOnePageBoard) {
  TPcSide pc("sim:mikas7,erase-time=20");
  ASSERT_TRUE(pc.Upload(TBytes(MikasBootstrap, MikasBootstrap + sizeof MikasBootstrap)));
  pc.Silent(50);
  EXPECT_EQ(Ask(pc, {0x91}, 8), Frame('P', {0x91, 0x01, 0x00, 0x00, 0x00}));
  const TBytes data = Pattern(7, 16);
  EXPECT_EQ(Ask(pc, Concat({0x92, 0x01, 0x00, 0x80, 16}, data), 5), (TBytes{0x50, 0x57, 0x92, 0x01, 0xC6}));
  EXPECT_EQ(Ask(pc, {0x93, 0x00, 0x00, 0x80, 16}, 20), Frame('P', Concat({0x93}, data))) << "the bank byte makes no difference";
  EXPECT_EQ(pc.Bench().Flash()[0x8000], 7);
}

}  // namespace
}  // namespace quillorn::sim::test
