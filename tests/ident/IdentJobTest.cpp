// The identification job end to end: the job's drivers on an in-process line, an echoing box
// and the virtual ECU's diagnostic software behind it. Each family's report exactly, the
// stages passed, the fast initialisation's timing on the wire, and the ways it ends without
// a family.
#include <gtest/gtest.h>

#include <thread>

#include "jobs/IdentJob.hpp"
#include "jobs/ResultMessage.hpp"
#include "platform/AbortMailbox.hpp"
#include "platform/CodePage.hpp"
#include "serial/PortMap.hpp"
#include "sim/diag/IdentificationTexts.hpp"
#include "sim/diag/KwpEcu.hpp"
#include "sim/diag/MikasDiagnostics.hpp"
#include "tests/ident/DiagBench.hpp"

namespace quillorn::test {
namespace {

using sim::TEcuModel;

const std::string kSeparator = std::string(69, '-') + "\n\n";

class TStageRecorder final : public IJobReport {
 public:
  void ShowStage(const std::string& textUtf8) override { stages.push_back(textUtf8); }
  void ShowWaitNotice() override { ++waitNotices; }
  void ShowPercent(int32_t percent) override { percents.push_back(percent); }
  void ShowPassportField(TPassportField, const uint8_t*, int8_t) override {}
  void ShowPassportCaption(const std::string&) override {}
  std::vector<std::string> stages;
  std::vector<int32_t> percents;
  int waitNotices = 0;
};

class TLineProvider final : public TSerialDeviceProvider {
 public:
  explicit TLineProvider(std::shared_ptr<TInProcLine> line) : line_(std::move(line)) {}
  std::unique_ptr<TSerialDevice> TryOpen(const std::string& devicePath, bool* served, int32_t* error) override {
    *served = devicePath == "diagbench:line";
    return *served ? line_->OpenPcSide(error) : nullptr;
  }

 private:
  std::shared_ptr<TInProcLine> line_;
};

class IdentJobTest : public ::testing::Test {
 protected:
  static constexpr uint8_t kPort = 211;

  IdentJobTest() {
    TSerialPort32::DtrOn = false;
    TSerialPort32::RtsOn = false;
    RegisterSerialDeviceProvider(&provider);
    TPortMap::Instance().SetOverride(kPort, "diagbench:line");
    link.Report = &recorder;
  }
  ~IdentJobTest() override {
    bench.reset();
    link.SharedPort.reset();
    UnregisterSerialDeviceProvider(&provider);
    TPortMap::Instance().SetOverride(kPort, "");
    while (PeekAbortMessage()) {
    }
  }

  void StartBench(std::unique_ptr<sim::TDiagnosticSoftware> software, TDiagBenchOptions options = {}) {
    bench = std::make_unique<TDiagBench>(line, std::move(software), options);
  }

  // The port as the window's status poll leaves it, then the job's thread entry.
  TIdentOutcome Identify() {
    EXPECT_EQ(loader.Open(kPort, 38400, 0, 1, 8), kOk);
    return RunIdentification(drivers, kPort, report);
  }

