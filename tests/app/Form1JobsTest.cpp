// The job buttons, the job thread's frame, result messages and cancellation by closing.
#include <atomic>
#include <cstdio>
#include <fstream>

#include "platform/Clock.hpp"
#include "tests/app/Form1Fixture.hpp"
#include "tests/ProcessTempPath.hpp"

namespace quillorn::test {
namespace {

class Form1Jobs : public Form1Test {
 protected:
  ~Form1Jobs() override {
    for (const std::string& file : files) std::remove(file.c_str());
  }
  std::string File(const std::string& name, std::initializer_list<uint8_t> bytes) {
    std::string full = ProcessTempPath("app-" + std::to_string(files.size()) + "-" + name);
    std::ofstream out(full, std::ios::binary);
    for (uint8_t b : bytes) out.put(static_cast<char>(b));
    files.push_back(full);
    return full;
  }
  // A sound hex file with one byte of ECU code at address 0: every family's pre-flight but the
  // eight-bank one accepts it.
  std::string Hex(const std::string& name) {
    const std::string full = File(name, {});
    std::ofstream(full, std::ios::binary) << ":0100000002FD\n:00000001FF\n";
    return full;
  }
  std::string Sized(const std::string& name, size_t size, char fill = '\x02') {
    const std::string full = File(name, {});
    std::ofstream(full, std::ios::binary) << std::string(size, fill);
    return full;
  }
  // Runs the job function on the job thread and waits for the thread's end.
  void StartAndFinish(TControlId button) {
    form->Click(button);
    ASSERT_TRUE(form->WaitForJobEnd(10000));
  }
  void Ready() {
    Show();
    form->SetControlMode(ControlsReady);
    form->SelectPortNumber(3);
    view.boxes.clear();  // the start-up check's complaint about the missing port 1
  }
  std::vector<std::string> files;
  std::atomic<int> jobs{0};
  TJobRequest seen;
};

TEST_F(Form1Jobs, WriteWithAHexFileStartsWithoutAQuestion) {
  job = [this](const TJobRequest& rq, TJobDrivers&) {
    seen = rq;
    ++jobs;
    return kOk;
  };
  Ready();
  const std::string hex = Hex("FIRMWARE.HEX");
  view.dialogPaths.push_back(hex);
  StartAndFinish(TControlId::WriteECU);
  EXPECT_EQ(jobs, 1);
  EXPECT_EQ(view.dialogs, (std::vector<std::string>{"Загрузить файл"}));
  EXPECT_EQ(view.Boxes().size(), 1u) << "no question, only the result";
  EXPECT_EQ(seen.FileName, hex);
  ASSERT_NE(seen.Plan, nullptr) << "the job gets the plan the pre-flight made";
  EXPECT_EQ(seen.Plan->PlannedBytes(), 1u);
  EXPECT_EQ(seen.JobKind, kJobWrite);
  EXPECT_EQ(seen.IsFlashJob, 1);
  EXPECT_EQ(seen.PortNumber, 3);
  EXPECT_EQ(seen.SelectedBaud, 38400);
  EXPECT_EQ(seen.JobReplyTimeout, 500u);
  EXPECT_EQ(Stored("COM"), 3u);  // settings saved first
}

TEST_F(Form1Jobs, JobKindsFollowTheFamily) {
  job = [this](const TJobRequest& rq, TJobDrivers&) {
    seen = rq;
    return kOk;
  };
  Ready();
  struct TCase {
    TControlId family, button;
    uint8_t kind, flash;
    size_t fileSize;  // of the file a write takes: as large as the memory, so nothing is asked
  };
  const TCase cases[] = {
      {TControlId::January, TControlId::ReadECU, kJobRead, 1, 0},
      {TControlId::January, TControlId::WriteEEPROM, kJobWrite, 0, 512},
      {TControlId::January, TControlId::ReadEEPROM, kJobRead, 0, 0},
      {TControlId::January, TControlId::DeImmo, kJobClearEeprom, 0, 0},
      {TControlId::Mikas, TControlId::ReadECU, kJobMikasRead, 1, 0},
      {TControlId::Mikas, TControlId::WriteEEPROM, kJobMikasWrite, 0, 512},
      {TControlId::M10, TControlId::ReadECU, kJobBanksRead, 1, 0},
      {TControlId::M797, TControlId::WriteECU, kJobBanksWrite, 1, 8 * 65536},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(ControlSpec(c.family).name) + " " + ControlSpec(c.button).name);
    form->CheckFamily(c.family);
    form->SetControlMode(ControlsReady);
    if (c.button != TControlId::DeImmo)
      view.dialogPaths.push_back(c.fileSize != 0 ? Sized("image.bin", c.fileSize) : ProcessTempPath("dump.bin"));
    seen = {};
    seen.JobKind = 99;
    StartAndFinish(c.button);
    EXPECT_EQ(seen.JobKind, c.kind);
    EXPECT_EQ(seen.IsFlashJob, c.flash);
  }
}

TEST_F(Form1Jobs, CancelledDialogStartsNothingButSavesTheSettings) {
  job = [this](const TJobRequest&, TJobDrivers&) { return ++jobs, kOk; };
  Ready();
  form->SelectionChanged(TControlId::BaudList, 2);
  form->SetControlMode(ControlsReady);  // the poll's next ticks
  form->Click(TControlId::ReadECU);
  EXPECT_FALSE(form->JobRunning);
  EXPECT_EQ(jobs, 0);
  EXPECT_EQ(Stored("Baud"), 19200u);
  EXPECT_TRUE(form->Control(TControlId::CheckStatusTimer).enabled);
}

TEST_F(Form1Jobs, BinaryThatDoesNotLookLikeProgramCodeAsks) {
  job = [this](const TJobRequest&, TJobDrivers&) { return ++jobs, kOk; };
  Ready();
  const std::string code = Sized("code.bin", 65536);
  const std::string blank = Sized("dump.bin", 65536, '\xFF');
  const std::string tiny = File("tiny.bin", {0xFF, 0xFF});

  view.dialogPaths.push_back(code);
  StartAndFinish(TControlId::WriteECU);
  EXPECT_EQ(jobs, 1);
  EXPECT_EQ(view.Boxes().size(), 1u);  // only the result

  view.dialogPaths.push_back(blank);
  view.answers.push_back(kAnswerNo);
  form->Click(TControlId::WriteECU);
  EXPECT_FALSE(form->JobRunning);
  auto boxes = view.Boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].text, "Скорее всего, файл не является кодом программы ЭБУ.\nПрограммировать flash память?");
  EXPECT_EQ(boxes[1].caption, "Внимание!");
  EXPECT_EQ(boxes[1].flags, 0x44u);
  EXPECT_EQ(jobs, 1);

  view.dialogPaths.push_back(blank);
  view.answers.push_back(kAnswerYes);
  StartAndFinish(TControlId::WriteECU);
  EXPECT_EQ(jobs, 2);

  // Two bytes of 65,536: both questions, the program code and the memory left erased.
  view.dialogPaths.push_back(tiny);
  view.answers.push_back(kAnswerYes);
  view.answers.push_back(kAnswerYes);
  StartAndFinish(TControlId::WriteECU);
  EXPECT_EQ(jobs, 3);
  boxes = view.Boxes();
  ASSERT_GE(boxes.size(), 3u);
  EXPECT_NE(boxes[boxes.size() - 2].text.find("2 байт из 65 536"), std::string::npos) << boxes[boxes.size() - 2].text;

  form->CheckFamily(TControlId::M797);
  form->SetControlMode(ControlsReady);
  const size_t before = view.Boxes().size();
  view.dialogPaths.push_back(Sized("banks.bin", 8 * 65536, '\xFF'));
  StartAndFinish(TControlId::WriteECU);
  EXPECT_EQ(jobs, 4);
  EXPECT_EQ(view.Boxes().size(), before + 1);  // no question, only the result
}

