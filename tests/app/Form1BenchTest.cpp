// The window on the in-process virtual bench: the status timer's ticks as the user sees them,
// and a flash write and read through the job buttons with the real job behind them.
#include <fstream>
#include <iterator>
#include <random>

#include "jobs/IdentJob.hpp"
#include "platform/Clock.hpp"
#include "protocol/KW2000Pro.hpp"
#include "sim/BenchRegistry.hpp"
#include "tests/app/Form1Fixture.hpp"
#include "tests/ProcessTempPath.hpp"

namespace quillorn::test {
namespace {

constexpr uint8_t kBenchPort = 21;
constexpr uint32_t kTickGapMs = 150;

class Form1Bench : public Form1Test {
 protected:
  Form1Bench() { sim::RegisterBenchDevices(); }
  ~Form1Bench() override {
    TPortMap::Instance().SetOverride(kBenchPort, "");
    for (const std::string& file : files) std::remove(file.c_str());
  }
  // The window on a bench of its own (benches live per path for the whole process).
  void ShowOn(const std::string& benchPath, uint32_t family = 0) {
    TPortMap::Instance().SetOverride(kBenchPort, benchPath);
    ports = {kBenchPort};
    Seed("COM", kBenchPort);
    Seed("ECU", family);
    Show();
    ASSERT_TRUE(view.Boxes().empty()) << view.Boxes()[0].text;
  }
  // The timer's ticks, a little apart as on screen: the box's lines take a moment to follow.
  void Tick(int count = 1) {
    for (int i = 0; i < count; ++i) {
      SleepMs(kTickGapMs);
      form->CheckStatusTimerTimer();
    }
  }
  std::string TempFile(const std::string& name) {
    files.push_back(ProcessTempPath("bench-" + name));
    return files.back();
  }
  std::vector<std::string> files;
};

TEST_F(Form1Bench, JanuaryEcuIsReachedOnTheThirdTickAndProbedAfterwards) {
  ShowOn("sim:january5,seed=101,pace=none");
  Tick();
  EXPECT_EQ(form->Session.LinkState, kLinkDtrRaised);
  EXPECT_FALSE(Enabled(TControlId::WriteECU));
  EXPECT_EQ(Panel(2), "");  // the first two ticks leave the link text alone
  Tick();
  EXPECT_EQ(form->Session.LinkState, kLinkModelKnown);
  EXPECT_EQ(form->Control(TControlId::DeviceType).text, "");
  EXPECT_FALSE(Enabled(TControlId::Ident));
  Tick();
  EXPECT_EQ(form->Session.LinkState, kLinkLoaderAnswers);
  EXPECT_EQ(Panel(2), "Связь с ЭБУ");
  EXPECT_FALSE(Enabled(TControlId::WriteECU));
  for (int probe = 0; probe < 2; ++probe) {
    Tick();
    EXPECT_EQ(form->Session.LinkState, kLinkLoaderAnswers);
    EXPECT_EQ(Panel(2), "Связь с ЭБУ");
    EXPECT_TRUE(Enabled(TControlId::WriteECU));
    EXPECT_TRUE(Enabled(TControlId::DeImmo));
  }
  // A family change starts over on the next tick.
  form->Click(TControlId::VS51);
  EXPECT_FALSE(Enabled(TControlId::WriteECU));
  Tick();
  EXPECT_EQ(form->Session.LinkState, kLinkDtrRaised);
}

// The port the poll holds cannot be opened by the scan; while the ECU answers on it, a device
// plugged in elsewhere must not take it out of the list nor restart the link.
TEST_F(Form1Bench, RescanKeepsThePortThePollHoldsWithTheLinkUp) {
  ShowOn("sim:january5,seed=106,pace=none");
  Tick(3);
  ASSERT_EQ(form->Session.LinkState, kLinkLoaderAnswers);
  ports = {2};
  form->PortsChanged();
  Tick();
  EXPECT_EQ(form->Control(TControlId::ComSelector).items, (std::vector<std::string>{"COM2", "COM21"}));
  EXPECT_EQ(form->SelectedPortNumber(), kBenchPort);
  EXPECT_EQ(form->Session.LinkState, kLinkLoaderAnswers);
  EXPECT_EQ(Panel(2), "Связь с ЭБУ");
}

// A slow adapter is explained once, in a notice that asks nothing of the user; the probes
// go on and the job buttons come up as usual.
TEST_F(Form1Bench, ASlowAdapterIsExplainedOnceWithoutHoldingUpThePoll) {
  ShowOn("sim:january5,seed=105,pace=none,latency=16");
  Tick(5);
  EXPECT_EQ(form->Session.LinkState, kLinkLoaderAnswers);
  EXPECT_TRUE(Enabled(TControlId::WriteECU));
  ASSERT_EQ(view.notices.size(), 1u);
  EXPECT_NE(view.notices[0].find("COM21"), std::string::npos) << view.notices[0];
  EXPECT_TRUE(view.Boxes().empty()) << "no modal box";
}

TEST_F(Form1Bench, NewerProgrammerShowsItsModelAndAllowsIdentificationAtOnce) {
  ShowOn("sim:january5,programmer=zhv4,seed=102,pace=none");
  Tick(2);
  EXPECT_EQ(form->Control(TControlId::DeviceType).text, "ЖВ-4");
  EXPECT_EQ(form->Session.Model4Detected, 1);
  EXPECT_TRUE(Enabled(TControlId::Ident));
  EXPECT_FALSE(Enabled(TControlId::WriteECU));
}

TEST_F(Form1Bench, IdentButtonShowsTheDiagnosticReportAndGivesTheWindowBack) {
  ShowOn("sim:january5,programmer=zhv4,seed=104,pace=none");
  TKW2000Pro kwp{link};
  form->SetIdentificationEntry([&](TForm1& f) {
    f.RunIdentification([&](uint8_t portNumber) {
      TIdentDrivers drivers{loader, kwp};
      TIdentReport report;
      return RunIdentification(drivers, portNumber, report);
    });
  });
  Tick(2);
  ASSERT_TRUE(Enabled(TControlId::Ident));
  form->Click(TControlId::Ident);
  EXPECT_EQ(form->Session.LinkState, kLinkStartOver) << "the poll starts over after identification";
  ASSERT_TRUE(form->WaitForJobEnd(120000));
  const auto boxes = view.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Данные диагностики");
  EXPECT_EQ(boxes[0].flags, 0u);
  EXPECT_EQ(boxes[0].text.rfind("Контроллер: Январь-5.x\n", 0), 0u) << boxes[0].text;
  EXPECT_EQ(Panel(0), "");
  EXPECT_EQ(Panel(1), "0%");
  EXPECT_TRUE(form->Control(TControlId::CheckStatusTimer).enabled);
  EXPECT_TRUE(Enabled(TControlId::ComSelector));
  EXPECT_EQ(form->JobRunning, 0);
}

TEST_F(Form1Bench, MissingProgrammerShowsNoLinkEveryThreeTicks) {
  ShowOn("sim:january5,no-programmer,seed=103,pace=none");
  for (int cycle = 0; cycle < 2; ++cycle) {
    Tick(3);
    EXPECT_EQ(form->Session.LinkState, kLinkStartOver);
    EXPECT_EQ(Panel(2), " Нет связи ");
    EXPECT_FALSE(Enabled(TControlId::WriteECU));
  }
}

TEST_F(Form1Bench, BoschEcuAnswersInStateSix) {
  ShowOn("sim:m797,seed=104,pace=none", 4);
  Tick(3);
  EXPECT_EQ(form->Session.LinkState, kLinkBanksEcuAnswers);
  EXPECT_EQ(Panel(2), "Связь с ЭБУ");
  EXPECT_TRUE(Enabled(TControlId::WriteECU));
  EXPECT_FALSE(Enabled(TControlId::WriteEEPROM));
  Tick();
  EXPECT_EQ(form->Session.LinkState, kLinkBanksEcuAnswers);
}

TEST_F(Form1Bench, FlashWriteAndReadBackThroughTheButtons) {
#ifdef _WIN32
  // Under Wine the in-process bench's real-time pacing has once missed a reply in the read
  // after the write; the Windows build runs the same jobs end to end in the GUI test instead.
  GTEST_SKIP() << "covered by the GUI test under Wine";
#endif
  job = [](const TJobRequest& request, TJobDrivers& drivers) { return PerformJob(request, drivers); };
  ShowOn("sim:january5,seed=105,pace=none");
  Tick(4);
  ASSERT_TRUE(Enabled(TControlId::WriteECU));

  std::vector<uint8_t> image(65536);
  std::mt19937 random(5);
  for (uint8_t& byte : image) byte = static_cast<uint8_t>(random());
  image[0] = 0x02;
  const std::string passport = "BENCH-PASSPORT-1";
  std::copy(passport.begin(), passport.end(), image.begin() + 0x6020);
  const std::string written = TempFile("write.bin"), read = TempFile("read.bin");
  std::ofstream(written, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), image.size());