  std::shared_ptr<TInProcLine> line = TInProcLine::Create({true, 0});
  TLineProvider provider{line};
  std::unique_ptr<TDiagBench> bench;
  TStageRecorder recorder;
  TLinkState link;
  TC509Pro loader{link};
  TKW2000Pro kwp{link};
  TIdentDrivers drivers{loader, kwp};
  TIdentReport report;
};

using Stages = std::vector<std::string>;
const Stages kKwpStages{"Установка связи", "Микас 7.1/7.2", "Январь/VS"};
const Stages kAllStages{"Установка связи", "Микас 7.1/7.2", "Январь/VS", "Микас 7.6"};

std::string JanuaryReport(const char* header, const char* identifier, const char* code, const char* engine) {
  return std::string("Контроллер: ") + header + "\n" + kSeparator + "Идентификатор прошивки: " + identifier +
         "\nЗаводской номер: 0123456789\nКод контроллера: " + code + "\nКод программного обеспечения: " + identifier +
         "\nСистема и тип двигателя: " + engine + "\nДата подготовки прошивки ПЗУ: 12.03.2004\n";
}

TEST_F(IdentJobTest, January5EcuIsReported) {
  StartBench(sim::MakeDiagnosticSoftware(TEcuModel::January5));
  const TIdentOutcome outcome = Identify();
  EXPECT_EQ(outcome.result, kOk);
  EXPECT_EQ(outcome.reportUtf8, JanuaryReport("Январь-5.x", "J5V05L15", "2112-1411020-40", "ВАЗ-2112 1.5i 16V"));
  EXPECT_EQ(recorder.stages, kKwpStages);
  EXPECT_EQ(recorder.waitNotices, 1);
  EXPECT_EQ(recorder.percents, std::vector<int32_t>{0});
  EXPECT_EQ(link.RetryCount, 3);
  EXPECT_EQ(link.LinkBaud, 10400) << "the port stays open at the KWP rate";

  const TResultMessage message = MessageForIdentificationResult(outcome.result, outcome.reportUtf8);
  EXPECT_EQ(message.caption, "Данные диагностики");
  EXPECT_EQ(message.flags, kBoxPlain);
  EXPECT_EQ(message.text, outcome.reportUtf8);
}

TEST_F(IdentJobTest, January72EcuIsReported) {
  StartBench(sim::MakeDiagnosticSoftware(TEcuModel::January72));
  const TIdentOutcome outcome = Identify();
  EXPECT_EQ(outcome.result, kOk);
  EXPECT_EQ(outcome.reportUtf8, JanuaryReport("Январь-7.2", "I203EL01", "21067-1411020-10", "ВАЗ-21067 1.6i"));
}

TEST_F(IdentJobTest, Vs51EcuIsReportedBehindALineWithoutBreak) {
  // A pseudo-terminal carries no break: the ECU takes the long idle line as the pattern.
  StartBench(sim::MakeDiagnosticSoftware(TEcuModel::Vs51), {true, false});
  const TIdentOutcome outcome = Identify();
  EXPECT_EQ(outcome.result, kOk);
  EXPECT_EQ(outcome.reportUtf8, JanuaryReport("VS-5.1", "V5M05H21", "2111-1411020-60", "ВАЗ-2111 1.5i"));
}

TEST_F(IdentJobTest, Mikas76EcuIsReportedWithinTheSameSession) {
  StartBench(sim::MakeDiagnosticSoftware(TEcuModel::Mikas76));
  const TIdentOutcome outcome = Identify();
  EXPECT_EQ(outcome.result, kOk);
  EXPECT_EQ(outcome.reportUtf8, "Контроллер: Микас-7.6\n" + kSeparator +
                                    "Заводской номер: 7600123456\n"
                                    "Код контроллера: 21114-1411020-30\n"
                                    "Код программного обеспечения: MIKAS 7.6\n"
                                    "Система и тип двигателя: ВАЗ-21114 1.6i\n"
                                    "Код для запасных частей: 21114-1411020\n"
                                    "Дата подготовки прошивки ПЗУ: 05.10.2006\n"
                                    "Идентификационые данные: M76 E3 EU\n"
                                    "Версия блока управления: HW 7.6.2\n"
                                    "Версия программы: MK76-0112\n");
  EXPECT_EQ(recorder.stages, kAllStages);
}

TEST_F(IdentJobTest, Mikas7xEcuIsReportedWithoutTheKwpStages) {
  StartBench(sim::MakeDiagnosticSoftware(TEcuModel::Mikas7));
  const TIdentOutcome outcome = Identify();
  EXPECT_EQ(outcome.result, kOk);
  EXPECT_EQ(outcome.reportUtf8, "Контроллер: Микас-7.1 / Микас-7.2\n" + kSeparator +
                                    "Паспорт программы:\n  МИКАС-7         \n  2111-1411020-80\n  М7.1 14.02.2001\n  "
                                    "\nПаспорт регулировок:\n  ВАЗ-2111 1.5i\n  Евро-2\n  Калибровка 03\n  "
                                    "21.05.2001\n  Без нейтрализ.\n  "
                                    "\nПаспорт блока управления:\n  7100456789\n  ЭБУ М7.1\n  Версия 2.0\n  ");
  EXPECT_EQ(recorder.stages, (Stages{"Установка связи", "Микас 7.1/7.2"}));
  EXPECT_EQ(link.LinkBaud, 9600);
  EXPECT_TRUE(bench->BreakEdges().empty());
}

TEST_F(IdentJobTest, MikasEcuWithAnotherIdentifierEndsWithTheDefaultText) {
  sim::TMikasTexts texts = sim::MikasIdentificationTexts();
  texts.at(sim::MikasRequestKey(0x51)) = sim::Utf8ToOem("МИКАС-7");
  StartBench(std::make_unique<sim::TMikasDiagnostics>(texts));
  const TIdentOutcome outcome = Identify();
  EXPECT_EQ(outcome.result, kOk);
  EXPECT_EQ(outcome.reportUtf8, DefaultIdentReportUtf8());
  EXPECT_EQ(recorder.stages, (Stages{"Установка связи", "Микас 7.1/7.2"})) << "the KWP families are not tried";
}

TEST_F(IdentJobTest, NoEcuPassesEveryStageAndShowsTheDefaultText) {
  StartBench(nullptr);
  const TIdentOutcome outcome = Identify();
  EXPECT_NE(outcome.result, kOk);
  EXPECT_NE(outcome.result, kNoProgrammer);
  EXPECT_EQ(outcome.reportUtf8, DefaultIdentReportUtf8());
  EXPECT_EQ(recorder.stages, kAllStages);
  EXPECT_EQ(bench->BreakEdges().size(), 6u) << "three attempts, each with its fast initialisation";
  const TResultMessage message = MessageForIdentificationResult(outcome.result, outcome.reportUtf8);
  EXPECT_EQ(message.caption, "Данные диагностики");
  EXPECT_EQ(message.text, DefaultIdentReportUtf8());
}

TEST_F(IdentJobTest, KwpEcuDoesNotAnswerTheMikasRequestOrAStartWithoutThePattern) {
  auto software = std::make_unique<sim::TKwpEcu>(sim::KwpIdentificationTexts(TEcuModel::January5),
                                                 sim::TFastInitTiming{std::chrono::milliseconds(250),
                                                                      std::chrono::milliseconds(100),
                                                                      std::chrono::milliseconds(200)});
  StartBench(std::move(software));  // wants a low phase of 100 to 200 ms: the PC's 25 ms is no pattern
  const TIdentOutcome outcome = Identify();
  EXPECT_EQ(outcome.reportUtf8, DefaultIdentReportUtf8());
  EXPECT_EQ(recorder.stages, kAllStages);
}

TEST_F(IdentJobTest, CancellationWithinTheFirstTwoSecondsEndsWith42) {
  StartBench(sim::MakeDiagnosticSoftware(TEcuModel::January5));
  TAbortMailbox* mailbox = &ThisThreadAbortMailbox();
  std::thread closer([mailbox] {
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    mailbox->Post();
  });
  const auto start = std::chrono::steady_clock::now();
  const TIdentOutcome outcome = Identify();
  closer.join();
  EXPECT_EQ(outcome.result, kAborted);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500));
  EXPECT_EQ(outcome.reportUtf8, DefaultIdentReportUtf8());
  EXPECT_EQ(recorder.stages, Stages{"Установка связи"});
  const TResultMessage message = MessageForIdentificationResult(outcome.result, outcome.reportUtf8);
  EXPECT_EQ(message.text, "Операция прервана.");
  EXPECT_EQ(message.caption, "");
  EXPECT_EQ(message.flags, kBoxInformation);
}

