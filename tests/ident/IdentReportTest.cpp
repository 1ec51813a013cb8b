// The family tests and the report layouts, with the items asked over the scripted line.
#include "jobs/IdentReport.hpp"
#include "platform/CodePage.hpp"
#include "tests/ident/IdentFixture.hpp"

namespace quillorn::test {
namespace {

const std::string kSeparator = std::string(69, '-') + "\n\n";

TEST(IdentFamilyTest, IdentifierTests) {
  EXPECT_TRUE(IsJanuary5Id("J5x12xxx"));
  EXPECT_TRUE(IsJanuary5Id("J5V05L15"));
  EXPECT_FALSE(IsJanuary5Id("J5x1Axxx"));
  EXPECT_FALSE(IsJanuary5Id("J5x12xx")) << "seven characters pass no test";
  EXPECT_FALSE(IsJanuary5Id("j5x12xxx"));

  EXPECT_TRUE(IsJanuary72Id("I212xx34"));
  EXPECT_TRUE(IsJanuary72Id("A212xx34"));
  EXPECT_FALSE(IsJanuary72Id("B212xx34"));
  EXPECT_FALSE(IsJanuary72Id("I212xx3x"));
  EXPECT_FALSE(IsJanuary72Id("I2x2xx34"));
  EXPECT_FALSE(IsJanuary72Id("I212xx3"));

  EXPECT_TRUE(IsVs51Id("V5M05H21"));
  EXPECT_FALSE(IsVs51Id("V5M0AH21"));
  EXPECT_FALSE(IsVs51Id(""));

  TKwpFamily family;
  EXPECT_TRUE(RecogniseKwpFamily("J5V05L15", family));
  EXPECT_EQ(family, TKwpFamily::January5);
  EXPECT_TRUE(RecogniseKwpFamily("I203EL01", family));
  EXPECT_EQ(family, TKwpFamily::January72);
  EXPECT_TRUE(RecogniseKwpFamily("V5M05H21", family));
  EXPECT_EQ(family, TKwpFamily::Vs51);
  EXPECT_FALSE(RecogniseKwpFamily("MK76-0112", family));
}

TEST(IdentFamilyTest, MikasIdentifiersMatchExactly) {
  EXPECT_TRUE(IsMikas76SoftwareCode("MIKAS 7.6"));
  EXPECT_FALSE(IsMikas76SoftwareCode("MIKAS 7.6 "));
  EXPECT_FALSE(IsMikas76SoftwareCode("mikas 7.6"));
  EXPECT_TRUE(IsMikas7xId(Utf8ToAnsi("МИКАС-7         ").c_str()));
  EXPECT_FALSE(IsMikas7xId(Utf8ToAnsi("МИКАС-7").c_str())) << "the nine blanks belong to it";
  EXPECT_FALSE(IsMikas7xId(Utf8ToAnsi("МИКАС-7          ").c_str()));
}

TEST(IdentReportBufferTest, DefaultTextAndTheLimitOf999Characters) {
  TIdentReport report;
  EXPECT_EQ(report.Utf8(),
            "Тип контроллера не определен, возможные причины:\n\n"
            " 1. Контроллер не поддерживается программатором.\n"
            " 2. Контроллер не подключен к разъему.\n"
            " 3. Не включено питание программатора.");
  EXPECT_EQ(report.Ansi().size(), report.Utf8().size() - 140) << "one byte per Cyrillic letter";

  report.Replace(std::string(990, 'a'));
  report.Append("0123456789");
  EXPECT_EQ(report.Ansi().size(), kIdentReportCapacity);
  EXPECT_EQ(report.Ansi().substr(990), "012345678");
  report.Append("more");
  EXPECT_EQ(report.Ansi().size(), kIdentReportCapacity);
  report.ReplaceText("Контроллер");
  EXPECT_EQ(report.Utf8(), "Контроллер");
}

TEST_F(IdentTest, JanuaryReportLeavesOutTheItemsThatFail) {
  OpenLink(10400);
  FailItem();  // 0x91
  FailItem();  // 0x92
  FailItem();  // 0x94
  FailItem();  // 0x97
  line.Reply(TextResponse(0x99, "12.03.2004"));
  TIdentReport report;
  ComposeJanuaryReport(report, kwp, TKwpFamily::January5, "J5V05L15");
  EXPECT_EQ(report.Utf8(), "Контроллер: Январь-5.x\n" + kSeparator +
                               "Идентификатор прошивки: J5V05L15\n"
                               "Дата подготовки прошивки ПЗУ: 12.03.2004\n");
}

TEST_F(IdentTest, JanuaryReportHeadersAndItemOrder) {
  OpenLink(10400);
  line.Reply(TextResponse(0x91, "SN"));
  line.Reply(TextResponse(0x92, "HW"));
  line.Reply(TextResponse(0x94, "SW"));
  line.Reply(TextResponse(0x97, Utf8ToAnsi("ВАЗ")));
  line.Reply(TextResponse(0x99, "\xFF"));
  TIdentReport report;
  ComposeJanuaryReport(report, kwp, TKwpFamily::Vs51, "V5M05H21");
  EXPECT_EQ(report.Utf8(), "Контроллер: VS-5.1\n" + kSeparator +
                               "Идентификатор прошивки: V5M05H21\n"
                               "Заводской номер: SN\n"
                               "Код контроллера: HW\n"
                               "Код программного обеспечения: SW\n"
                               "Система и тип двигателя: ВАЗ\n"
                               "Дата подготовки прошивки ПЗУ: \n");
  const std::vector<uint8_t> options{0x91, 0x92, 0x94, 0x97, 0x99};
  for (size_t i = 0; i < options.size(); ++i) EXPECT_EQ(line.written[i * 6 + 4], options[i]);

  line.ForgetRecords();
  for (int i = 0; i < 5; ++i) FailItem();
  ComposeJanuaryReport(report, kwp, TKwpFamily::January72, "I203EL01");
  EXPECT_EQ(report.Utf8(), "Контроллер: Январь-7.2\n" + kSeparator + "Идентификатор прошивки: I203EL01\n");
}

TEST_F(IdentTest, Mikas76ReportHasItsNineItems) {
  OpenLink(10400);
  const uint8_t options[] = {0x91, 0x92, 0x93, 0x94, 0x95, 0x97, 0x98, 0x99, 0x9A};
  for (uint8_t option : options) line.Reply(TextResponse(option, std::string(1, 'T').append(std::to_string(option))));
  TIdentReport report;
  ComposeMikas76Report(report, kwp);
  EXPECT_EQ(report.Utf8(), "Контроллер: Микас-7.6\n" + kSeparator +
                               "Заводской номер: T145\n"
                               "Код контроллера: T146\n"
                               "Код программного обеспечения: T147\n"
                               "Система и тип двигателя: T148\n"
                               "Код для запасных частей: T149\n"
                               "Дата подготовки прошивки ПЗУ: T151\n"
                               "Идентификационые данные: T152\n"
                               "Версия блока управления: T153\n"
                               "Версия программы: T154\n");
}

TEST_F(IdentTest, LongItemsAreCutAtTheReportsEnd) {
  OpenLink(10400);
  const uint8_t options[] = {0x91, 0x92, 0x93, 0x94, 0x95, 0x97, 0x98, 0x99, 0x9A};
  for (uint8_t option : options) line.Reply(TextResponse(option, std::string(250, static_cast<char>('a' + option % 16))));
  TIdentReport report;
  ComposeMikas76Report(report, kwp);
  EXPECT_EQ(report.Ansi().size(), kIdentReportCapacity);
  EXPECT_EQ(report.Ansi().find("Версия программы"), std::string::npos);
  EXPECT_NE(report.Utf8().find("Код контроллера: " + std::string(kIdentTextSize - 1, 'a' + 0x92 % 16)),
            std::string::npos)
      << "each item is cut to the 200-byte text first";
}

class MikasReportTest : public IdentTest {
 protected:
  void SetUp() override {
    OpenLink(9600);
    loader.SetReplyTimeout(1);
  }
  // One OEM text as the ECU frames it.
  void ReplyText(const std::string& oem) {
    std::vector<uint8_t> frame(oem.begin(), oem.end());
    uint8_t sum = 0;
    for (uint8_t b : frame) sum = static_cast<uint8_t>(sum + b);
    frame.push_back(static_cast<uint8_t>(0 - sum));
    frame.push_back(0x0D);
    line.Reply(frame);
  }
  void FailRequest() {
    for (int i = 0; i < 3; ++i) line.Reply(Bytes({0x41, 0x0D}));  // checksum wrong
  }
};

TEST_F(MikasReportTest, Mikas7xReportLayout) {
  ReplyText("P52");
  FailRequest();  // 0x53
  ReplyText("R54");
  ReplyText("R55");
  ReplyText("R56");
  ReplyText("R57");
  ReplyText("\x90\x35\x38");  // "Р58" in code page 866
  ReplyText("B74");
  FailRequest();  // 0x61 0x75
  ReplyText("B76");
  TIdentReport report;
  const std::string identifier = Utf8ToAnsi("МИКАС-7         ");
  ComposeMikas7xReport(report, mikas, identifier.c_str());
  EXPECT_EQ(report.Utf8(), "Контроллер: Микас-7.1 / Микас-7.2\n" + kSeparator +
                               "Паспорт программы:\n  МИКАС-7         \n  P52\n  "
                               "\nПаспорт регулировок:\n  R54\n  R55\n  R56\n  R57\n  Р58\n  "
                               "\nПаспорт блока управления:\n  B74\n  B76\n  ");
  EXPECT_EQ(line.written[line.written.size() - 4], 0x61);
  EXPECT_EQ(line.written[line.written.size() - 3], 0x76);
}

TEST_F(MikasReportTest, AnotherIdentifierLeavesTheReportAlone) {
  TIdentReport report;
  const std::string before = report.Ansi();
  ComposeMikas7xReport(report, mikas, Utf8ToAnsi("МИКАС-7").c_str());
  EXPECT_EQ(report.Ansi(), before);
  EXPECT_TRUE(line.written.empty()) << "no items asked";
}

}  // namespace
}  // namespace quillorn::test
