// The processor board after the upload: the core runs the image at the loader's rate, the
// serial port carries bytes both ways, P1.4 selects the flash page on MOVX, and a DTR pulse
// of a "ЖВ-4" brings the boot loader back.
#include <gtest/gtest.h>

#include "PcSide.hpp"
#include "sim/EcuBoard.hpp"

namespace quillorn::sim::test {
namespace {

// The image from 0xF400: 32 filler bytes, then the program at 0xF420.
TBytes ImageWith(const TBytes& program) {
  TBytes image(0x20 + program.size(), 0xFF);
  std::copy(program.begin(), program.end(), image.begin() + 0x20);
  return image;
}

// Echoes every received byte plus one:
// F420 MOV SCON,#50h / L: JNB RI,L / MOV A,SBUF / CLR RI / INC A / MOV SBUF,A / JNB TI,$ / CLR TI / SJMP L
const TBytes kIncrementingEcho = {0x75, 0x98, 0x50, 0x30, 0x98, 0xFD, 0xE5, 0x99, 0xC2, 0x98, 0x04,
                                  0xF5, 0x99, 0x30, 0x99, 0xFD, 0xC2, 0x99, 0x80, 0xEF};

TEST(EcuBoard, UploadedProgramAnswersAtTheSyncedRate) {
  TPcSide pc("sim:january5");
  ASSERT_TRUE(pc.Upload(ImageWith(kIncrementingEcho)));
  EXPECT_EQ(pc.Exchange({0x10}, 1), (TBytes{0x10, 0x11}));
  EXPECT_EQ(pc.Exchange({0x46, 0x99}, 2, 1000), (TBytes{0x46, 0x99, 0x47, 0x9A}));
  pc.SetLine(9600);
  const TBytes garbled = pc.Exchange({0x10}, 1);
  ASSERT_EQ(garbled.size(), 2u) << "echo from the box, then the ECU's answer at its own rate";
  EXPECT_NE(garbled[1], 0x11);
  EXPECT_GT(pc.Bench().Counters().ecuMachineCycles, 0u);
}

// Bytes the bench thread hands over late (their stop bits lie before the processor's present)
// still reach the program one character time apart, never all at once into a busy receiver.
TEST(EcuBoard, LateBytesAreSpacedByTheirCharacterTime) {
  TBenchOptions options;
  ASSERT_TRUE(ParseBenchPath("sim:january5", &options, nullptr));
  TEcuBoard board(options);
  const TUartFrame pc{57600, 8, kNoParity};
  auto t = TLineClock::now();
  std::vector<uint8_t> out;
  auto send = [&](const TBytes& bytes) {
    for (uint8_t byte : bytes) board.Receive(byte, pc, t);
  };
  TBytes image = ImageWith(kIncrementingEcho);
  send({0x00, 0x00, 0x00, 0xF4, 0x00, 0xFF, 0xFF, 0x12, 0xE6});
  for (size_t offset = 0; offset < image.size(); offset += 16) {
    const size_t count = std::min<size_t>(16, image.size() - offset);
    TBytes block = count == 16 ? TBytes{0x01} : TBytes{0x02, static_cast<uint8_t>(count)};
    block.insert(block.end(), image.begin() + static_cast<long>(offset), image.begin() + static_cast<long>(offset + count));
    block.resize(17, 0xFF);
    uint8_t sum = 0;
    for (uint8_t byte : block) sum ^= byte;
    block.push_back(sum);
    send(block);
  }
  send({0x00, 0x01, 0xF4, 0x20, 0xFF, 0xFF, 0xFF, 0x2A});
  ASSERT_EQ(board.RunState(), TEcuBoard::TRunState::Running);
  board.AdvanceTo(t + std::chrono::milliseconds(20), pc, out);
  out.clear();
  // Five bytes that reached the bench 10 ms ago, handed over only now.
  t += std::chrono::milliseconds(10);
  send({1, 2, 3, 4, 5});
  board.AdvanceTo(t + std::chrono::milliseconds(40), pc, out);
  EXPECT_EQ(out, (TBytes{2, 3, 4, 5, 6}));
  EXPECT_EQ(board.Counters().lostBytes, 0u);
}

TEST(EcuBoard, PageLineSelectsTheFlashPageOnMovx) {
  TPcSide pc("sim:january72");
  TBytes flash(131072, 0xFF);
  flash[0x1234] = 0x11;
  flash[0x11234] = 0x22;
  pc.Bench().SetFlash(flash);
  // MOV SCON,#50h / CLR P1.4 / MOV DPTR,#1234h / MOVX A,@DPTR / MOV SBUF,A / JNB TI,$ / CLR TI /
  // SETB P1.4 / MOVX A,@DPTR / MOV SBUF,A / SJMP $
  const TBytes program = {0x75, 0x98, 0x50, 0xC2, 0x94, 0x90, 0x12, 0x34, 0xE0, 0xF5, 0x99, 0x30,
                          0x99, 0xFD, 0xC2, 0x99, 0xD2, 0x94, 0xE0, 0xF5, 0x99, 0x80, 0xFE};
  ASSERT_TRUE(pc.Upload(ImageWith(program)));
  EXPECT_EQ(pc.Receive(2), (TBytes{0x11, 0x22}));
}

TEST(EcuBoard, OnePageBoardIgnoresThePageLine) {
  TPcSide pc("sim:mikas7");
  TBytes flash(65536, 0xFF);
  flash[0x1234] = 0x33;
  pc.Bench().SetFlash(flash);
  // SETB P1.4 (already set after reset) / MOV DPTR,#1234h / MOVX A,@DPTR / MOV SBUF,A / SJMP $
  const TBytes program = {0x75, 0x98, 0x50, 0xD2, 0x94, 0x90, 0x12, 0x34, 0xE0, 0xF5, 0x99, 0x80, 0xFE};
  ASSERT_TRUE(pc.Upload(ImageWith(program)));
  EXPECT_EQ(pc.Receive(1), (TBytes{0x33}));
}

TEST(EcuBoard, DtrPulseOfZhv4ResetsIntoTheBootLoader) {
  TPcSide pc("sim:january5,programmer=zhv4");
  ASSERT_TRUE(pc.Upload(ImageWith(kIncrementingEcho)));
  ASSERT_EQ(pc.Exchange({0x20}, 1), (TBytes{0x20, 0x21}));
  pc.SetRts(false);
  pc.SetDtr(true);
  EXPECT_EQ(pc.Exchange({0x20}, 1, 200), (TBytes{0x20})) << "held in reset: only the echo";
  pc.SetDtr(false);
  EXPECT_EQ(pc.Exchange({0x00}, 1), (TBytes{0x00, 0x55})) << "released with RTS dropped: the boot loader";

  pc.SetRts(true);
  pc.SetDtr(true);
  pc.SetDtr(false);
  EXPECT_EQ(pc.Exchange({0x00}, 1, 200), (TBytes{0x00})) << "RTS raised: the ECU's own software, asleep";
}

TEST(EcuBoard, OwnSoftwareAnswersKwpAfterTheFastInitialisation) {
  TPcSide pc("sim:january72,programmer=zhv4");
  pc.SetLine(10400, 8, kNoParity, kOneStopBit);
  pc.SetRts(true);
  pc.SetDtr(true);
  pc.SetDtr(false);
  pc.Silent(300);  // the idle line before the pattern
  pc.Device().SetBreak();
  pc.Silent(25);
  pc.Device().ClearBreak();
  pc.Silent(25);
  const TBytes startCommunication = {0x81, 0x10, 0xF1, 0x81, 0x03};
  const TBytes back = pc.Exchange(startCommunication, 7, 1000);
  ASSERT_EQ(back.size(), 12u);
  EXPECT_EQ(TBytes(back.begin(), back.begin() + 5), startCommunication) << "the K-line echo";
  EXPECT_EQ(back[5], 0x83);
  EXPECT_EQ(back[8], 0xC1) << "positive response to StartCommunication";
}

TEST(EcuBoard, Zhv2DtrDoesNothing) {
  TPcSide pc("sim:january5");
  ASSERT_TRUE(pc.Upload(ImageWith(kIncrementingEcho)));
  pc.SetDtr(true);
  pc.SetDtr(false);
  EXPECT_EQ(pc.Exchange({0x30}, 1), (TBytes{0x30, 0x31}));
}

}  // namespace
}  // namespace quillorn::sim::test