TEST_F(Form1Jobs, ClearingEepromIsRefusedForMikas) {
  job = [this](const TJobRequest&, TJobDrivers&) { return ++jobs, kOk; };
  Ready();
  form->JobKind = 3;
  form->IsFlashJob = 1;
  form->CheckFamily(TControlId::Mikas);
  form->DeImmoClick();  // disabled on screen; the handler refuses all the same
  const auto boxes = view.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Очистка EEPROM возможна только для ЭБУ Январь-5.x");
  EXPECT_EQ(boxes[0].caption, "Ошибка");
  EXPECT_EQ(boxes[0].flags, 16u);
  EXPECT_EQ(form->JobKind, 3);
  EXPECT_EQ(form->IsFlashJob, 1);
  EXPECT_EQ(jobs, 0);
}

TEST_F(Form1Jobs, SuccessfulJobFrame) {
  job = [this](const TJobRequest&, TJobDrivers& d) {
    EXPECT_EQ(form->JobRunning, 1);
    EXPECT_FALSE(Enabled(TControlId::ComSelector));
    EXPECT_FALSE(Enabled(TControlId::WriteECU));
    EXPECT_FALSE(form->Control(TControlId::CheckStatusTimer).enabled);
    d.Loader.Link.Report->ShowStage("Загрузка...");
    d.Session.LinkState = kLinkBootstrapRunning;
    d.Loader.Link.BankByte = 23;
    d.Loader.Link.Report->ShowPercent(100);
    return kOk;
  };
  Ready();
  view.dialogPaths.push_back(Hex("a.hex"));
  StartAndFinish(TControlId::WriteECU);
  const auto boxes = view.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Операция успешно завершена.");
  EXPECT_EQ(boxes[0].caption, "");
  EXPECT_EQ(boxes[0].flags, 0u);
  EXPECT_EQ(form->Session.LinkState, kLinkBootstrapRunning);
  EXPECT_EQ(Panel(0), "");
  EXPECT_EQ(Panel(1), "0%");
  EXPECT_EQ(form->Control(TControlId::Progress).position, 0);
  EXPECT_TRUE(Enabled(TControlId::WriteECU));
  EXPECT_TRUE(Enabled(TControlId::ComSelector));
  EXPECT_TRUE(form->Control(TControlId::CheckStatusTimer).enabled);
  EXPECT_EQ(form->JobRunning, 0);
  EXPECT_EQ(view.cursors, (std::vector<TCursorShape>{TCursorShape::Hourglass, TCursorShape::Arrow}));
  // The stage is cleared before the success message, not after it.
  bool clearedBeforeBox = false;
  for (const auto& panels : view.panelHistory)
    if (panels[0].empty() && panels[1] == "100%") clearedBeforeBox = true;
  EXPECT_TRUE(clearedBeforeBox);
}