TEST_F(IdentJobTest, FastInitialisationPatternOnTheWire) {
  StartBench(sim::MakeDiagnosticSoftware(TEcuModel::January5));
  ASSERT_EQ(loader.Open(kPort, 10400, 0, 0, 8), kOk);
  loader.SetRts();
  loader.SetDtr();
  loader.ClearDtr();  // the ECU starts its diagnostic software
  kwp.FormatByte = 0x80;
  kwp.TargetAddress = 0x10;
  kwp.SourceAddress = 0xF1;
  kwp.ResponseTimeout = 100;
  const uint8_t marker = 0x55;
  ASSERT_EQ(loader.SendByte(marker), kOk);
  ASSERT_TRUE(kwp.StartCommunication());

  const auto edges = bench->BreakEdges();
  ASSERT_EQ(edges.size(), 2u);
  ASSERT_TRUE(edges[0].low);
  ASSERT_FALSE(edges[1].low);
  const auto bytes = bench->ByteTimes();
  ASSERT_GE(bytes.size(), 2u);
  const auto lastBefore = bytes[0];
  const auto firstAfter = *std::find_if(bytes.begin(), bytes.end(), [&](auto t) { return t > edges[1].at; });
  using Ms = std::chrono::duration<double, std::milli>;
  const double idle = Ms(edges[0].at - lastBefore).count();
  const double low = Ms(edges[1].at - edges[0].at).count();
  const double high = Ms(firstAfter - edges[1].at).count();
  // The waits count whole ticks of a millisecond clock: each may be up to 1 ms short. The
  // upper bounds leave room for a busy machine's preemption, within what an ECU accepts.
  EXPECT_GE(idle, 299.0);
  EXPECT_GE(low, 24.0);
  EXPECT_LT(low, 60.0);
  EXPECT_GE(high, 24.0);
  EXPECT_LT(high, 100.0) << "the start request follows the high phase at once";
}

TEST_F(IdentJobTest, NoProgrammerShowsTheDefaultText) {
  StartBench(sim::MakeDiagnosticSoftware(TEcuModel::January5), {false, true});
  const TIdentOutcome outcome = Identify();
  EXPECT_EQ(outcome.reportUtf8, DefaultIdentReportUtf8());
  EXPECT_EQ(recorder.stages, kAllStages);
}

TEST_F(IdentJobTest, APortThatCannotBeOpenedEndsTheJobWith6) {
  TPortMap::Instance().SetOverride(kPort, "diagbench:missing");
  const TIdentOutcome outcome = RunIdentification(drivers, kPort, report);
  EXPECT_EQ(outcome.result, kNoPort);
  EXPECT_EQ(outcome.reportUtf8, DefaultIdentReportUtf8());
  EXPECT_EQ(recorder.stages, (Stages{"Установка связи", "Микас 7.1/7.2"}));
}

}  // namespace
}  // namespace quillorn::test
