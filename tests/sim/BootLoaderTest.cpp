// The boot loader as the PC meets it through the programmer box: every block the client
// sends, answered by the byte the client expects, after the box's echo.
#include <gtest/gtest.h>

#include "PcSide.hpp"
#include "sim/EcuBoard.hpp"

namespace quillorn::sim::test {
namespace {

const TBytes kLoadHeader = {0x00, 0x00, 0xF4, 0x00, 0xFF, 0xFF, 0x12, 0xE6};
const TBytes kProbe = {0x00, 0x00, 0xF4, 0x00, 0xFF, 0xFF, 0x02, 0xF7};
const TBytes kStart = {0x00, 0x01, 0xF4, 0x20, 0xFF, 0xFF, 0xFF, 0x2A};

TBytes Echoed(const TBytes& sent, std::initializer_list<uint8_t> answer) {
  TBytes expected = sent;
  expected.insert(expected.end(), answer);
  return expected;
}

TBytes Block(uint8_t type, TBytes body) {
  TBytes block = {type};
  for (uint8_t byte : body) block.push_back(byte);
  uint8_t sum = 0;
  for (uint8_t byte : block) sum ^= byte;
  block.push_back(sum);
  return block;
}

TEST(BootLoader, SyncThenProbeThenLoadHeaderAreAnsweredAsTheClientExpects) {
  TPcSide pc("sim:january5");
  EXPECT_EQ(pc.Exchange({0x00}, 1), (TBytes{0x00, 0x55}));
  EXPECT_EQ(pc.Exchange(kProbe, 1), Echoed(kProbe, {0xFE})) << "the probe's checksum is off by one";
  EXPECT_EQ(pc.Exchange(kProbe, 1), Echoed(kProbe, {0xFE})) << "the loader waits for the header again";
  EXPECT_EQ(pc.Exchange(kLoadHeader, 1), Echoed(kLoadHeader, {0x55}));
  pc.Bench().Inspect([](TEcu& ecu) { EXPECT_EQ(dynamic_cast<TEcuBoard&>(ecu).UartRate(), 57600u); });
}

TEST(BootLoader, WrongTypeAndBadChecksumAreRejectedAndTheBlockCanBeResent) {
  TPcSide pc("sim:vs51");
  ASSERT_EQ(pc.Exchange({0x00}, 1), (TBytes{0x00, 0x55}));
  TBytes wrongType = kLoadHeader;
  wrongType[0] = 0x01;
  EXPECT_EQ(pc.Exchange(wrongType, 1).back(), 0xFF);
  ASSERT_EQ(pc.Exchange(kLoadHeader, 1).back(), 0x55);

  TBytes data(16, 0x11);
  TBytes damaged = Block(0x01, data);
  damaged.back() ^= 0x01;
  EXPECT_EQ(pc.Exchange(damaged, 1).back(), 0xFE);
  EXPECT_EQ(pc.Exchange(Block(0x03, data), 1).back(), 0xFF);
  EXPECT_EQ(pc.Exchange(Block(0x01, data), 1).back(), 0x55) << "the rejected block is taken when resent";
  // Last form: 02, count 8, eight bytes, seven bytes FF, XOR.
  TBytes last = {0x08, 1, 2, 3, 4, 5, 6, 7, 8};
  last.insert(last.end(), 7, 0xFF);
  EXPECT_EQ(pc.Exchange(Block(0x02, last), 1).back(), 0x55);
  // The transfer has ended: the next block is a header again.
  EXPECT_EQ(pc.Exchange(kProbe, 1).back(), 0xFE);
}

TEST(BootLoader, StartRunsTheUploadedCodeFromF420) {
  TPcSide pc("sim:january5");
  // F420: MOV SCON,#50h; MOV SBUF,#0A5h; SJMP $
  TBytes image(0x20, 0xFF);
  image.insert(image.end(), {0x75, 0x98, 0x50, 0x75, 0x99, 0xA5, 0x80, 0xFE});
  ASSERT_EQ(pc.Exchange({0x00}, 1), (TBytes{0x00, 0x55}));
  ASSERT_EQ(pc.Exchange(kLoadHeader, 1).back(), 0x55);
  ASSERT_EQ(pc.Exchange(Block(0x01, TBytes(image.begin(), image.begin() + 16)), 1).back(), 0x55);
  ASSERT_EQ(pc.Exchange(Block(0x01, TBytes(image.begin() + 16, image.begin() + 32)), 1).back(), 0x55);
  TBytes last = {0x08};
  for (size_t i = 32; i < image.size(); ++i) last.push_back(image[i]);
  last.resize(16, 0xFF);
  ASSERT_EQ(pc.Exchange(Block(0x02, last), 1).back(), 0x55);
  EXPECT_EQ(pc.Exchange(kStart, 2), Echoed(kStart, {0x55, 0xA5}));
  pc.Bench().Inspect([](TEcu& ecu) {
    EXPECT_EQ(dynamic_cast<TEcuBoard&>(ecu).RunState(), TEcuBoard::TRunState::Running);
    EXPECT_TRUE(ecu.ServesFrames());
  });
}

TEST(BootLoader, AStartBelowTheXramIsRejected) {
  TPcSide pc("sim:january5");
  ASSERT_EQ(pc.Exchange({0x00}, 1).back(), 0x55);
  const TBytes startInRom = {0x00, 0x01, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFE};
  EXPECT_EQ(pc.Exchange(startInRom, 1).back(), 0xFF);
}

TEST(BootLoader, TheRateOfTheSyncByteStaysTheLoadersRate) {
  TPcSide pc("sim:january5");
  ASSERT_EQ(pc.Exchange({0x00}, 1), (TBytes{0x00, 0x55}));
  pc.SetLine(19200);
  const TBytes back = pc.Exchange(kProbe, 1);
  ASSERT_EQ(back.size(), kProbe.size() + 1) << "the box still echoes at any rate";
  EXPECT_NE(back.back(), 0xFE) << "bytes at another rate arrive garbled and so does the answer";
  pc.SetLine(57600);
  // The garbled bytes went into a header; a whole clean one at the synced rate is read again.
  EXPECT_EQ(pc.Exchange(kProbe, 1).back(), 0xFE);
}

TEST(BootLoader, ASyncByteOtherThanZeroSetsAWrongRate) {
  TPcSide pc("sim:january5");
  const TBytes back = pc.Exchange({0x80}, 1);
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[0], 0x80);
  EXPECT_NE(back[1], 0x55);
  pc.Bench().Inspect([](TEcu& ecu) { EXPECT_EQ(dynamic_cast<TEcuBoard&>(ecu).UartRate(), 64800u); });
}

TEST(BootLoader, OneStopBitWorksButParityOrSevenBitsDoNot) {
  // The loader reads 8 data bits and does not check what follows them (sim/README.md).
  TPcSide pc("sim:january5");
  pc.SetLine(57600, 8, kNoParity, kOneStopBit);
  EXPECT_EQ(pc.Exchange({0x00}, 1), (TBytes{0x00, 0x55}));
  pc.SetLine(57600, 7, kEvenParity, kOneStopBit);
  EXPECT_NE(pc.Exchange(kLoadHeader, 1).back(), 0x55) << "seven data bits are not the loader's frame";

  // Even parity puts a low parity bit after the sync byte's zeros: the autobaud measures ten
  // bit times instead of nine and the loader's rate is off by a tenth.
  TPcSide parity("sim:january5");
  parity.SetLine(57600, 8, kEvenParity, kTwoStopBits);
  EXPECT_NE(parity.Exchange({0x00}, 1).back(), 0x55);
  parity.Bench().Inspect([](TEcu& ecu) { EXPECT_EQ(dynamic_cast<TEcuBoard&>(ecu).UartRate(), 51840u); });
}

}  // namespace
}  // namespace quillorn::sim::test
