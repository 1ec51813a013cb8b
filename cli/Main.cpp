// quillorn: the command-line client. Every job goes the way the window's does: the link poll's
// steps to reach the ECU, then the same job code, then the same result message.
#include <cstdio>

#include "cli/CliTexts.hpp"
#include "cli/CommandLine.hpp"
#include "cli/IdentifyCommand.hpp"
#include "cli/JobRunner.hpp"
#include "QuillornVersion.hpp"
#include "platform/Console.hpp"
#include "platform/StopRequests.hpp"
#include "serial/PortMap.hpp"
#include "serial/PortScan.hpp"
#include "sim/BenchRegistry.hpp"

using namespace quillorn;

namespace {

int PrintPorts() {
  for (uint8_t n : ScanPorts()) std::printf("COM%u\t%s\n", n, TPortMap::Instance().DevicePath(n).c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  PrepareConsoleForUtf8();
  // Output nobody reads any more must not end a job that is programming an ECU.
  IgnoreClosedOutput();
  const TCliParse parse = ParseCommandLine(CommandLineArgumentsUtf8(argc, argv));
  if (!parse.command) {
    std::fprintf(stderr, "quillorn: %s %s\n", parse.error.c_str(), cli_text::kSeeHelp);
    return 2;
  }
  const TCliCommand& cmd = *parse.command;
  // The only place that knows the virtual bench: it offers its "sim:" ports like any provider.
  sim::RegisterBenchDevices();
  switch (cmd.action) {
    case TCliAction::Help: std::fputs(UsageText().c_str(), stdout); return 0;
    case TCliAction::Version: std::printf("quillorn %s\n", QUILLORN_VERSION); return 0;
    case TCliAction::Ports: return PrintPorts();
    case TCliAction::Identify: return RunIdentifyCommand(cmd);
    default: return RunJobCommand(cmd);
  }
}
