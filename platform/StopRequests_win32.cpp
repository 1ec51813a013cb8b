#include <windows.h>

#include <atomic>

#include "platform/StopRequests.hpp"

namespace quillorn {

namespace {

constexpr int kInterruptStatus = 130, kHangUpStatus = 129, kTerminateStatus = 143;
// Windows gives a console program about five seconds after a close before it ends it anyway;
// logoff and shutdown allow more. Within this the job reaches its next abort check and stops.
constexpr DWORD kJobEndWaitMs = 4500;

std::atomic<TStopRequestCallback> stopCallback{nullptr};

// Set once the job has ended; never closed, so a late handler never waits on a dead handle.
HANDLE JobEndedEvent() {
  static const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  return event;
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
  const TStopRequestCallback callback = stopCallback.load();
  if (callback == nullptr) return FALSE;
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT: callback(kInterruptStatus); return TRUE;
    case CTRL_CLOSE_EVENT: callback(kHangUpStatus); break;
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT: callback(kTerminateStatus); break;
    default: return FALSE;
  }
  // Returning lets the system end the process: not before the job has stopped.
  WaitForSingleObject(JobEndedEvent(), kJobEndWaitMs);
  return TRUE;
}

}  // namespace

void RouteStopRequests(TStopRequestCallback onRequest) {
  ResetEvent(JobEndedEvent());
  stopCallback.store(onRequest);
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void EndStopRequestRoute() {
  SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
  stopCallback.store(nullptr);
  SetEvent(JobEndedEvent());
}

// Windows has no signal for a closed pipe: the write just fails.
void IgnoreClosedOutput() {}

}  // namespace quillorn
