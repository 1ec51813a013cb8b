// The serial EEPROM through both bootstrap images: device addresses, the three wirings of
// the Январь program, acknowledge polling, verification and the failure replies.

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/bootstrap/BootstrapTestSupport.hpp"

namespace quillorn::bootstraptests {
namespace {

std::vector<std::uint8_t> EepromWrite(std::uint16_t address, const std::vector<std::uint8_t>& data) {
  std::vector<std::uint8_t> body{0x97, static_cast<std::uint8_t>(address),
                                 static_cast<std::uint8_t>(address >> 8),
                                 static_cast<std::uint8_t>(data.size())};
  body.insert(body.end(), data.begin(), data.end());
  return Request(body);
}

std::vector<std::uint8_t> EepromRead(std::uint16_t address, std::uint8_t count) {
  return Request({0x98, static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(address >> 8),
                  count});
}

bool Saw(const TTestEeprom& eeprom, std::uint8_t control) {
  const auto& seen = eeprom.ControlBytes();
  return std::find(seen.begin(), seen.end(), control) != seen.end();
}

const auto WriteDone = Bytes("50 57 97 01 C1");

TEST(JanuaryBootstrap, WritesTheEepromOnTheThirdWiringAtAddress8000) {
  TBootstrapRig rig(January(), {}, TWiring::Third);
  EXPECT_EQ(rig.Exchange(EepromWrite(0x8000, {0x12, 0x34, 0x56, 0x78})), WriteDone);
  EXPECT_EQ(rig.Eeprom().Memory()[0], 0x12);
  EXPECT_EQ(rig.Eeprom().Memory()[3], 0x78);
  EXPECT_EQ(rig.Eeprom().WriteCycles(), 4);
  EXPECT_TRUE(Saw(rig.Eeprom(), 0xA0));
  EXPECT_TRUE(Saw(rig.Eeprom(), 0xA1));  // the read-back
}

TEST(JanuaryBootstrap, WritesTheEepromOnTheSecondWiringAtAddress4105) {
  TBootstrapRig rig(January(), {}, TWiring::Second);
  EXPECT_EQ(rig.Exchange(EepromWrite(0x4105, {0xC3})), WriteDone);
  EXPECT_EQ(rig.Eeprom().Memory()[0x105], 0xC3);
  EXPECT_TRUE(Saw(rig.Eeprom(), 0xA2));
  EXPECT_FALSE(Saw(rig.Eeprom(), 0xA0));
}

TEST(JanuaryBootstrap, ReadsTheEepromOnEachWiring) {
  const struct {
    TWiring wiring;
    std::uint16_t base;
  } cases[] = {{TWiring::First, 0x0000}, {TWiring::Second, 0x4000}, {TWiring::Third, 0x8000}};
  for (const auto& c : cases) {
    TBootstrapRig rig(January(), {}, c.wiring);
    for (unsigned i = 0; i < 512; ++i) {
      rig.Eeprom().Memory()[i] = static_cast<std::uint8_t>(i * 7);
    }
    std::vector<std::uint8_t> expected{0x98};
    for (unsigned i = 0x1F0; i < 0x200; ++i) {
      expected.push_back(static_cast<std::uint8_t>(i * 7));
    }
    EXPECT_EQ(rig.Exchange(EepromRead(static_cast<std::uint16_t>(c.base + 0x1F0), 16)), Reply(expected));
    // 0x01F8..0x0207 crosses from block 0xA2 into 0xA4, which this chip does not answer.
    EXPECT_EQ(rig.Exchange(EepromRead(static_cast<std::uint16_t>(c.base + 0x1F8), 16)), Reply({0x98}));
  }
}

TEST(JanuaryBootstrap, ReportsAnEepromThatDoesNotAnswerOnTheChosenWiring) {
  TBootstrapRig rig(January(), {}, TWiring::First);
  // Address high byte 0x81: third wiring, block 1; reported without the wiring bits.
  EXPECT_EQ(rig.Exchange(EepromWrite(0x8110, {0x44, 0x55})), Reply({0x97, 0x00, 0xA2, 0x10, 0x01, 0x44}));
  EXPECT_EQ(rig.Eeprom().WriteCycles(), 0);
  EXPECT_EQ(rig.Exchange(EepromRead(0x8110, 2)), Reply({0x98}));
}

TEST(MikasBootstrap, UsesTheFirstWiringWhateverTheAddressHighBits) {
  TBootstrapRig rig(Mikas(), {}, TWiring::First);
  EXPECT_EQ(rig.Exchange(EepromWrite(0x4105, {0xC3, 0xC4})), WriteDone);
  EXPECT_EQ(rig.Eeprom().Memory()[0x105], 0xC3);
  EXPECT_EQ(rig.Eeprom().Memory()[0x106], 0xC4);
  EXPECT_EQ(rig.Exchange(EepromRead(0x0105, 2)), Reply({0x98, 0xC3, 0xC4}));
}

TEST(MikasBootstrap, ReportsAMissingEeprom) {
  TBootstrapRig rig(Mikas(), {}, TWiring::Third);
  EXPECT_EQ(rig.Exchange(EepromWrite(0x0105, {0x77})), Reply({0x97, 0x00, 0xA2, 0x05, 0x01, 0x77}));
}

class BootstrapEeprom : public ::testing::TestWithParam<std::span<const std::uint8_t> (*)()> {};

TEST_P(BootstrapEeprom, WritesSixteenBytesWaitingForEachWriteCycle) {
  TBootstrapRig rig(GetParam()(), {}, TWiring::First);
  std::vector<std::uint8_t> data(16);
  for (unsigned i = 0; i < data.size(); ++i) {
    data[i] = static_cast<std::uint8_t>(0xF0 - i);
  }
  // Sixteen 5 ms write cycles: the reply takes about 80 ms.
  EXPECT_EQ(rig.Exchange(EepromWrite(0x01F0, data), 60 * TickCycles), WriteDone);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), rig.Eeprom().Memory().begin() + 0x1F0));
  EXPECT_EQ(rig.Eeprom().WriteCycles(), 16);
}

