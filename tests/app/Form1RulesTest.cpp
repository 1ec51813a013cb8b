// Enabling rules, family changes and the reporting operations of the window.
#include <set>

#include "tests/app/Form1Fixture.hpp"

namespace quillorn::test {
namespace {

using Ids = std::set<TControlId>;

const TControlId kJobControls[] = {TControlId::DualProg,   TControlId::DeImmo,    TControlId::SecondPage,
                                   TControlId::WriteEEPROM, TControlId::ReadEEPROM, TControlId::WriteECU,
                                   TControlId::ReadECU,    TControlId::Ident};

class Form1Rules : public Form1Test {
 protected:
  Ids EnabledJobControls() const {
    Ids ids;
    for (TControlId id : kJobControls)
      if (Enabled(id)) ids.insert(id);
    return ids;
  }
  // Checks a family the way the stored index or the user does.
  void Choose(TControlId radio) {
    form->Click(radio);  // hidden buttons ignore clicks, as on screen
    if (!form->IsChecked(radio)) form->CheckFamily(radio);
    ASSERT_TRUE(form->IsChecked(radio));
  }
};

TEST_F(Form1Rules, ReadyModeEnablesByFamily) {
  struct TCase {
    TControlId family;
    Ids enabled;
  };
  const Ids all{TControlId::DualProg,   TControlId::DeImmo,    TControlId::SecondPage, TControlId::WriteEEPROM,
                TControlId::ReadEEPROM, TControlId::WriteECU, TControlId::ReadECU};
  const Ids mikas{TControlId::WriteEEPROM, TControlId::ReadEEPROM, TControlId::WriteECU, TControlId::ReadECU};
  const Ids banks{TControlId::WriteECU, TControlId::ReadECU};
  const TCase cases[] = {{TControlId::January, all}, {TControlId::VS51, all},  {TControlId::January72, all},
                         {TControlId::Mikas, mikas}, {TControlId::M797, banks}, {TControlId::M10, banks}};
  Show();
  for (const TCase& c : cases) {
    SCOPED_TRACE(ControlSpec(c.family).name);
    Choose(c.family);
    form->SetControlMode(ControlsReady);
    EXPECT_EQ(EnabledJobControls(), c.enabled);
    form->Session.Model4Detected = 1;
    form->SetControlMode(ControlsReady);
    Ids withIdent = c.enabled;
    withIdent.insert(TControlId::Ident);
    EXPECT_EQ(EnabledJobControls(), withIdent);
    form->Session.Model4Detected = 0;
  }
}

TEST_F(Form1Rules, OffAndSearchingModes) {
  Show();
  form->SetControlMode(ControlsReady);
  form->SetControlMode(ControlsOff);
  EXPECT_EQ(EnabledJobControls(), Ids{});
  form->SetControlMode(ControlsSearching);
  EXPECT_EQ(EnabledJobControls(), Ids{});
  form->Session.Model4Detected = 1;
  form->SetControlMode(ControlsSearching);
  EXPECT_EQ(EnabledJobControls(), Ids{TControlId::Ident});
  form->Session.Model4Detected = 1;
  form->SetControlMode(ControlsOff);
  EXPECT_EQ(EnabledJobControls(), Ids{});
  form->SetControlMode(ControlsReady);
  form->SetControlMode(static_cast<TControlMode>(7));  // unknown modes change nothing
  EXPECT_TRUE(Enabled(TControlId::WriteECU));
}

TEST_F(Form1Rules, DualProgDisablesSecondPage) {
  Show();
  form->SetControlMode(ControlsReady);
  form->Click(TControlId::DualProg);
  EXPECT_TRUE(form->IsChecked(TControlId::DualProg));
  EXPECT_FALSE(Enabled(TControlId::SecondPage));
  form->SetControlMode(ControlsReady);
  EXPECT_FALSE(Enabled(TControlId::SecondPage));
  form->Click(TControlId::DualProg);
  EXPECT_TRUE(Enabled(TControlId::SecondPage));
}

TEST_F(Form1Rules, EnableMainControlsLocksEverythingButExit) {
  Show();
  form->EnableMainControls(false);
  EXPECT_EQ(EnabledJobControls(), Ids{});
  for (TControlId id : {TControlId::ComSelector, TControlId::ECU, TControlId::BaudList, TControlId::CheckStatusTimer})
    EXPECT_FALSE(Enabled(id)) << ControlSpec(id).name;
  EXPECT_TRUE(Enabled(TControlId::ExitButton));
  form->EnableMainControls(true);
  for (TControlId id : {TControlId::ComSelector, TControlId::ECU, TControlId::BaudList, TControlId::CheckStatusTimer,
                        TControlId::WriteECU, TControlId::ReadECU})
    EXPECT_TRUE(Enabled(id)) << ControlSpec(id).name;
}

TEST_F(Form1Rules, MikasRenamesCaptionsEmptiesFieldsAndRestartsThePoll) {
  Show();
  form->SetControlMode(ControlsReady);
  const uint8_t version[] = "ABC123";
  form->ShowPassportField(TPassportField::SoftwareVersion, version, 6);
  form->ShowPassportField(TPassportField::Date, version, 6);
  form->Session.LinkState = kLinkLoaderAnswers;
  form->Click(TControlId::Mikas);
  EXPECT_TRUE(form->IsChecked(TControlId::Mikas));
  EXPECT_FALSE(form->IsChecked(TControlId::January));
  EXPECT_EQ(EnabledJobControls(), Ids{});
  EXPECT_EQ(Panel(2), " Подождите... ");
  EXPECT_EQ(form->Control(TControlId::Passport1).text, "Программа");
  EXPECT_EQ(form->Control(TControlId::Passport2).text, "Дата");
  EXPECT_EQ(form->Control(TControlId::Passport3).text, "Регулировки");
  EXPECT_EQ(form->Control(TControlId::SWid).text, "");
  EXPECT_EQ(form->Control(TControlId::Date).text, "");
  EXPECT_EQ(form->Session.LinkState, kLinkStartOver);
  EXPECT_EQ(view.shown[TControlId::Passport3].text, "Регулировки");

  form->Click(TControlId::VS51);
  EXPECT_EQ(form->Control(TControlId::Passport1).text, "Версия ПО");
  EXPECT_EQ(form->Control(TControlId::Passport3).text, "Двигатель");
  EXPECT_EQ(form->CheckedFamily(), TEcuFamily::Vs51);
}

TEST_F(Form1Rules, ClickOnTheCheckedFamilyDoesNothing) {
  Show();
  form->Session.LinkState = kLinkLoaderAnswers;
  form->Click(TControlId::January);
  EXPECT_EQ(form->Session.LinkState, kLinkLoaderAnswers);
}

TEST_F(Form1Rules, PortAndSpeedChangesRestartThePoll) {
  Show();
  form->SetControlMode(ControlsReady);
  form->Session.LinkState = kLinkLoaderAnswers;
  form->SelectionChanged(TControlId::ComSelector, 2);
  EXPECT_EQ(form->PortNumber, 12);
  EXPECT_EQ(form->SelectedPortNumber(), 12);
  EXPECT_EQ(form->Session.LinkState, kLinkStartOver);
  EXPECT_FALSE(Enabled(TControlId::WriteECU));
  EXPECT_EQ(Panel(2), " Подождите... ");
  form->Session.LinkState = kLinkLoaderAnswers;
  form->SelectionChanged(TControlId::BaudList, 3);
  EXPECT_EQ(form->SelectedBaud, 9600);
  EXPECT_EQ(form->Session.LinkState, kLinkStartOver);
}

TEST_F(Form1Rules, LongTimeoutAndWebAddress) {
  Show();
  EXPECT_EQ(form->JobReplyTimeout, 500);
  // Hidden: a click from the screen cannot reach it; the handler itself still works.
  form->Click(TControlId::LongTimeout);
  EXPECT_FALSE(form->IsChecked(TControlId::LongTimeout));
  form->WebAddressMouseMove();
  EXPECT_EQ(form->Control(TControlId::WebAddress).textColour, Rgb(0, 0, 255));
  form->FormMouseMove();
  EXPECT_EQ(form->Control(TControlId::WebAddress).textColour, Rgb(0, 0, 128));
  form->Click(TControlId::WebAddress);
  ASSERT_EQ(view.shellOpens.size(), 1u);
  EXPECT_EQ(view.shellOpens[0].first, kWebAddress);
  EXPECT_EQ(view.shellOpens[0].second, 0);
  form->Click(TControlId::ExitButton);
  EXPECT_EQ(view.closeRequests, 1);
}

struct TPercentCase {
  int8_t linkState;
  uint8_t jobKind;
  bool dualProg, secondPage;
  uint8_t bankByte;
  int32_t p;
  int32_t shown;
};

TEST_F(Form1Rules, ShowPercentRescalesDuringATransfer) {
  Show();
  const TPercentCase cases[] = {
      {0, 0, false, false, 0, 57, 57},    // outside a transfer
      {5, 0, true, false, 1, 40, 70},     // two pages, second page
      {5, 1, false, true, 1, 40, 40},     // a read copies no second page
      {5, 0, false, true, 1, 40, 70},     // a write duplicates into the second page
      {5, 5, false, false, 18, 50, 31},   // bank 18 of 16-23
      {5, 6, false, false, 23, 100, 100}, // last bank done
      {5, 5, false, false, 3, 50, 0},     // before the first bank
  };
  form->IsFlashJob = 1;
  for (const TPercentCase& c : cases) {
    form->Session.LinkState = c.linkState;
    form->JobKind = c.jobKind;
    form->SetControlMode(ControlsReady);
    if (form->IsChecked(TControlId::DualProg) != c.dualProg) form->Click(TControlId::DualProg);
    if (form->IsChecked(TControlId::SecondPage) != c.secondPage) form->Click(TControlId::SecondPage);
    link.BankByte = c.bankByte;
    form->ShowPercent(c.p);
    EXPECT_EQ(form->Control(TControlId::Progress).position, c.shown) << int(c.jobKind) << " p " << c.p;
    EXPECT_EQ(Panel(1), std::to_string(c.shown) + "%");
  }
  form->Session.LinkState = 0;
  form->ShowProgressOf(1, 3);
  EXPECT_EQ(Panel(1), "33%");
  EXPECT_EQ(view.shown[TControlId::Progress].position, 33);
}

TEST_F(Form1Rules, PassportFieldsShowOnlyPrintableText) {
  Show();
  const uint8_t cyrillic[] = {0xC4, 0xE2, 0xE8, 0xE3, 0x20, '1', '6', 0};  // "Двиг 16" in Windows-1251
  form->ShowPassportField(TPassportField::Engine, cyrillic, 7);
  EXPECT_EQ(form->Control(TControlId::Engine).text, "Двиг 16");
  const uint8_t lineFeed[] = {'A', 0x0A, 'B', 0};
  form->ShowPassportField(TPassportField::Engine, lineFeed, 3);
  EXPECT_EQ(form->Control(TControlId::Engine).text, "");
  const uint8_t erased[] = {0xFF, 0xFF, 0xFF, 0xFF, 0};
  form->ShowPassportField(TPassportField::SoftwareVersion, erased, 4);
  EXPECT_EQ(form->Control(TControlId::SWid).text, "");
  const uint8_t sixteen[] = "0123456789ABCDEFXYZ";
  form->ShowPassportField(TPassportField::Date, sixteen, 16);
  EXPECT_EQ(form->Control(TControlId::Date).text, "0123456789ABCDEF");
  form->ShowPassportCaption("Прошивка в контроллере");
  EXPECT_EQ(view.shown[TControlId::PassportText].text, "Прошивка в контроллере");
  form->ShowStage("Загрузка...");
  EXPECT_EQ(Panel(0), "Загрузка...");
}

}  // namespace
}  // namespace quillorn::test
