// Settings kept between runs, port discovery and the start-up port check, as the window does them.
#include "tests/app/Form1Fixture.hpp"

namespace quillorn::test {
namespace {

using Form1Settings = Form1Test;

TEST_F(Form1Settings, FirstRunShowsDefaultsAndCloseWritesThem) {
  Show();
  EXPECT_EQ(form->Control(TControlId::BaudList).selected, 1);
  EXPECT_EQ(form->SelectedBaud, 38400);
  EXPECT_TRUE(form->IsChecked(TControlId::January));
  EXPECT_EQ(form->Control(TControlId::ComSelector).selected, 0);  // the first port found
  EXPECT_EQ(form->SelectedPortNumber(), 1);
  form->FormClose();
  EXPECT_EQ(Stored("COM"), 1u);
  EXPECT_EQ(Stored("Baud"), 38400u);
  EXPECT_EQ(Stored("ECU"), 0u);
  EXPECT_EQ(Stored("DualProg"), 0u);
  EXPECT_EQ(Stored("SecondPage"), 0u);
}

TEST_F(Form1Settings, StoredSpeedSelectsOrExtendsTheList) {
  Seed("Baud", 19200);
  Show();
  EXPECT_EQ(form->Control(TControlId::BaudList).selected, 2);
  EXPECT_EQ(form->SelectedBaud, 19200);
  form.reset();

  Seed("Baud", 115200);
  Show();
  const TControlState& list = form->Control(TControlId::BaudList);
  ASSERT_EQ(list.items.size(), 5u);
  EXPECT_EQ(list.items.back(), "115200");
  EXPECT_EQ(list.selected, 4);
  EXPECT_EQ(form->SelectedBaud, 115200);
  EXPECT_EQ(view.shown[TControlId::BaudList].items.back(), "115200");
  form->FormClose();
  EXPECT_EQ(Stored("Baud"), 115200u);
}

TEST_F(Form1Settings, StoredFamilyChecksItsButtonAndRunsItsHandler) {
  Seed("ECU", 1);
  Show();
  EXPECT_TRUE(form->IsChecked(TControlId::Mikas));
  EXPECT_FALSE(form->IsChecked(TControlId::January));
  EXPECT_EQ(form->Control(TControlId::Passport1).text, "Программа");
  EXPECT_EQ(form->Control(TControlId::Passport3).text, "Регулировки");
  form.reset();

  Seed("ECU", 4);
  Show();
  EXPECT_TRUE(form->IsChecked(TControlId::M797));
  EXPECT_FALSE(form->Control(TControlId::M797).visible);
  form->SetControlMode(ControlsReady);
  EXPECT_TRUE(Enabled(TControlId::WriteECU));
  EXPECT_FALSE(Enabled(TControlId::WriteEEPROM));
  EXPECT_EQ(form->PollSettings().family, TEcuFamily::M797);
  form.reset();

  Seed("ECU", 9);  // out of range: ignored
  Show();
  EXPECT_TRUE(form->IsChecked(TControlId::January));
}

TEST_F(Form1Settings, OptionsAreRestoredAndDualProgRunsItsHandler) {
  Seed("DualProg", 1);
  Seed("SecondPage", 7);
  Show();
  EXPECT_TRUE(form->IsChecked(TControlId::DualProg));
  EXPECT_TRUE(form->IsChecked(TControlId::SecondPage));
  form->FormClose();
  EXPECT_EQ(Stored("DualProg"), 1u);
  EXPECT_EQ(Stored("SecondPage"), 1u);
}

TEST_F(Form1Settings, AvtronLeavesTheStoredFamilyAlone) {
  Seed("ECU", 3);
  Show();
  EXPECT_TRUE(form->IsChecked(TControlId::January72));
  form->CheckFamily(TControlId::Avtron);
  ASSERT_TRUE(form->IsChecked(TControlId::Avtron));
  EXPECT_EQ(form->CheckedFamily(), TEcuFamily::January5);
  form->FormClose();
  EXPECT_EQ(Stored("ECU"), 3u);
}

TEST_F(Form1Settings, ValuesThatAreNotNumbersAreIgnored) {
  WriteTextValue(location, "Baud", "fast");
  WriteTextValue(location, "ECU", "1");
  Show();
  EXPECT_EQ(form->Control(TControlId::BaudList).selected, 1);
  EXPECT_TRUE(form->IsChecked(TControlId::January));
}

TEST_F(Form1Settings, UnusableStoreLeavesTheWindowAsBuilt) {
  location = UnusableSettingsLocation();
  Show();
  EXPECT_EQ(form->Control(TControlId::BaudList).selected, -1);
  EXPECT_EQ(form->SelectedBaud, 38400);
  EXPECT_TRUE(form->IsChecked(TControlId::January));
  form->FormClose();  // writes nothing and says nothing
  EXPECT_TRUE(view.Boxes().size() == 1u);  // only the start-up port check
}

TEST_F(Form1Settings, PortScanFillsTheSelectorInOrder) {
  Build();
  EXPECT_EQ(form->Control(TControlId::ComSelector).items, (std::vector<std::string>{"COM1", "COM3", "COM12"}));
  EXPECT_EQ(form->Control(TControlId::ComSelector).selected, -1);
  form->SelectPortNumber(12);
  EXPECT_EQ(form->SelectedPortNumber(), 12);
  EXPECT_EQ(form->PortNumber, 12);
  form->SelectPortNumber(7);
  EXPECT_EQ(form->Control(TControlId::ComSelector).selected, -1);
  EXPECT_EQ(form->PortNumber, 7);
  EXPECT_TRUE(view.Boxes().empty());
}

TEST_F(Form1Settings, NoPortsFoundIsReportedOnce) {
  ports.clear();
  Build();
  const auto boxes = view.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text,
            "Нет свободных коммуникационных портов. Попробуйте закрыть приложения, использующие последовательный порт.");
  EXPECT_EQ(boxes[0].caption, "Ошибка порта");
  EXPECT_EQ(boxes[0].flags, 16u);
  EXPECT_TRUE(form->Control(TControlId::ComSelector).items.empty());
}

TEST_F(Form1Settings, StoredPortThatCannotBeOpenedIsNamedAtStartUp) {
  Seed("COM", 5);
  Show();
  EXPECT_EQ(form->PortNumber, 5);
  EXPECT_EQ(form->Control(TControlId::ComSelector).selected, -1);
  const auto boxes = view.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Коммуникационный порт 5 занят или отсутствует. Попробуйте переключиться на другой порт.");
  EXPECT_EQ(boxes[0].caption, "Ошибка порта");
  EXPECT_EQ(boxes[0].flags, 16u);
  // The next save writes 1: no item is selected.
  form->FormClose();
  EXPECT_EQ(Stored("COM"), 1u);
}

// The poll watches PortNumber and a job takes the selection: on a first run both must name
// the first port found, and a port plugged in later is chosen once nothing else was.
TEST_F(Form1Settings, FirstRunChoosesTheFirstPortFoundForThePollAndTheJobs) {
  ports = {3, 12};
  Show();
  EXPECT_EQ(form->SelectedPortNumber(), 3);
  EXPECT_EQ(form->PortNumber, 3);
  EXPECT_EQ(view.Boxes().back().text, "Коммуникационный порт 3 занят или отсутствует. Попробуйте переключиться на другой порт.");
  form.reset();

  ports.clear();
  Show();
  EXPECT_EQ(form->SelectedPortNumber(), 0);
  ports = {12};
  form->PortsChanged();
  form->CheckStatusTimerTimer();
  EXPECT_EQ(form->Control(TControlId::ComSelector).items, std::vector<std::string>{"COM12"});
  EXPECT_EQ(form->SelectedPortNumber(), 12);
  EXPECT_EQ(form->PortNumber, 12);
  EXPECT_EQ(form->Session.LinkState, kLinkStartOver);
}

TEST_F(Form1Settings, RescanKeepsTheChosenPortWhileItIsThere) {
  Seed("COM", 3);
  Show();
  const size_t boxes = view.Boxes().size();
  struct {
    std::vector<uint8_t> found;
    std::vector<std::string> items;
    uint8_t selected;
  } const steps[] = {
      {{1, 3, 5, 12}, {"COM1", "COM3", "COM5", "COM12"}, 3},  // an adapter plugged in
      {{1, 12}, {"COM1", "COM12"}, 0},                        // ours unplugged: no choice, port kept
      {{}, {}, 0},                                            // none at all: no message at run time
      {{3, 12}, {"COM3", "COM12"}, 3},                        // ours back: chosen again
  };
  for (const auto& step : steps) {
    ports = step.found;
    form->PortsChanged();
    form->CheckStatusTimerTimer();
    EXPECT_EQ(form->Control(TControlId::ComSelector).items, step.items);
    EXPECT_EQ(form->SelectedPortNumber(), step.selected);
    EXPECT_EQ(form->PortNumber, 3);
  }
  form->CheckStatusTimerTimer();  // no device change, no scan
  EXPECT_EQ(view.Boxes().size(), boxes);
  form->FormClose();
  EXPECT_EQ(Stored("COM"), 3u);
}

TEST_F(Form1Settings, ConstructionSetsTheProtocolStartValuesAndTheTimer) {
  link.RetryCount = 9;
  link.MemorySpace = 0;
  Build();
  EXPECT_EQ(link.RetryCount, 1);
  EXPECT_EQ(link.MemorySpace, 1);
  EXPECT_EQ(link.ReplyTimeout, 500u);
  EXPECT_TRUE(form->Control(TControlId::CheckStatusTimer).enabled);
  EXPECT_EQ(link.Report, form.get());
  form.reset();
  EXPECT_NE(link.Report, nullptr);
}

}  // namespace
}  // namespace quillorn::test
