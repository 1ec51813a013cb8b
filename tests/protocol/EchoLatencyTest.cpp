// The echo delay estimate: the upper median of the newest samples, so one stretched wait
// neither raises nor hides a slow line.
#include <gtest/gtest.h>

#include "protocol/EchoLatency.hpp"

namespace quillorn::test {
namespace {

TEST(EchoLatency, UpperMedianOfTheNewestSamples) {
  const struct {
    std::vector<uint32_t> samples;
    uint32_t estimate;
  } cases[] = {
      {{}, 0},
      {{16000}, 16000},
      {{300, 9000}, 9000},                         // two: the larger
      {{300, 25000, 400}, 400},                    // one stalled wait does not count
      {{16000, 200, 16500}, 16000},                // one early echo does not hide the delay
      {{1, 1, 1, 1, 1, 1, 1, 9, 9, 9, 9}, 9},      // only the newest seven are kept
  };
  for (const auto& c : cases) {
    TEchoLatency latency;
    for (uint32_t sample : c.samples) latency.Add(sample);
    EXPECT_EQ(latency.EstimateMicros(), c.estimate) << ::testing::PrintToString(c.samples);
  }
  TEchoLatency cleared;
  cleared.Add(5000);
  cleared.Clear();
  EXPECT_EQ(cleared.Count(), 0u);
  EXPECT_EQ(cleared.EstimateMicros(), 0u);
}

}  // namespace
}  // namespace quillorn::test
