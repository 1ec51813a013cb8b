// The range checksum request 0x99 of the Январь program: the CRC computed on the ECU must be
// the one the PC computes over the same bytes, for any range of either page.

#include <gtest/gtest.h>

#include <random>

#include "protocol/RangeChecksum.hpp"
#include "tests/bootstrap/BootstrapTestSupport.hpp"

namespace quillorn::bootstraptests {
namespace {

std::vector<std::uint8_t> ChecksumRequest(std::uint8_t bank, std::uint16_t address, std::uint32_t count) {
  return Request({0x99, bank, static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(address >> 8),
                  static_cast<std::uint8_t>(count), static_cast<std::uint8_t>(count >> 8)});
}

std::vector<std::uint8_t> ChecksumReply(std::uint8_t bank, std::uint16_t address, std::uint32_t count,
                                        std::uint16_t crc) {
  return Reply({0x99, bank, static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(address >> 8),
                static_cast<std::uint8_t>(count), static_cast<std::uint8_t>(count >> 8),
                static_cast<std::uint8_t>(crc), static_cast<std::uint8_t>(crc >> 8)});
}

// The bytes of the range as the page holds them, the address wrapping inside the page.
std::vector<std::uint8_t> PageRange(TBootstrapRig& rig, unsigned page, std::uint16_t address, std::uint32_t count) {
  std::vector<std::uint8_t> bytes;
  for (std::uint32_t i = 0; i < count; ++i) {
    bytes.push_back(rig.Flash().Cells()[page * 0x10000u + ((address + i) & 0xFFFFu)]);
  }
  return bytes;
}

void FillRandom(TBootstrapRig& rig, unsigned seed) {
  std::mt19937 random(seed);
  for (auto& cell : rig.Flash().Cells()) cell = static_cast<std::uint8_t>(random());
}

// A 64 KiB range takes about 1.25 million machine cycles; twice that is the limit.
constexpr std::uint64_t WholePageLimit = 2'500'000;

TEST(JanuaryBootstrap, AnswersTheRangeChecksumWorkedExample) {
  TBootstrapRig rig(January());
  const std::string text = "123456789";
  std::copy(text.begin(), text.end(), rig.Flash().Cells().begin() + 0x1000);
  // The CRC of "123456789" is the polynomial's published check value 0x29B1.
  EXPECT_EQ(ChecksumRequest(0, 0x1000, 9), Bytes("46 5B 99 00 00 10 09 00 AD"));
  EXPECT_EQ(rig.Exchange(Bytes("46 5B 99 00 00 10 09 00 AD")), Bytes("50 5D 99 00 00 10 09 00 B1 29 C7"));
}

TEST(JanuaryBootstrap, RangeChecksumMatchesThePcSumForEveryCountAndPage) {
  const struct {
    std::uint8_t bank;
    std::uint16_t address;
    std::uint32_t count;  // as sent: 0 stands for 65,536
  } cases[] = {
      {0, 0x0000, 1},      {1, 0x0000, 1},      {0, 0x6020, 16},     {1, 0x6020, 16},
      {0, 0x00FF, 2},      // the address crosses into the next 256 bytes after one byte
      {0, 0x1234, 0x0100},  // whole passes of the inner loop only
      {1, 0x1234, 0x0101},  // one pass more for a single byte
      {0, 0xFFF0, 0x0020},  // wraps to the start of the same page
      {0x11, 0x8000, 0x8000},  // only bit 0 of the bank byte chooses the page
  };
  TBootstrapRig rig(January());
  FillRandom(rig, 7);
  for (const auto& c : cases) {
    const auto bytes = PageRange(rig, c.bank & 1, c.address, c.count);
    EXPECT_EQ(rig.Exchange(ChecksumRequest(c.bank, c.address, c.count), WholePageLimit),
              ChecksumReply(c.bank, c.address, c.count, RangeChecksumOf(bytes.data(), bytes.size())))
        << "bank " << int(c.bank) << " address " << c.address << " count " << c.count;
    EXPECT_EQ(rig.PageLine(), (c.bank & 1) != 0);
  }
}

TEST(JanuaryBootstrap, ChecksumsAWholePageWithCountZeroWhileTheTickRuns) {
  TBootstrapRig rig(January());
  FillRandom(rig, 11);
  for (std::uint8_t bank : {0, 1}) {
    const auto page = PageRange(rig, bank, 0, 0x10000);
    const std::size_t stepsBefore = rig.OutputSteps().size();
    EXPECT_EQ(rig.Exchange(ChecksumRequest(bank, 0, 0), WholePageLimit),
              ChecksumReply(bank, 0, 0, RangeChecksumOf(page.data(), page.size())));
    const std::uint64_t cycles = rig.FirstReplyCycle() - rig.LastDeliveryCycle();
    // One output step per 15 ticks: the periodic output keeps sweeping during the sum.
    EXPECT_GE(rig.OutputSteps().size() - stepsBefore, cycles / (15 * TickCycles) - 1);
    EXPECT_LT(cycles, WholePageLimit);
  }
}

TEST(JanuaryBootstrap, RangeChecksumCatchesChangesThatCancelInAnAdditiveSum) {
  TBootstrapRig rig(January());
  FillRandom(rig, 3);
  const auto reference = rig.Exchange(ChecksumRequest(0, 0x4000, 16));
  rig.Flash().Cells()[0x4003] += 0x40;
  rig.Flash().Cells()[0x400B] -= 0x40;
  const auto changed = rig.Exchange(ChecksumRequest(0, 0x4000, 16));
  ASSERT_EQ(changed.size(), 11u);
  EXPECT_NE(changed, reference);
}

TEST(Bootstraps, DropAShortChecksumRequestAndMikasHasNone) {
  TBootstrapRig january(January());
  EXPECT_TRUE(january.Exchange(Request({0x99, 0x00, 0x00, 0x10, 0x09})).empty());
  TBootstrapRig mikas(Mikas(), {.pageLineWired = false});
  EXPECT_TRUE(mikas.Exchange(ChecksumRequest(0, 0x1000, 9)).empty());
}

}  // namespace
}  // namespace quillorn::bootstraptests