TEST_F(Form1Jobs, FailedJobShowsItsMessageAndStartsThePollOver) {
  struct TCase {
    ResultCode code;
    const char* text;
    const char* caption;
  };
  const TCase cases[] = {
      {6, "Ошибка связи с контроллером. Проверьте правильность подключения кабеля и выбранного контроллера.", "Error 0x06"},
      {256, "Ошибка открытия файла.", "Error 0x100"},
      {33, "Программатор не подключен или не включено питание.", "Error 0x21"},
  };
  Ready();
  for (const TCase& c : cases) {
    job = [&](const TJobRequest&, TJobDrivers& d) {
      d.Session.LinkState = kLinkBootstrapRunning;
      d.Loader.Link.Report->ShowStage("Стирание flash");
      return c.code;
    };
    view.dialogPaths.push_back(Hex("b.hex"));
    StartAndFinish(TControlId::WriteECU);
    const auto boxes = view.Boxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back().text, c.text);
    EXPECT_EQ(boxes.back().caption, c.caption);
    EXPECT_EQ(boxes.back().flags, 16u);
    EXPECT_EQ(form->Session.LinkState, kLinkStartOver);
    EXPECT_EQ(Panel(0), "");
  }
}

TEST_F(Form1Jobs, ClosingTheWindowCancelsTheJobAndStaysOpen) {
  std::atomic<bool> started{false};
  job = [&](const TJobRequest&, TJobDrivers&) {
    started = true;
    for (int i = 0; i < 5000; ++i) {
      if (PeekAbortMessage()) return kAborted;
      SleepMs(1);
    }
    return kOk;
  };
  Ready();
  view.dialogPaths.push_back(Hex("c.hex"));
  form->Click(TControlId::WriteECU);
  EXPECT_FALSE(form->FormCloseQuery());  // even before the job thread has looked at anything
  ASSERT_TRUE(form->WaitForJobEnd(10000));
  EXPECT_TRUE(started);
  const auto boxes = view.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Операция прервана.");
  EXPECT_EQ(boxes[0].caption, "");
  EXPECT_EQ(boxes[0].flags, 64u);
  EXPECT_TRUE(form->FormCloseQuery());
}

