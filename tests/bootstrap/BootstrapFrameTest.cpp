// Both bootstrap images on the serial line: image layout, the frame envelope, the erase
// parameters, dropped frames, the receive time limit, the periodic output and the finish
// request.

#include <gtest/gtest.h>

#include "tests/bootstrap/BootstrapTestSupport.hpp"

namespace quillorn::bootstraptests {
namespace {

struct TImageCase {
  const char* name;
  std::span<const std::uint8_t> (*image)();
  std::size_t size;
};

class BootstrapImages : public ::testing::TestWithParam<TImageCase> {
 protected:
  std::span<const std::uint8_t> Image() const { return GetParam().image(); }
};

TEST_P(BootstrapImages, StartWithTheTimerStubAndFillerBeforeTheEntryPoint) {
  const auto image = Image();
  ASSERT_EQ(image.size(), GetParam().size);
  EXPECT_EQ(image[0], 0x00);  // NOP
  EXPECT_EQ(image[1], 0xC2);  // CLR TF0
  EXPECT_EQ(image[2], 0x8D);
  EXPECT_EQ(image[3], 0x02);  // LJMP into the image, past the entry point
  const unsigned tick = image[4] << 8 | image[5];
  EXPECT_GT(tick, 0xF420u);
  EXPECT_LT(tick, 0xF400u + image.size());
  for (std::size_t i = 6; i < 0x20; ++i) {
    EXPECT_EQ(image[i], 0xFF) << "offset " << i;
  }
  EXPECT_NE(image[0x20], 0xFF);
}

TEST_P(BootstrapImages, AnswerTheEraseParametersWithoutErasing) {
  TBootstrapRig rig(Image());
  rig.Flash().Cells()[0x1234] = 0x5A;

  EXPECT_EQ(rig.Exchange(Bytes("46 59 90 14 00 14 A9")), Bytes("50 59 90 14 00 14 9F"));
  EXPECT_EQ(rig.Flash().ErasesStarted(), 0);
  EXPECT_EQ(rig.Flash().Cells()[0x1234], 0x5A);
}

TEST_P(BootstrapImages, ClampTheEraseWordHighByteToThreeAndTheByteToTwentyFive) {
  TBootstrapRig rig(Image());
  EXPECT_EQ(rig.Exchange(Request({0x90, 0x14, 0x09, 0x7F})), Reply({0x90, 0x14, 0x03, 0x19}));
  EXPECT_EQ(rig.Exchange(Request({0x90, 0xFF, 0x03, 0x19})), Reply({0x90, 0xFF, 0x03, 0x19}));
  EXPECT_EQ(rig.Exchange(Request({0x90, 0x00, 0x04, 0x1A})), Reply({0x90, 0x00, 0x03, 0x19}));
}

TEST_P(BootstrapImages, DropADamagedFrameAndTakeTheNextOne) {
  TBootstrapRig rig(Image());
  auto damaged = Bytes("46 59 90 14 00 14 A9");
  damaged[4] ^= 0x01;
  EXPECT_TRUE(rig.Exchange(damaged).empty());
  EXPECT_EQ(rig.Exchange(Bytes("46 59 90 14 00 14 A9")), Bytes("50 59 90 14 00 14 9F"));
}

TEST_P(BootstrapImages, DropFramesWithoutLengthTooLongOrWithoutHandler) {
  TBootstrapRig rig(Image());
  EXPECT_TRUE(rig.Exchange(Bytes("46 55 65")).empty());             // L = 0
  EXPECT_TRUE(rig.Exchange(Bytes("46 54 66")).empty());             // length byte below 0x55
  std::vector<std::uint8_t> longFrame(38, 0x00);
  longFrame[0] = 0x93;
  EXPECT_TRUE(rig.Exchange(Request(longFrame)).empty());            // L = 38
  EXPECT_TRUE(rig.Exchange(Request({0x95, 0, 0, 0, 1, 0})).empty());  // upload space: none
  EXPECT_TRUE(rig.Exchange(Request({0x9E, 0, 0, 0, 1})).empty());
  EXPECT_TRUE(rig.Exchange(Request({0x90, 0x14, 0x00})).empty());     // erase byte missing
  EXPECT_TRUE(rig.Exchange(Request({0x93, 0, 0, 0, 37})).empty());    // more than a reply holds
  // Garbage in front of a frame costs nothing but time.
  rig.Send(Bytes("00 55 FF"));
  EXPECT_EQ(rig.Exchange(Bytes("46 59 90 14 00 14 A9")), Bytes("50 59 90 14 00 14 9F"));
}

TEST_P(BootstrapImages, DropAFrameThatPausesForMoreThanTenTicks) {
  TBootstrapRig rig(Image());
  const auto frame = Bytes("46 59 90 14 00 14 A9");
  const std::span<const std::uint8_t> whole(frame);

  rig.Send(whole.first(4));
  rig.Send(whole.subspan(4), 11 * TickCycles);
  EXPECT_TRUE(rig.AwaitReply().empty());

  rig.Send(whole.first(4));
  rig.Send(whole.subspan(4), 8 * TickCycles);
  EXPECT_EQ(rig.AwaitReply(), Bytes("50 59 90 14 00 14 9F"));
}

TEST_P(BootstrapImages, KeepTheReceiverOffWhileReplying) {
  TBootstrapRig rig(Image());
  rig.Send(Bytes("46 59 90 14 00 14 A9"));
  // A stray frame start heard while the reply goes out must not begin a frame.
  rig.Send(Bytes("46"), 3 * CharCycles);
  EXPECT_EQ(rig.AwaitReply(), Bytes("50 59 90 14 00 14 9F"));
  EXPECT_EQ(rig.BytesLost(), 1);
  EXPECT_EQ(rig.Exchange(Bytes("46 59 90 14 00 14 A9")), Bytes("50 59 90 14 00 14 9F"));
}

TEST_P(BootstrapImages, SweepThePeriodicOutputEveryFifteenTicks) {
  TBootstrapRig rig(Image());
  rig.Run(120 * 15 * TickCycles);
  const auto& steps = rig.OutputSteps();
  ASSERT_GE(steps.size(), 110u);
  bool sawTop = false;
  bool sawBottomAfterTop = false;
  for (std::size_t i = 1; i < steps.size(); ++i) {
    const auto spacing = steps[i].cycle - steps[i - 1].cycle;
    EXPECT_NEAR(static_cast<double>(spacing), 15.0 * TickCycles, 15.0 * 40) << "step " << i;
    EXPECT_GE(steps[i].value, 0xCD);
    const int delta = steps[i].value - steps[i - 1].value;
    EXPECT_TRUE(delta == 1 || delta == -1) << "step " << i;
    sawTop = sawTop || steps[i].value == 0xFF;
    sawBottomAfterTop = sawBottomAfterTop || (sawTop && steps[i].value == 0xCD);
  }
  EXPECT_TRUE(sawTop);
  EXPECT_TRUE(sawBottomAfterTop);
}

INSTANTIATE_TEST_SUITE_P(Both, BootstrapImages,
                         ::testing::Values(TImageCase{"January", &January, 1864},
                                           TImageCase{"Mikas", &Mikas, 1069}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(JanuaryBootstrap, KeepsBitSevenOfTheEraseByte) {
  TBootstrapRig rig(January());
  EXPECT_EQ(rig.Exchange(Request({0x90, 0x14, 0x00, 0x94})), Reply({0x90, 0x14, 0x00, 0x94}));
  EXPECT_EQ(rig.Exchange(Request({0x90, 0x14, 0x00, 0xFF})), Reply({0x90, 0x14, 0x00, 0x99}));
  EXPECT_EQ(rig.Exchange(Request({0x90, 0x14, 0x00, 0x9A})), Reply({0x90, 0x14, 0x00, 0x99}));
  EXPECT_EQ(rig.Exchange(Request({0x90, 0x14, 0x00, 0x99})), Reply({0x90, 0x14, 0x00, 0x99}));
}

TEST(MikasBootstrap, ClampsTheWholeEraseByte) {
  TBootstrapRig rig(Mikas());
  EXPECT_EQ(rig.Exchange(Request({0x90, 0x14, 0x00, 0x94})), Reply({0x90, 0x14, 0x00, 0x19}));
}

TEST(JanuaryBootstrap, FinishStopsTheTickAndWaitsWithoutTimeLimit) {
  TBootstrapRig rig(January());
  rig.Send(Bytes("46 56 9A CA"));
  EXPECT_TRUE(rig.AwaitReply(20 * TickCycles).empty());
  const auto stepsBefore = rig.OutputSteps().size();
  rig.Run(100 * TickCycles);
  EXPECT_EQ(rig.OutputSteps().size(), stepsBefore);

  const auto frame = Bytes("46 59 90 14 00 14 A9");
  const std::span<const std::uint8_t> whole(frame);
  rig.Send(whole.first(3));
  rig.Send(whole.subspan(3), 50 * TickCycles);
  EXPECT_EQ(rig.AwaitReply(), Bytes("50 59 90 14 00 14 9F"));
}

TEST(MikasBootstrap, IgnoresTheFinishRequest) {
  TBootstrapRig rig(Mikas());
  rig.Send(Bytes("46 56 9A CA"));
  EXPECT_TRUE(rig.AwaitReply(20 * TickCycles).empty());
  const auto stepsBefore = rig.OutputSteps().size();
  rig.Run(100 * TickCycles);
  EXPECT_GT(rig.OutputSteps().size(), stepsBefore);

  const auto frame = Bytes("46 59 90 14 00 14 A9");
  const std::span<const std::uint8_t> whole(frame);
  rig.Send(whole.first(3));
  rig.Send(whole.subspan(3), 50 * TickCycles);
  EXPECT_TRUE(rig.AwaitReply().empty());
}

}  // namespace
}  // namespace quillorn::bootstraptests
