// A traced port left open in the program's link state after a command must not outlive the
// command's trace (a later use of the port would write into freed memory).
#include <gtest/gtest.h>

#include <filesystem>

#include "../serial/FakeSerialDevice.hpp"
#include "cli/CommandTrace.hpp"
#include "protocol/LinkState.hpp"
#include "serial/PortMap.hpp"
#include "tests/ProcessTempPath.hpp"

namespace quillorn::test {
namespace {

TEST(CommandTrace, ClosesTheProgramPortBeforeTheTraceEnds) {
  TFakeProvider provider;
  TPortMap::Instance().SetOverride(231, "fake:traced");
  const std::string path = ProcessTempPath("command-trace.txt");
  {
    TCommandTrace trace;
    ASSERT_TRUE(trace.Log().Start(path));
    ProgramLink().SharedPort = std::make_unique<TSerialPort32>("COM231", 9600, 8, kNoParity, kTwoStopBits);
    ASSERT_EQ(ProgramLink().SharedPort->OpenError, 0);
    ProgramLink().SharedPort->SetBreak();
  }
  // What the next user of the link would do with a port left behind.
  if (TSerialPort32* left = ProgramLink().SharedPort.get()) left->SetBreak();
  EXPECT_EQ(ProgramLink().SharedPort, nullptr);
  EXPECT_GT(std::filesystem::file_size(path), 0u);
  TPortMap::Instance().ClearOverrides();
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace quillorn::test
