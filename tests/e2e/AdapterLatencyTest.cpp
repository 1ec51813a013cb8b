// The echo delay measured on the way to the ECU, and the notice the poll gives once per port.
#include <gtest/gtest.h>

#include "bench/kit/MeasuredBench.hpp"
#include "jobs/LinkPoll.hpp"
#include "platform/Clock.hpp"

namespace quillorn::test {
namespace {

class TRecordingPollView final : public ILinkPollView {
 public:
  void ShowProgrammerModel(const std::string&) override {}
  void ShowLinkText(const std::string&) override {}
  void ShowLatencyNotice(const std::string& text) override { notices.push_back(text); }
  std::vector<std::string> notices;
};

TEST(AdapterLatency, ASlowAdapterIsToldOncePerPortAQuickOneNever) {
  const struct {
    const char* bench;
    TEcuFamily family;
    size_t notices;
  } cases[] = {
      {"sim:january5,pace=line,latency=16", TEcuFamily::January5, 1},
      {"sim:m797,pace=line,latency=8", TEcuFamily::M797, 1},
      {"sim:january5,pace=line", TEcuFamily::January5, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bench);
    std::string error;
    auto bench = benchkit::TMeasuredBench::Create(c.bench, &error);
    ASSERT_TRUE(bench) << error;
    TLinkState link;
    TC509Pro loader(link);
    TFlashPro memory(link);
    TLinkSession session;
    TRecordingPollView view;
    TLinkPoll poll(loader, memory, session, view);
    const TPollSettings settings{bench->PortNumber(), 57600, c.family};
    auto ticks = [&](int count) {
      for (int tick = 0; tick < count; ++tick) {
        SleepMs(100);  // the box's lines settle between two ticks, as on screen
        poll.Tick(settings);
      }
    };
    // The command-line pass judges on its two samples; the quick line goes the window's way,
    // whose median of three keeps a stalled wait on a busy machine from raising an alarm.
    if (c.notices > 0) {
      ASSERT_EQ(ReachEcu(poll, session, settings, link), kOk);
    } else {
      ticks(3);
    }
    ticks(3);  // the window's probes go on
    ASSERT_EQ(link.LastResult, kOk);
    ASSERT_EQ(view.notices.size(), c.notices);
    if (c.notices == 0) continue;
    // A busy machine can only add to the delay measured.
    const uint32_t latencyMs = c.family == TEcuFamily::M797 ? 8 : 16;
    EXPECT_GE(link.EchoLatency.EstimateMicros(), latencyMs * 1000) << view.notices[0];
    EXPECT_NE(view.notices[0].find("Порт COM"), std::string::npos) << view.notices[0];
  }
}

}  // namespace
}  // namespace quillorn::test
