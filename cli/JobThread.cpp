#include "cli/JobThread.hpp"

#include <atomic>
#include <csignal>
#include <thread>

#include "platform/AbortMailbox.hpp"
#include "serial/PortMap.hpp"

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

}  // namespace quillorn