  view.dialogPaths.push_back(written);
  form->Click(TControlId::WriteECU);
  ASSERT_TRUE(form->WaitForJobEnd(180000));
  ASSERT_EQ(view.Boxes().size(), 1u);
  // The write kept the page it replaced and names that file under the success.
  EXPECT_EQ(view.Boxes()[0].text, "Операция успешно завершена.\nРезервная копия: " + form->JobState.BackupFile);
  EXPECT_NE(form->JobState.BackupFile.find(ProcessTempPath("app-backups")), std::string::npos) << "the test's own folder";
  EXPECT_EQ(form->Control(TControlId::SWid).text, passport);
  EXPECT_EQ(form->Session.LinkState, kLinkBootstrapRunning);
  EXPECT_EQ(Panel(1), "0%");

  Tick();  // keep-alive read of the running bootstrap
  EXPECT_EQ(form->Session.LinkState, kLinkBootstrapRunning);
  EXPECT_EQ(Panel(2), "Связь с ЭБУ");
  EXPECT_TRUE(Enabled(TControlId::ReadECU));

  view.dialogPaths.push_back(read);
  form->Click(TControlId::ReadECU);
  ASSERT_TRUE(form->WaitForJobEnd(180000));
  ASSERT_EQ(view.Boxes().size(), 2u);
  EXPECT_EQ(view.Boxes()[1].text, "Операция успешно завершена.") << view.Boxes()[1].caption;
  std::ifstream in(read, std::ios::binary);
  const std::vector<uint8_t> back((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_TRUE(back == image) << "read back " << back.size() << " bytes";
  EXPECT_TRUE(form->FormCloseQuery());
}

TEST_F(Form1Bench, AWriteTheLineDamagedIsCaughtAndTheMessageNamesWhere) {
#ifdef _WIN32
  GTEST_SKIP() << "the in-process bench's pacing under Wine, as above";
#endif
  job = [](const TJobRequest& request, TJobDrivers& drivers) { return PerformJob(request, drivers); };
  Seed("Backup", 0);  // the verification is the subject; the backup's read would only add time
  ShowOn("sim:january5,seed=106,pace=none,tamper=2");
  Tick(4);
  ASSERT_TRUE(Enabled(TControlId::WriteECU));
  std::vector<uint8_t> image(65536, 0x5A);
  image[0] = 0x02;
  const std::string written = TempFile("tampered.bin");
  std::ofstream(written, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), image.size());

  view.dialogPaths.push_back(written);
  form->Click(TControlId::WriteECU);
  ASSERT_TRUE(form->WaitForJobEnd(180000));
  ASSERT_EQ(view.Boxes().size(), 1u);
  EXPECT_EQ(view.Boxes()[0].caption, "Error 0xC1");
  EXPECT_NE(view.Boxes()[0].text.find("страница 0, адрес 0x00"), std::string::npos) << view.Boxes()[0].text;
  EXPECT_EQ(form->Session.LinkState, kLinkStartOver);
}

}  // namespace
}  // namespace quillorn::test
