#include <signal.h>

#include <atomic>

#include "platform/StopRequests.hpp"

namespace quillorn {

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kSignalCount = sizeof kStopSignals / sizeof kStopSignals[0];
// The shells' convention: a process ended by signal n exits with 128 + n.
constexpr int kSignalStatusBase = 128;

std::atomic<TStopRequestCallback> stopCallback{nullptr};
struct sigaction previousActions[kSignalCount];

extern "C" void OnStopSignal(int signalNumber) {
  if (TStopRequestCallback callback = stopCallback.load()) callback(kSignalStatusBase + signalNumber);
}

}  // namespace

void RouteStopRequests(TStopRequestCallback onRequest) {
  stopCallback.store(onRequest);
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int i = 0; i < kSignalCount; ++i) {
    sigaction(kStopSignals[i], nullptr, &previousActions[i]);
    if (previousActions[i].sa_handler != SIG_IGN) sigaction(kStopSignals[i], &action, nullptr);
  }
}

void EndStopRequestRoute() {
  for (int i = 0; i < kSignalCount; ++i) sigaction(kStopSignals[i], &previousActions[i], nullptr);
  stopCallback.store(nullptr);
}

void IgnoreClosedOutput() { signal(SIGPIPE, SIG_IGN); }

}  // namespace quillorn
