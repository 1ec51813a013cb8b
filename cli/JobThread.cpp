#include "cli/JobThread.hpp"

#include <atomic>
#include <cstdio>
#include <csignal>
#include <thread>

#include "platform/AbortMailbox.hpp"
#include "serial/PortMap.hpp"
#include "sim/BenchRegistry.hpp"

namespace quillorn {

namespace {

std::atomic<TAbortMailbox*> jobMailbox{nullptr};
std::atomic<bool> abortRequested{false};

extern "C" void OnInterrupt(int) {
  abortRequested.store(true);
  if (TAbortMailbox* mailbox = jobMailbox.load()) mailbox->Post();
  std::signal(SIGINT, OnInterrupt);
}

}  // namespace

void RunOnJobThread(const std::function<void()>& job) {
  abortRequested.store(false);
  std::signal(SIGINT, OnInterrupt);
  std::thread worker([&job] {
    jobMailbox.store(&ThisThreadAbortMailbox());
    if (abortRequested.load()) ThisThreadAbortMailbox().Post();
    job();
    jobMailbox.store(nullptr);
  });
  worker.join();
  std::signal(SIGINT, SIG_DFL);
}

uint8_t PortNumberFor(const std::string& port) {
  if (const uint8_t n = PortNumberFromName(port)) return n;
  return TPortMap::Instance().AssignPort(port);
}

uint8_t PrepareCommandPort(const std::string& port, const std::string& traceFile, TTraceLog& trace) {
  sim::RegisterBenchDevices();
  if (!traceFile.empty() && !trace.Start(traceFile)) {
    std::fprintf(stderr, "quillorn: cannot write the trace file \"%s\"\n", traceFile.c_str());
    return 0;
  }
  const uint8_t portNumber = PortNumberFor(port);
  if (portNumber == 0) std::fprintf(stderr, "quillorn: no port number is free for \"%s\"\n", port.c_str());
  return portNumber;
}

}  // namespace quillorn