TEST_F(Form1Jobs, SecondJobNeverStartsWhileOneRuns) {
  job = [&](const TJobRequest&, TJobDrivers&) {
    ++jobs;
    for (int i = 0; i < 5000 && !PeekAbortMessage(); ++i) SleepMs(1);
    return kAborted;
  };
  Ready();
  view.dialogPaths.push_back(Hex("d.hex"));
  view.dialogPaths.push_back(Hex("e.hex"));
  form->Click(TControlId::WriteECU);
  form->WriteECUClick();  // the handler itself, as a stray message could call it
  EXPECT_EQ(view.dialogPaths.size(), 1u);
  EXPECT_FALSE(form->FormCloseQuery());
  ASSERT_TRUE(form->WaitForJobEnd(10000));
  EXPECT_EQ(jobs, 1);
}

TEST_F(Form1Jobs, IdentificationHookRestartsThePollAndRunsOnItsThread) {
  Ready();
  form->Click(TControlId::Ident);  // disabled and without an entry: nothing
  std::atomic<int> runs{0};
  form->SetIdentificationEntry([&](TForm1& f) {
    EXPECT_FALSE(f.Control(TControlId::CheckStatusTimer).enabled);
    EXPECT_EQ(f.Session.LinkState, kLinkStartOver);
    ++runs;
  });
  form->Session.Model4Detected = 1;
  form->SetControlMode(ControlsSearching);
  form->Session.LinkState = kLinkLoaderAnswers;
  form->Click(TControlId::Ident);
  ASSERT_TRUE(form->WaitForJobEnd(10000));
  EXPECT_EQ(runs, 1);
}

TEST_F(Form1Jobs, DestructionFinishesTheBootstrapLink) {
  Ready();
  form.reset();  // Finish without a port: ignored, no crash, no message
  EXPECT_TRUE(view.Boxes().empty());
}

// The stored "Backup" value decides whether writes keep the memory first (1 when never set),
// and the result names the kept file whether the job succeeded or not.
TEST_F(Form1Jobs, TheBackupSettingReachesTheJobAndTheResultNamesTheBackup) {
  struct TCase {
    std::optional<uint32_t> stored;
    ResultCode result;
    bool backup;
    const char* text;
  };
  const TCase cases[] = {
      {std::nullopt, kOk, true, "Операция успешно завершена.\nРезервная копия: kept.bin"},
      {1, kEraseFailed, true, "Ошибка стирания flash пямяти.\nРезервная копия: kept.bin"},
      {0, kOk, false, "Операция успешно завершена."},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.text);
    form.reset();
    RemoveSettingsLocation(location);
    if (c.stored) Seed("Backup", *c.stored);
    job = [this, &c](const TJobRequest& rq, TJobDrivers& d) {
      seen = rq;
      if (rq.Backup) d.State.BackupFile = "kept.bin";
      return c.result;
    };
    Ready();
    view.dialogPaths.push_back(Hex("a.hex"));
    StartAndFinish(TControlId::WriteECU);
    EXPECT_EQ(seen.Backup, c.backup);
    ASSERT_EQ(view.Boxes().size(), 1u);
    EXPECT_EQ(view.Boxes()[0].text, c.text);
    form->FormClose();
    EXPECT_EQ(Stored("Backup"), c.backup ? 1u : 0u);
  }
}

}  // namespace
}  // namespace quillorn::test
