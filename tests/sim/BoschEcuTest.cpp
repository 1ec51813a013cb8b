// The M7.9.7 / M10 ECU as the client drives it: the poll's family byte, then request frames
// served directly over eight banks.
#include <gtest/gtest.h>

#include "PcSide.hpp"

namespace quillorn::sim::test {
namespace {

TBytes Request(const TBytes& payload) { return Frame('F', payload); }
TBytes Reply(const TBytes& payload) { return Frame('P', payload); }

// Sends a request and returns the reply that follows the echo.
TBytes Ask(TPcSide& pc, const TBytes& payload, size_t replyLength, uint32_t limitMs = 1000) {
  const TBytes request = Request(payload);
  const TBytes back = pc.Exchange(request, replyLength, limitMs);
  EXPECT_GE(back.size(), request.size());
  EXPECT_TRUE(std::equal(request.begin(), request.end(), back.begin())) << "echo first";
  return TBytes(back.begin() + static_cast<long>(std::min(request.size(), back.size())), back.end());
}

TEST(BoschEcu, PollByteIsAnsweredByFamilyAndModeLine) {
  TPcSide m797("sim:m797");
  m797.SetRts(true);
  EXPECT_EQ(m797.Exchange({0x00}, 1), (TBytes{0x00, 0xC5}));
  m797.SetRts(false);
  EXPECT_EQ(m797.Exchange({0x00}, 1, 150), (TBytes{0x00})) << "M7.9.7 answers only while RTS is raised";

  TPcSide m10("sim:m10");
  m10.SetRts(false);
  EXPECT_EQ(m10.Exchange({0x00}, 1), (TBytes{0x00, 0xD5}));
  m10.SetRts(true);
  EXPECT_EQ(m10.Exchange({0x00}, 1, 150), (TBytes{0x00}));
}

TEST(BoschEcu, EraseStatusErasesEveryBankAndWritesFollowTheNorRule) {
  TPcSide pc("sim:m10,erase-time=5");
  pc.Bench().SetFlash(TBytes(524288, 0x00));
  EXPECT_EQ(pc.Exchange({0x46, 0x56, 0x91, 0xD3}, 8), Concat({0x46, 0x56, 0x91, 0xD3}, Reply({0x91, 0x01, 0x00, 0x00, 0x00})));
  const TBytes flash = pc.Bench().Flash();
  EXPECT_TRUE(std::all_of(flash.begin(), flash.end(), [](uint8_t byte) { return byte == 0xFF; }));

  TBytes write = {0x92, 0x17, 0xF0, 0xFF, 16};
  for (int i = 0; i < 16; ++i) write.push_back(static_cast<uint8_t>(0xA0 + i));
  EXPECT_EQ(Ask(pc, write, 5), (TBytes{0x50, 0x57, 0x92, 0x01, 0xC6}));
  EXPECT_EQ(pc.Bench().Flash()[7 * 65536 + 0xFFF0], 0xA0);
  EXPECT_EQ(pc.Bench().Flash()[7 * 65536 + 0xFFFF], 0xAF);

  TBytes expectedRead = {0x93};
  for (int i = 0; i < 16; ++i) expectedRead.push_back(static_cast<uint8_t>(0xA0 + i));
  EXPECT_EQ(Ask(pc, {0x93, 0x17, 0xF0, 0xFF, 16}, 20), Reply(expectedRead));

  // 0x0F over 0xA3 would need bits raised: refused at that byte with its address and data.
  EXPECT_EQ(Ask(pc, {0x92, 0x17, 0xF3, 0xFF, 1, 0x0F}, 9), Reply({0x92, 0x00, 0x17, 0xF3, 0xFF, 0x0F}));
}

TEST(BoschEcu, BankByteSelectsTheBankByItsLowBits) {
  TPcSide pc("sim:m797,erase-time=0");
  TBytes flash(524288, 0xFF);
  flash[0 * 65536] = 0x10;
  flash[1 * 65536] = 0x11;
  pc.Bench().SetFlash(flash);
  EXPECT_EQ(Ask(pc, {0x93, 0x11, 0x00, 0x00, 1}, 5), Reply({0x93, 0x11}));
  EXPECT_EQ(Ask(pc, {0x93, 0x10, 0x00, 0x00, 1}, 5), Reply({0x93, 0x10}));
  EXPECT_EQ(Ask(pc, {0x93, 0x00, 0x00, 0x00, 1}, 5), Reply({0x93, 0x10})) << "the poll's keep-alive read";
}

TEST(BoschEcu, DamagedFramesAndUnknownCommandsGetNoReply) {
  TPcSide pc("sim:m797,erase-time=0");
  TBytes damaged = Request({0x93, 0x10, 0x00, 0x00, 1});
  damaged.back() ^= 0x40;
  EXPECT_EQ(pc.Exchange(damaged, 1, 150), damaged);
  EXPECT_EQ(Ask(pc, {0x55}, 1, 150), TBytes{});
  EXPECT_EQ(Ask(pc, {0x9A}, 1, 150), TBytes{}) << "finish is not answered";
  EXPECT_EQ(Ask(pc, {0x93, 0x10, 0x00, 0x00, 1}, 5), Reply({0x93, 0xFF})) << "the next frame is served";
}

TEST(BoschEcu, EraseFailureAnswersTheEraseWord) {
  TPcSide pc("sim:m10,erase-fail,erase-time=0");
  EXPECT_EQ(Ask(pc, {0x91}, 8), Reply({0x91, 0x00, 0x01, 0x00, 0x00})) << "no word given yet: 0x0100";
  EXPECT_EQ(Ask(pc, {0x90, 0x34, 0x12, 0x14}, 7), Reply({0x90, 0x34, 0x12, 0x14}));
  EXPECT_EQ(Ask(pc, {0x91}, 8), Reply({0x91, 0x34, 0x12, 0x00, 0x00}));
}

TEST(BoschEcu, ProgramFailAddressFailsThatByteOnly) {
  TPcSide pc("sim:m10,program-fail=0x20005,erase-time=0");
  EXPECT_EQ(Ask(pc, {0x92, 0x12, 0x00, 0x00, 4, 1, 2, 3, 4}, 5), Reply({0x92, 0x01}));
  EXPECT_EQ(Ask(pc, {0x92, 0x12, 0x04, 0x00, 2, 5, 6}, 9), Reply({0x92, 0x00, 0x12, 0x05, 0x00, 0x06}));
}

TEST(BoschEcu, EepromRequestsAndTheNackFault) {
  TPcSide pc("sim:m797,eeprom-write-time=0");
  EXPECT_EQ(Ask(pc, {0x97, 0x00, 0x01, 2, 0xAB, 0xCD}, 5), Reply({0x97, 0x01}));
  EXPECT_EQ(Ask(pc, {0x98, 0x00, 0x01, 2}, 6), Reply({0x98, 0xAB, 0xCD}));
  EXPECT_EQ(pc.Bench().Eeprom()[0x100], 0xAB);

  TPcSide silent("sim:m797,eeprom-nack");
  EXPECT_EQ(Ask(silent, {0x97, 0x05, 0x01, 1, 0x00}, 9), Reply({0x97, 0x00, 0xA2, 0x05, 0x01, 0x00}));
}

}  // namespace
}  // namespace quillorn::sim::test
