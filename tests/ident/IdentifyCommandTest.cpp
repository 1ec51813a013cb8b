// `quillorn identify` against the whole virtual bench: the programmer box, the ECU board and
// its diagnostic software, reached through a "sim:" port as a user without hardware would.
#include <gtest/gtest.h>

#include "cli/IdentifyCommand.hpp"
#include "jobs/IdentReport.hpp"
#include "sim/BenchRegistry.hpp"

namespace quillorn::test {
namespace {

struct TCommandRun {
  int exitCode;
  std::string out;
  std::string err;
};

TCommandRun Identify(const std::string& port) {
  sim::RegisterBenchDevices();  // as the program's main does
  TCliCommand command;
  command.action = TCliAction::Identify;
  command.port = port;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const int exitCode = RunIdentifyCommand(command);
  std::string err = testing::internal::GetCapturedStderr();
  return {exitCode, testing::internal::GetCapturedStdout(), err};
}

TEST(IdentifyCommandTest, January5OnTheBenchPrintsItsReport) {
  const TCommandRun run = Identify("sim:january5,programmer=zhv4");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out.rfind("Данные диагностики\nКонтроллер: Январь-5.x\n", 0), 0u) << run.out;
  EXPECT_NE(run.out.find("Идентификатор прошивки: J5V05L15\n"), std::string::npos);
  EXPECT_NE(run.out.find("Дата подготовки прошивки ПЗУ: 12.03.2004\n"), std::string::npos);
  EXPECT_EQ(run.err, "Установка связи\nМикас 7.1/7.2\nЯнварь/VS\n");
}

TEST(IdentifyCommandTest, Mikas76OnTheBenchIsFoundInTheSameSession) {
  const TCommandRun run = Identify("sim:mikas76,programmer=zhv4");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out.rfind("Данные диагностики\nКонтроллер: Микас-7.6\n", 0), 0u) << run.out;
  EXPECT_NE(run.out.find("Код программного обеспечения: MIKAS 7.6\n"), std::string::npos);
  EXPECT_NE(run.out.find("Система и тип двигателя: ВАЗ-21114 1.6i\n"), std::string::npos);
}

TEST(IdentifyCommandTest, Mikas7OnTheBenchAnswersAt9600) {
  const TCommandRun run = Identify("sim:mikas7,programmer=zhv4");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out.rfind("Данные диагностики\nКонтроллер: Микас-7.1 / Микас-7.2\n", 0), 0u) << run.out;
  EXPECT_NE(run.out.find("Паспорт блока управления:\n  7100456789\n  ЭБУ М7.1\n  Версия 2.0\n  "), std::string::npos);
}

TEST(IdentifyCommandTest, WithoutTheResetLineTheEcuStaysInItsBootLoader) {
  // A "ЖВ-2" cannot reset the ECU into its diagnostic software. Its boot loader takes the
  // first request for a sync byte and answers at another rate; whatever that looks like at
  // 9600 bit/s, nothing is recognised. When its answer lands between a byte and that byte's
  // echo, the echo check fails and the job ends as for a missing programmer; which of the two
  // happens depends on the timing, never a report of a family.
  // Either way the exit code says that nothing was identified.
  const TCommandRun run = Identify("sim:january5,programmer=zhv2");
  EXPECT_EQ(run.exitCode, 1) << run.err;
  if (!run.out.empty()) {
    EXPECT_EQ(run.out, "Данные диагностики\n" + DefaultIdentReportUtf8() + "\n");
  } else {
    EXPECT_NE(run.err.find("Программатор не подключен или не включено питание."), std::string::npos) << run.err;
  }
}

TEST(IdentifyCommandTest, APortThatCannotBeOpenedIsAnError) {
  const TCommandRun run = Identify("/dev/quillorn-no-such-port");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(run.out.empty());
  EXPECT_NE(run.err.find("Коммуникационный порт /dev/quillorn-no-such-port занят или отсутствует ("), std::string::npos)
      << run.err;
}

}  // namespace
}  // namespace quillorn::test
