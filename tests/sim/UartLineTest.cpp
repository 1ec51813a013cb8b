// What a receiver makes of characters sent at another rate or with another frame, and what
// the boot loader's autobaud measures from a sync byte that is not 0x00.
#include <gtest/gtest.h>

#include "sim/BootLoader.hpp"
#include "sim/UartLine.hpp"

namespace quillorn::sim {
namespace {

TEST(UartLine, SameOrNearlySameRateReadsEveryValue) {
  const TUartFrame sender{57600, 8, kNoParity};
  for (uint32_t baud : {57600u, 56000u, 59000u}) {
    const TUartFrame receiver{baud, 8, kNoParity};
    EXPECT_TRUE(FramesAgree(sender, receiver)) << baud;
    for (int value = 0; value < 256; ++value) {
      ASSERT_EQ(ResampleCharacter(static_cast<uint8_t>(value), sender, receiver), value) << baud;
    }
  }
}

TEST(UartLine, ADifferentRateGarblesCharacters) {
  const TUartFrame sender{57600, 8, kNoParity};
  const TUartFrame slow{19200, 8, kNoParity};
  EXPECT_FALSE(FramesAgree(sender, slow));
  int unchanged = 0;
  for (int value = 0; value < 256; ++value) unchanged += ResampleCharacter(static_cast<uint8_t>(value), sender, slow) == value;
  EXPECT_LT(unchanged, 16);
  // A receiver three times slower sees the start bit and the first data bits smeared out.
  EXPECT_EQ(ResampleCharacter(0x55, TUartFrame{57600, 8, kNoParity}, TUartFrame{19200, 8, kNoParity}), 0xFE);
  EXPECT_EQ(ResampleCharacter(0x00, TUartFrame{19200, 8, kNoParity}, TUartFrame{57600, 8, kNoParity}), 0x00);
}

TEST(UartLine, SevenDataBitsAreNotEight) {
  const TUartFrame sevenBits{57600, 7, kEvenParity};
  const TUartFrame eightBits{57600, 8, kNoParity};
  EXPECT_FALSE(FramesAgree(sevenBits, eightBits));
  EXPECT_EQ(ResampleCharacter(0x7F, sevenBits, eightBits), 0xFF) << "the even parity bit of 0x7F is 1";
  EXPECT_EQ(ResampleCharacter(0x03, sevenBits, eightBits), 0x03) << "and of 0x03 it is 0";
}

TEST(UartLine, AutobaudMeasuresNineBitTimesOfLowLine) {
  const TUartFrame pc{57600, 8, kNoParity};
  EXPECT_EQ(MeasuredLoaderRate(0x00, pc), 57600u);
  EXPECT_EQ(MeasuredLoaderRate(0x80, pc), 57600u * 9 / 8);
  EXPECT_EQ(MeasuredLoaderRate(0x01, pc), 57600u * 9);
  EXPECT_EQ(MeasuredLoaderRate(0x00, TUartFrame{9600, 8, kNoParity}), 9600u);
}

}  // namespace
}  // namespace quillorn::sim
