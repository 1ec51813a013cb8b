// The identification job against the scripted line, where every byte it sends can be checked:
// which requests follow which, and that nothing more is sent than the job's steps say.
#include "jobs/IdentJob.hpp"
#include "jobs/ResultMessage.hpp"
#include "tests/ident/IdentFixture.hpp"

namespace quillorn::test {
namespace {

class IdentJobScriptTest : public IdentTest {
 protected:
  // How often the frame occurs in what the job wrote.
  size_t Count(const std::vector<uint8_t>& frame) const {
    size_t count = 0;
    for (size_t i = 0; i + frame.size() <= line.written.size(); ++i)
      if (std::equal(frame.begin(), frame.end(), line.written.begin() + static_cast<std::ptrdiff_t>(i))) ++count;
    return count;
  }
  // The scripted replies are handed out in order: the three Микас tries get a reply without
  // terminator each before the KWP stage gets its own.
  void MikasSilent() {
    for (int i = 0; i < 3; ++i) line.Reply({0x41});
  }
  TIdentOutcome Run() {
    EXPECT_EQ(loader.Open(kPort, 38400, 0, 1, 8), kOk);
    line.ForgetRecords();
    TIdentDrivers drivers{loader, kwp};
    return RunIdentification(drivers, kPort, report);
  }
  TIdentReport report;
};

const std::vector<uint8_t> kStart{0x81, 0x10, 0xF1, 0x81, 0x03};
const std::vector<uint8_t> kSession{0x83, 0x10, 0xF1, 0x10, 0x81, 0x0A, 0x1F};
const std::vector<uint8_t> kAskIdentifier{0x82, 0x10, 0xF1, 0x1A, 0x9A, 0x37};
const std::vector<uint8_t> kMikasIdentifier{0x51, 0xAF, 0x0D};

TEST_F(IdentJobScriptTest, UnknownIdentifierGoesToMikas76WithinTheSameSession) {
  MikasSilent();
  line.Reply(Response({0xC1, 0xEF, 0x8F}));
  line.Reply(TextResponse(0x9A, "MK76-0112"));
  line.Reply(Response({0x50, 0x81}));
  line.Reply(TextResponse(0x93, "MIKAS 7.6"));
  for (uint8_t option : {0x91, 0x92, 0x93, 0x94, 0x95, 0x97, 0x98, 0x99, 0x9A}) line.Reply(TextResponse(option, "x"));
  const TIdentOutcome outcome = Run();
  EXPECT_EQ(outcome.result, kOk);
  EXPECT_EQ(outcome.reportUtf8.rfind("Контроллер: Микас-7.6\n", 0), 0u);
  EXPECT_EQ(Count(kMikasIdentifier), 3u);
  EXPECT_EQ(Count(kStart), 1u) << "no second fast initialisation for Микас 7.6";
  EXPECT_EQ(Count(kAskIdentifier), 2u) << "once for the families, once in the report";
  EXPECT_EQ(Count(kSession), 1u);
  EXPECT_TRUE(line.replies.empty());
  // The line settings of the two stages: 9600 8N1, then 10400 8N1.
  ASSERT_EQ(line.statesApplied.size(), 2u);
  EXPECT_EQ(line.statesApplied[0].BaudRate, 9600u);
  EXPECT_EQ(line.statesApplied[0].StopBits, kOneStopBit);
  EXPECT_EQ(line.statesApplied[1].BaudRate, 10400u);
  EXPECT_EQ(line.statesApplied[1].StopBits, kOneStopBit);
  // RTS and DTR raised, then DTR dropped: the ECU is reset into its diagnostic software.
  EXPECT_EQ(line.escapes, (std::vector<uint32_t>{kSetRts, kSetDtr, kClrDtr}));
}

TEST_F(IdentJobScriptTest, January5OnTheSecondAttempt) {
  MikasSilent();
  line.Reply(Response({0xC1, 0xEF, 0x8F}));
  for (int i = 0; i < 3; ++i) line.Reply(Negative(0x1A));
  line.Reply(Response({0xC1, 0xEF, 0x8F}));
  line.Reply(TextResponse(0x9A, "J5V05L15"));
  for (int item = 0; item < 5; ++item) FailItem();
  const TIdentOutcome outcome = Run();
  EXPECT_EQ(outcome.result, kOk);
  EXPECT_EQ(outcome.reportUtf8, "Контроллер: Январь-5.x\n" + std::string(69, '-') +
                                    "\n\nИдентификатор прошивки: J5V05L15\n");
  EXPECT_EQ(Count(kStart), 2u);
  EXPECT_EQ(Count(kSession), 0u);
}

TEST_F(IdentJobScriptTest, AnyMikasAnswerEndsTheJob) {
  line.Reply({0x0D});  // an empty answer is an answer
  const TIdentOutcome outcome = Run();
  EXPECT_EQ(outcome.result, kOk);
  EXPECT_EQ(outcome.reportUtf8, DefaultIdentReportUtf8());
  EXPECT_EQ(Count(kMikasIdentifier), 1u);
  EXPECT_EQ(Count(kStart), 0u);
}

TEST_F(IdentJobScriptTest, MissingChecksumEchoIsAMissingProgrammer) {
  // Blocks are not compared, single bytes are: every KWP request's checksum fails.
  line.echoOf = [](uint8_t b) { return static_cast<uint8_t>(b ^ 0x01); };
  const TIdentOutcome outcome = Run();
  EXPECT_EQ(outcome.result, kNoProgrammer);
  const TResultMessage message = MessageForIdentificationResult(outcome.result, outcome.reportUtf8);
  EXPECT_EQ(message.text, "Программатор не подключен или не включено питание.");
  EXPECT_EQ(message.caption, "Error 0x21");
  EXPECT_EQ(message.flags, kBoxError);
}

}  // namespace
}  // namespace quillorn::test