TEST_P(BootstrapEeprom, ReportsTheByteReadBackWhenItDiffers) {
  TBootstrapRig rig(GetParam()(), {}, TWiring::First);
  rig.Eeprom().Memory()[0x021] = 0x5A;
  rig.Eeprom().SetWriteProtected(true);
  EXPECT_EQ(rig.Exchange(EepromWrite(0x0020, {0xFF, 0x00})), Reply({0x97, 0x00, 0xA0, 0x21, 0x00, 0x5A}));
}

// Without an acknowledge the read answers with the command byte alone, never with bytes
// 0xFF that the PC would save as the EEPROM's contents; the next read of a present EEPROM
// answers with data again.
TEST_P(BootstrapEeprom, ReadFailsWithTheCommandByteAloneWhenNoEepromAnswers) {
  for (const TWiring wiring : {TWiring::Second, TWiring::Third}) {
    TBootstrapRig rig(GetParam()(), {}, wiring);
    EXPECT_EQ(rig.Exchange(EepromRead(0x0000, 16)), Reply({0x98}));
    EXPECT_EQ(rig.Exchange(Bytes("46 59 98 00 00 01 C8")), Bytes("50 56 98 C2"));
  }
  TBootstrapRig rig(GetParam()(), {}, TWiring::First);
  rig.Eeprom().Memory()[0x0100] = 0x5C;
  EXPECT_EQ(rig.Exchange(Bytes("46 59 98 00 01 01 C7")), Reply({0x98, 0x5C}));
}

TEST_P(BootstrapEeprom, DropsRequestsThatDoNotHoldTheirData) {
  TBootstrapRig rig(GetParam()(), {}, TWiring::First);
  auto request = EepromWrite(0x0000, {1, 2, 3});
  request[5] = 4;  // count 4, three bytes
  request.back() = static_cast<std::uint8_t>(request.back() - 1);
  EXPECT_TRUE(rig.Exchange(request).empty());
  EXPECT_TRUE(rig.Exchange(EepromRead(0x0000, 37)).empty());
  EXPECT_EQ(rig.Eeprom().WriteCycles(), 0);
}

INSTANTIATE_TEST_SUITE_P(Both, BootstrapEeprom, ::testing::Values(&January, &Mikas),
                         [](const auto& info) { return info.index == 0 ? "January" : "Mikas"; });

}  // namespace
}  // namespace quillorn::bootstraptests
