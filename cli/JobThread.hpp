#pragma once
// What every job command of the command-line client shares: the job runs on a worker thread
// of its own, a stop request (Ctrl-C, SIGTERM...) reaches it through that thread's abort
// mailbox (as closing the window does), and the user's port becomes a port number the drivers
// open.
#include <cstdint>
#include <functional>
#include <string>

#include "cli/CommandLine.hpp"
#include "serial/TraceLog.hpp"

namespace quillorn {

inline constexpr int kExitOk = 0, kExitFailed = 1, kExitUsage = 2, kExitCancelled = 130;

// Runs job on a new thread and waits for it. A stop request (Ctrl-C, SIGTERM, SIGHUP, the
// console closed), also one that came before the thread started, posts the job thread's
// abort; the previous handling of those requests is back afterwards.
void RunOnJobThread(const std::function<void()>& job);

// The exit code of a job that ended cancelled: 130 for Ctrl-C, 143 for SIGTERM, 129 for
// SIGHUP (as a shell reports a process those signals ended).
int CancelledExitStatus();

// "COM3" as it is; a device path or "sim:..." path gets a port number mapped to it. 0 when no
// number is free.
uint8_t PortNumberFor(const std::string& port);

// What every command does before its job: the trace started when asked for, the port given a
// number and opened once to see that it can be used. 0 (with the reason on stderr) when it
// cannot go on.
uint8_t PrepareCommandPort(const TCliCommand& command, TTraceLog& trace);

}  // namespace quillorn
