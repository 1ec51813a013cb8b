// Flash erase, write and read through both bootstrap images, against chips of the known
// kinds, an unknown chip, failing chips and the two flash pages.

#include <gtest/gtest.h>

#include <cstdio>
#include <numeric>

#include "tests/bootstrap/BootstrapTestSupport.hpp"

namespace quillorn::bootstraptests {
namespace {

std::vector<std::uint8_t> WriteRequest(std::uint8_t bank, std::uint16_t address,
                                       const std::vector<std::uint8_t>& data) {
  std::vector<std::uint8_t> body{0x92, bank, static_cast<std::uint8_t>(address),
                                 static_cast<std::uint8_t>(address >> 8),
                                 static_cast<std::uint8_t>(data.size())};
  body.insert(body.end(), data.begin(), data.end());
  return Request(body);
}

std::vector<std::uint8_t> ReadRequest(std::uint8_t bank, std::uint16_t address, std::uint8_t count) {
  return Request({0x93, bank, static_cast<std::uint8_t>(address),
                  static_cast<std::uint8_t>(address >> 8), count});
}

std::vector<std::uint8_t> Sequence(std::size_t count, std::uint8_t first) {
  std::vector<std::uint8_t> data(count);
  std::iota(data.begin(), data.end(), first);
  return data;
}

// 20 s, the PC's erase timeout.
constexpr std::uint64_t EraseReplyLimit = 53'333'333;

struct TImageCase {
  const char* name;
  std::span<const std::uint8_t> (*image)();
  bool pageLineWired;
};

// Each image on the board of its own family.
class BootstrapFlash : public ::testing::TestWithParam<TImageCase> {
 protected:
  std::span<const std::uint8_t> Image() const { return GetParam().image(); }
  TTestFlashConfig Chip(TTestFlashConfig config = {}) const {
    config.pageLineWired = GetParam().pageLineWired;
    return config;
  }
};

TEST_P(BootstrapFlash, EraseOnStatusRequestAndReportOne) {
  TBootstrapRig rig(Image(), Chip());
  rig.Flash().Cells()[0x4000] = 0x00;
  ASSERT_FALSE(rig.Exchange(Bytes("46 59 90 14 00 14 A9")).empty());

  EXPECT_EQ(rig.Exchange(Bytes("46 56 91 D3"), EraseReplyLimit), Reply({0x91, 0x01, 0x00, 0x00, 0x00}));
  EXPECT_EQ(rig.Flash().ErasesStarted(), 1);
  EXPECT_EQ(rig.Flash().Cells()[0x4000], 0xFF);
  EXPECT_TRUE(rig.Flash().InReadMode());
}

TEST_P(BootstrapFlash, ReportTheStoredEraseWordWhenTheChipGivesUp) {
  TBootstrapRig rig(Image(), Chip({.eraseFails = true}));
  ASSERT_FALSE(rig.Exchange(Request({0x90, 0x2A, 0x01, 0x14})).empty());

  EXPECT_EQ(rig.Exchange(Bytes("46 56 91 D3"), EraseReplyLimit), Reply({0x91, 0x2A, 0x01, 0x00, 0x00}));
  EXPECT_TRUE(rig.Flash().InReadMode());  // reset after the failure
}

TEST_P(BootstrapFlash, WriteSixteenBytesToErasedFlash) {
  TBootstrapRig rig(Image(), Chip());
  const auto data = Sequence(16, 0x30);

  EXPECT_EQ(rig.Exchange(WriteRequest(0, 0x6020, data)), Bytes("50 57 92 01 C6"));
  for (std::size_t i = 0; i < data.size(); ++i) {
    EXPECT_EQ(rig.Flash().Cells()[0x6020 + i], data[i]) << "byte " << i;
  }
  EXPECT_EQ(rig.Flash().BytesProgrammed(), 16);

  // Machine cycles from the request's last byte to the reply's first: the program's own
  // time for one 16-byte block (the chip's ~10 us per byte included).
  const auto cycles = rig.FirstReplyCycle() - rig.LastDeliveryCycle();
  std::printf("[ %s ] 16-byte flash write: %llu machine cycles (%.2f ms)\n", GetParam().name,
              static_cast<unsigned long long>(cycles), cycles * 375e-6);
  RecordProperty("cycles_per_16_byte_write", static_cast<int>(cycles));
  EXPECT_LT(cycles, 10 * TickCycles);
}

TEST_P(BootstrapFlash, ReportTheFirstByteThatDoesNotTake) {
  TBootstrapRig rig(Image(), Chip());
  rig.Flash().Cells()[0x0105] = 0x0F;  // not erased: 0x3A needs bits that are 0 here

  const auto data = Sequence(8, 0x35);  // 0x35 ... 0x3C; 0x3A lands on 0x0105
  EXPECT_EQ(rig.Exchange(WriteRequest(0, 0x0100, data)), Reply({0x92, 0x00, 0x00, 0x05, 0x01, 0x3A}));
  EXPECT_EQ(rig.Flash().Cells()[0x0104], 0x39);  // the bytes before it were written
  EXPECT_EQ(rig.Flash().Cells()[0x0106], 0xFF);  // none after it
  EXPECT_TRUE(rig.Flash().InReadMode());
}

TEST_P(BootstrapFlash, AcceptThirtyTwoDataBytesAndNeverAnswerThirtyThree) {
  TBootstrapRig rig(Image(), Chip());
  EXPECT_EQ(rig.Exchange(WriteRequest(0, 0x1000, Sequence(32, 0))), Bytes("50 57 92 01 C6"));
  EXPECT_EQ(rig.Flash().Cells()[0x101F], 31);
  EXPECT_TRUE(rig.Exchange(WriteRequest(0, 0x2000, Sequence(33, 0))).empty());
  EXPECT_EQ(rig.Flash().Cells()[0x2000], 0xFF);
}

TEST_P(BootstrapFlash, DropAWriteWhoseCountExceedsItsData) {
  TBootstrapRig rig(Image(), Chip());
  auto request = WriteRequest(0, 0x3000, Sequence(4, 1));
  request[6] = 5;  // count says 5, four data bytes follow
  request.back() = static_cast<std::uint8_t>(request.back() - 1);
  EXPECT_TRUE(rig.Exchange(request).empty());
  EXPECT_EQ(rig.Flash().BytesProgrammed(), 0);
}

TEST_P(BootstrapFlash, ReadConsecutiveBytes) {
  TBootstrapRig rig(Image(), Chip());
  for (unsigned i = 0; i < 16; ++i) {
    rig.Flash().Cells()[0x10000 + 0x6020 + i] = static_cast<std::uint8_t>(0xA0 + i);
    rig.Flash().Cells()[0x6020 + i] = static_cast<std::uint8_t>(0xA0 + i);
  }
  auto expected = Sequence(16, 0xA0);
  expected.insert(expected.begin(), 0x93);
  EXPECT_EQ(rig.Exchange(Bytes("46 5A 93 00 20 60 10 3D")), Reply(expected));
  EXPECT_EQ(rig.Exchange(ReadRequest(0, 0xFFFF, 0)), Reply({0x93}));
}

TEST_P(BootstrapFlash, StayInProgrammingStateAcrossPromptWritesOnly) {
  TBootstrapRig rig(Image(), Chip());
  ASSERT_EQ(rig.Exchange(WriteRequest(0, 0x0000, Sequence(4, 1))), Bytes("50 57 92 01 C6"));
  ASSERT_EQ(rig.Exchange(WriteRequest(0, 0x0004, Sequence(4, 5))), Bytes("50 57 92 01 C6"));
  EXPECT_EQ(rig.Flash().AutoselectsEntered(), 1);

  rig.Run(15 * TickCycles);  // a pause: the program resets the chip and leaves the state
  ASSERT_EQ(rig.Exchange(WriteRequest(0, 0x0008, Sequence(4, 9))), Bytes("50 57 92 01 C6"));
  EXPECT_EQ(rig.Flash().AutoselectsEntered(), 2);
  EXPECT_EQ(rig.Flash().Cells()[0x000B], 12);
}

INSTANTIATE_TEST_SUITE_P(Both, BootstrapFlash,
                         ::testing::Values(TImageCase{"January", &January, true},
                                           TImageCase{"Mikas", &Mikas, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(JanuaryBootstrap, BankBitZeroSelectsTheFlashPage) {
  TBootstrapRig rig(January());
  rig.Flash().Cells()[0x0000] = 0x11;
  rig.Flash().Cells()[0x10000] = 0x22;
  EXPECT_EQ(rig.Exchange(ReadRequest(1, 0x0000, 1)), Reply({0x93, 0x22}));
  EXPECT_EQ(rig.Exchange(ReadRequest(0, 0x0000, 1)), Reply({0x93, 0x11}));
  EXPECT_EQ(rig.Exchange(ReadRequest(0x11, 0x0000, 1)), Reply({0x93, 0x22}));

  EXPECT_EQ(rig.Exchange(WriteRequest(1, 0x0100, {0x5A})), Bytes("50 57 92 01 C6"));
  EXPECT_EQ(rig.Flash().Cells()[0x10100], 0x5A);
  EXPECT_EQ(rig.Flash().Cells()[0x00100], 0xFF);
}

TEST(MikasBootstrap, IgnoresTheBankByte) {
  // Even on a board that wires the page line, the program leaves it alone.
  TBootstrapRig rig(Mikas());
  rig.Flash().Cells()[0x0000] = 0x11;
  rig.Flash().Cells()[0x10000] = 0x22;
  const auto page0 = rig.Exchange(ReadRequest(0, 0x0000, 1));
  EXPECT_EQ(rig.Exchange(ReadRequest(1, 0x0000, 1)), page0);
  EXPECT_EQ(page0.size(), 5u);
}

TEST(JanuaryBootstrap, UsesTheAlternateAddressingWhenEraseByteBitSevenIsSet) {
  const TTestFlashConfig byteModeChip{.deviceCode = 0x51, .byteMode = true};
  {
    TBootstrapRig rig(January(), byteModeChip);
    ASSERT_EQ(rig.Exchange(Request({0x90, 0x14, 0x00, 0x94})), Reply({0x90, 0x14, 0x00, 0x94}));
    rig.Flash().Cells()[0x0777] = 0x00;
    EXPECT_EQ(rig.Exchange(Bytes("46 56 91 D3"), EraseReplyLimit), Reply({0x91, 0x01, 0x00, 0x00, 0x00}));
    EXPECT_EQ(rig.Flash().ErasesStarted(), 1);
    EXPECT_EQ(rig.Exchange(WriteRequest(0, 0x0770, Sequence(16, 0x40))), Bytes("50 57 92 01 C6"));
    EXPECT_EQ(rig.Flash().Cells()[0x0777], 0x47);
  }
  {
    // With bit 7 clear the chip never sees a valid unlock: nothing is erased or written.
    TBootstrapRig rig(January(), byteModeChip);
    rig.Flash().Cells()[0x0770] = 0x00;
    ASSERT_FALSE(rig.Exchange(Bytes("46 59 90 14 00 14 A9")).empty());
    rig.Exchange(Bytes("46 56 91 D3"), EraseReplyLimit);
    EXPECT_EQ(rig.Flash().ErasesStarted(), 0);
    EXPECT_EQ(rig.Exchange(WriteRequest(0, 0x0771, {0x12})), Reply({0x92, 0x00, 0x00, 0x71, 0x07, 0x12}));
  }
}

TEST(JanuaryBootstrap, WritesAnUnknownChipLikeTheFirstKind) {
  TBootstrapRig rig(January(), TTestFlashConfig{.deviceCode = 0x77});
  EXPECT_EQ(rig.Exchange(WriteRequest(0, 0x0010, Sequence(16, 1))), Bytes("50 57 92 01 C6"));
  EXPECT_EQ(rig.Flash().BytesProgrammed(), 16);
}

TEST(MikasBootstrap, NeverWritesAChipItDoesNotKnow) {
  for (std::uint8_t code : {0x77, 0x51, 0x57}) {
    TBootstrapRig rig(Mikas(), TTestFlashConfig{.deviceCode = code, .pageLineWired = false});
    EXPECT_EQ(rig.Exchange(WriteRequest(0, 0x0010, Sequence(16, 1))),
              Reply({0x92, 0x00, 0x00, 0x10, 0x00, 0x01}))
        << "device code " << int(code);
    // The next prompt request is refused too, though the chip stays in programming state.
    EXPECT_EQ(rig.Exchange(WriteRequest(0, 0x0010, Sequence(16, 1))),
              Reply({0x92, 0x00, 0x00, 0x10, 0x00, 0x01}));
    EXPECT_EQ(rig.Flash().BytesProgrammed(), 0);
  }
}

TEST(MikasBootstrap, GivesTheTimedChipKindsAFixedEraseTime) {
  // The Atmel-type kind is not polled: even a chip that reports failure counts as erased,
  // after 10 x 200 ticks.
  TBootstrapRig rig(Mikas(), TTestFlashConfig{.deviceCode = 0x13, .eraseFails = true, .pageLineWired = false});
  ASSERT_FALSE(rig.Exchange(Bytes("46 59 90 14 00 14 A9")).empty());
  rig.Send(Bytes("46 56 91 D3"));
  const auto reply = rig.AwaitReply(EraseReplyLimit);
  EXPECT_EQ(reply, Reply({0x91, 0x01, 0x00, 0x00, 0x00}));
  const auto waited = rig.FirstReplyCycle() - rig.LastDeliveryCycle();
  EXPECT_GT(waited, 1990 * TickCycles);
  EXPECT_LT(waited, 2020 * TickCycles);
}

TEST(JanuaryBootstrap, PollsEveryChipKind) {
  for (std::uint8_t code : {0x20, 0x13, 0x0B, 0xB0, 0x34, 0x57}) {
    TBootstrapRig rig(January(), TTestFlashConfig{.deviceCode = code, .eraseFails = true});
    ASSERT_FALSE(rig.Exchange(Bytes("46 59 90 14 00 14 A9")).empty());
    EXPECT_EQ(rig.Exchange(Bytes("46 56 91 D3"), EraseReplyLimit), Reply({0x91, 0x14, 0x00, 0x00, 0x00}))
        << "device code " << int(code);
  }
}

TEST(MikasBootstrap, PollsTheOtherKnownKinds) {
  for (std::uint8_t code : {0x20, 0xB0, 0x34}) {
    TBootstrapRig rig(Mikas(), TTestFlashConfig{.deviceCode = code, .eraseFails = true, .pageLineWired = false});
    ASSERT_FALSE(rig.Exchange(Bytes("46 59 90 14 00 14 A9")).empty());
    EXPECT_EQ(rig.Exchange(Bytes("46 56 91 D3"), EraseReplyLimit), Reply({0x91, 0x14, 0x00, 0x00, 0x00}))
        << "device code " << int(code);
  }
}

TEST(MikasBootstrap, ProgramsTheTimedKindsWithAFewPolls) {
  TBootstrapRig rig(Mikas(), TTestFlashConfig{.deviceCode = 0x0B, .pageLineWired = false});
  EXPECT_EQ(rig.Exchange(WriteRequest(0, 0x0200, Sequence(16, 0x10))), Bytes("50 57 92 01 C6"));
  EXPECT_EQ(rig.Flash().Cells()[0x020F], 0x1F);
}

}  // namespace
}  // namespace quillorn::bootstraptests
