// The flash chip as the bootstrap programs drive it: command cycles per chip kind, data
// polling, the DQ5 time limit and the NOR rule that programming only clears bits.
#include <gtest/gtest.h>

#include "sim/FlashChip.hpp"

namespace quillorn::sim {
namespace {

constexpr uint64_t kUs = 1000;

struct TCommandAddresses {
  uint32_t first, second;
};
constexpr TCommandAddresses kNormal{0x5555, 0x2AAA};
constexpr TCommandAddresses kAlternate{0xAAAA, 0x5555};

TFlashChip MakeChip(TFlashChipKind kind, TFlashFaults faults = {}) {
  TFlashTiming timing;
  timing.programNs = 10 * kUs;
  timing.eraseNs = 1000 * kUs;
  timing.programLimitNs = 100 * kUs;
  return TFlashChip(kind, 0x20000, timing, faults);
}

void Command(TFlashChip& chip, TCommandAddresses at, uint8_t command, uint64_t now) {
  chip.Write(at.first, 0xAA, now);
  chip.Write(at.second, 0x55, now);
  chip.Write(at.first, command, now);
}

void Program(TFlashChip& chip, TCommandAddresses at, uint32_t address, uint8_t value, uint64_t now) {
  Command(chip, at, 0xA0, now);
  chip.Write(address, value, now);
}

void EraseChip(TFlashChip& chip, TCommandAddresses at, uint64_t now) {
  Command(chip, at, 0x80, now);
  Command(chip, at, 0x10, now);
}

TEST(FlashChip, AutoselectGivesManufacturerAndDeviceCodePerKind) {
  TFlashChip normal = MakeChip(TFlashChipKind::Normal20);
  Command(normal, kNormal, 0x90, 0);
  EXPECT_EQ(normal.Read(0, 0), 0x01);
  EXPECT_EQ(normal.Read(1, 0), 0x20);
  normal.Write(0, 0xF0, 0);
  normal.Array()[1] = 0x42;
  EXPECT_EQ(normal.Read(1, 0), 0x42) << "reset leaves autoselect";

  TFlashChip byteMode = MakeChip(TFlashChipKind::ByteMode51);
  Command(byteMode, kAlternate, 0x90, 0);
  EXPECT_EQ(byteMode.Read(0, 0), 0x01);
  EXPECT_EQ(byteMode.Read(2, 0), 0x51) << "the byte-mode chip keeps its device code at address 2";
}

TEST(FlashChip, EachKindIgnoresTheOtherKindsCommandAddresses) {
  TFlashChip normal = MakeChip(TFlashChipKind::Normal20);
  normal.Array()[0] = 0x33;
  Command(normal, kAlternate, 0x90, 0);
  EXPECT_EQ(normal.Read(0, 0), 0x33) << "alternate cycles must not unlock the 0x20 chip";
  Program(normal, kAlternate, 0x100, 0x00, 0);
  EXPECT_EQ(normal.Read(0x100, 1000 * kUs), 0xFF);

  TFlashChip byteMode = MakeChip(TFlashChipKind::ByteMode51);
  byteMode.Array()[0] = 0x44;
  Command(byteMode, kNormal, 0x90, 0);
  EXPECT_EQ(byteMode.Read(0, 0), 0x44) << "normal cycles must not unlock the byte-mode chip";
  Program(byteMode, kAlternate, 0x100, 0x12, 0);
  EXPECT_EQ(byteMode.Read(0x100, 20 * kUs), 0x12);
}

TEST(FlashChip, CommandCyclesDecodeOnlyTheLowAddressLines) {
  // The bootstrap writes its cycles with the page line set: A16 and A15 are don't-care.
  TFlashChip chip = MakeChip(TFlashChipKind::Normal20);
  Program(chip, {0x1D555, 0x1AAAA}, 0x10005, 0x5A, 0);
  EXPECT_EQ(chip.Read(0x10005, 20 * kUs), 0x5A);
  EXPECT_EQ(chip.Array()[0x10005], 0x5A);
  EXPECT_EQ(chip.Array()[0x00005], 0xFF);
}

TEST(FlashChip, DataPollingShowsComplementOfDq7AndToggleUntilProgrammed) {
  TFlashChip chip = MakeChip(TFlashChipKind::Normal20);
  Program(chip, kNormal, 0x1234, 0x80, 0);
  const uint8_t first = chip.Read(0x1234, 1 * kUs);
  const uint8_t second = chip.Read(0x1234, 2 * kUs);
  EXPECT_EQ(first & 0x80, 0x00) << "DQ7 is the complement of the data bit while busy";
  EXPECT_NE(first & 0x40, second & 0x40) << "DQ6 toggles on every read while busy";
  EXPECT_EQ(first & 0x20, 0x00);
  EXPECT_TRUE(chip.Busy(5 * kUs));
  EXPECT_EQ(chip.Read(0x1234, 10 * kUs), 0x80);
  EXPECT_FALSE(chip.Busy(10 * kUs));
}

TEST(FlashChip, ProgrammingAOneOverAZeroRaisesDq5UntilReset) {
  TFlashChip chip = MakeChip(TFlashChipKind::Normal20);
  chip.Array()[0x200] = 0x0F;
  Program(chip, kNormal, 0x200, 0xF0, 0);
  EXPECT_EQ(chip.Read(0x200, 50 * kUs) & 0x20, 0x00) << "DQ5 only after the time limit";
  const uint8_t status = chip.Read(0x200, 100 * kUs);
  EXPECT_EQ(status & 0x20, 0x20);
  EXPECT_EQ(status & 0x80, 0x00) << "DQ7 stays the complement: the byte never verified";
  EXPECT_EQ(chip.Read(0x200, 1000 * kUs) & 0x20, 0x20) << "the failure holds until a reset";
  chip.Write(0x200, 0xF0, 1000 * kUs);
  EXPECT_EQ(chip.Read(0x200, 1000 * kUs), 0x00) << "only the bits that could be cleared were cleared";
}

TEST(FlashChip, ChipEraseTakesItsTimeAndSetsEveryByte) {
  TFlashChip chip = MakeChip(TFlashChipKind::ByteMode51);
  chip.Array()[0] = 0x00;
  chip.Array()[0x1FFFF] = 0x12;
  EraseChip(chip, kAlternate, 0);
  EXPECT_EQ(chip.Read(0x1FFFF, 500 * kUs) & 0x80, 0x00) << "DQ7 reads 0 during the erase";
  EXPECT_TRUE(chip.Busy(999 * kUs));
  EXPECT_EQ(chip.Read(0, 1000 * kUs), 0xFF);
  EXPECT_EQ(chip.Array()[0x1FFFF], 0xFF);
}

TEST(FlashChip, EraseNeedsTheSecondUnlock) {
  TFlashChip chip = MakeChip(TFlashChipKind::Normal20);
  chip.Array()[7] = 0x00;
  Command(chip, kNormal, 0x80, 0);
  chip.Write(kNormal.first, 0x10, 0);  // without the unlock cycles
  EXPECT_FALSE(chip.Busy(1));
  EXPECT_EQ(chip.Read(7, 2000 * kUs), 0x00);
}

TEST(FlashChip, InjectedFaultsFailEraseAndOneAddress) {
  TFlashChip chip = MakeChip(TFlashChipKind::Normal20, TFlashFaults{true, 0x10010});
  chip.Array()[3] = 0x00;
  EraseChip(chip, kNormal, 0);
  EXPECT_EQ(chip.Read(0, 1000 * kUs) & 0xA0, 0x20) << "erase failure: DQ5 with DQ7 still 0";
  chip.Write(0, 0xF0, 1000 * kUs);
  EXPECT_EQ(chip.Read(3, 1000 * kUs), 0x00);

  const uint64_t t = 2000 * kUs;
  Program(chip, kNormal, 0x10010, 0x00, t);
  EXPECT_EQ(chip.Read(0x10010, t + 100 * kUs) & 0x20, 0x20);
  chip.Write(0, 0xF0, t + 100 * kUs);
  EXPECT_EQ(chip.Read(0x10010, t + 100 * kUs), 0xFF);
  Program(chip, kNormal, 0x00010, 0x00, t + 200 * kUs);
  EXPECT_EQ(chip.Read(0x00010, t + 210 * kUs), 0x00) << "the same offset on the other page works";
}

TEST(FlashChip, HardwareResetEndsAnOperationAndAutoselect) {
  TFlashChip chip = MakeChip(TFlashChipKind::Normal20);
  EraseChip(chip, kNormal, 0);
  chip.HardwareReset(10 * kUs);
  EXPECT_FALSE(chip.Busy(10 * kUs));
  Command(chip, kNormal, 0x90, 20 * kUs);
  chip.HardwareReset(20 * kUs);
  EXPECT_EQ(chip.Read(1, 20 * kUs), 0xFF);
}

}  // namespace
}  // namespace quillorn::sim
