#include "cli/JobThread.hpp"

#include <atomic>
#include <cstdio>
#include <thread>

#include "cli/CliTexts.hpp"
#include "cli/PortCheck.hpp"
#include "platform/AbortMailbox.hpp"
#include "platform/StopRequests.hpp"
#include "serial/PortMap.hpp"
#include "report/Quoted.hpp"

namespace quillorn {

namespace {

std::atomic<TAbortMailbox*> jobMailbox{nullptr};
std::atomic<bool> abortRequested{false};
std::atomic<int> cancelledExitStatus{kExitCancelled};

// Runs in a signal handler or a system thread: atomics only.
void OnStopRequest(int exitStatus) {
  cancelledExitStatus.store(exitStatus);
  abortRequested.store(true);
  if (TAbortMailbox* mailbox = jobMailbox.load()) mailbox->Post();
}

}  // namespace

void RunOnJobThread(const std::function<void()>& job) {
  abortRequested.store(false);
  cancelledExitStatus.store(kExitCancelled);
  RouteStopRequests(OnStopRequest);
  std::thread worker([&job] {
    jobMailbox.store(&ThisThreadAbortMailbox());
    if (abortRequested.load()) ThisThreadAbortMailbox().Post();
    job();
    jobMailbox.store(nullptr);
  });
  worker.join();
  EndStopRequestRoute();
}

int CancelledExitStatus() { return cancelledExitStatus.load(); }

uint8_t PortNumberFor(const std::string& port) {
  if (const uint8_t n = PortNumberFromName(port)) return n;
  return TPortMap::Instance().AssignPort(port);
}

uint8_t PrepareCommandPort(const TCliCommand& cmd, TTraceLog& trace) {
  if (!cmd.traceFile.empty() && !trace.Start(cmd.traceFile)) {
    std::fprintf(stderr, "quillorn: %s %s: %s\n", cli_text::kTraceNotWritable, Quoted(cmd.traceFile).c_str(),
                 cli_text::kTraceWhatToDo);
    return 0;
  }
  const uint8_t portNumber = PortNumberFor(cmd.port);
  if (portNumber == 0) {
    std::fprintf(stderr, "quillorn: %s %s\n", cli_text::kNoFreePortNumber, Quoted(cmd.port).c_str());
    return 0;
  }
  return CheckCommandPort(cmd.port, portNumber, cmd.baud) ? portNumber : 0;
}

}  // namespace quillorn
