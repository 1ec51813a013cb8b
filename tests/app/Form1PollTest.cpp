// The status timer's ticks as the window shows them.
#include "tests/app/Form1Fixture.hpp"

namespace quillorn::test {
namespace {

using Form1Poll = Form1Test;

TEST_F(Form1Poll, PortThatCannotBeOpenedKeepsSearchingEverySecond) {
  Show();
  for (int tick = 0; tick < 3; ++tick) {
    form->CheckStatusTimerTimer();
    EXPECT_EQ(form->Session.LinkState, kLinkStartOver);
    EXPECT_EQ(Panel(2), " Нет связи ");
    EXPECT_FALSE(Enabled(TControlId::WriteECU));
    EXPECT_FALSE(Enabled(TControlId::Ident));
  }
}

TEST_F(Form1Poll, TickUsesTheWindowsPortSpeedAndFamily) {
  Seed("ECU", 5);
  Seed("Baud", 9600);
  Show();
  const TPollSettings settings = form->PollSettings();
  EXPECT_EQ(settings.portNumber, 1);
  EXPECT_EQ(settings.baud, 9600);
  EXPECT_EQ(settings.family, TEcuFamily::M10);
}

}  // namespace
}  // namespace quillorn::test
