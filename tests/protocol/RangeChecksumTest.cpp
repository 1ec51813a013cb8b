// The PC's half of the range checksum: it must agree with the ECU's (the bootstrap tests
// compare the two) and catch what the frames' additive checksum cannot.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "protocol/RangeChecksum.hpp"

namespace quillorn {
namespace {

TEST(RangeChecksum, GivesThePolynomialsCheckValueAndTheStartValueForNothing) {
  const char* text = "123456789";
  EXPECT_EQ(RangeChecksumOf(reinterpret_cast<const uint8_t*>(text), std::strlen(text)), 0x29B1);
  EXPECT_EQ(RangeChecksumOf(nullptr, 0), 0xFFFF);
}

// What the bench's tamper option does to a write request: +d at one byte, -d at another, so
// the request's own sum still matches. Every such pair in a 32-byte request must show.
TEST(RangeChecksum, ChangesForEveryCancellingPairOfByteChanges) {
  std::vector<uint8_t> data(32);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 37 + 11);
  const uint16_t reference = RangeChecksumOf(data.data(), data.size());
  int missed = 0;
  for (size_t i = 0; i < data.size(); ++i) {
    for (size_t j = i + 1; j < data.size(); ++j) {
      for (int d = 1; d < 256; ++d) {
        std::vector<uint8_t> changed = data;
        changed[i] = static_cast<uint8_t>(changed[i] + d);
        changed[j] = static_cast<uint8_t>(changed[j] - d);
        if (RangeChecksumOf(changed.data(), changed.size()) == reference) ++missed;
      }
    }
  }
  EXPECT_EQ(missed, 0);
}

}  // namespace
}  // namespace quillorn
