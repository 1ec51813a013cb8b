#pragma once
// Requests from outside to stop the command-line client: Ctrl-C everywhere, SIGTERM and SIGHUP
// on POSIX, the console's close, logoff and shutdown events on Windows. While routed, each one
// reaches the program instead of ending the process, so a running job can end through its
// abort (an ECU left half programmed without a word is the thing to avoid).
namespace quillorn {

// Called for each request from a signal handler or a system thread: it may only store atomics.
// exitStatus is what the process should end with once the job has stopped: 130 Ctrl-C,
// 129 hang-up (console closed), 143 terminate (logoff, shutdown).
using TStopRequestCallback = void (*)(int exitStatus);

// Routes every stop request to onRequest. A request the process was started to ignore (nohup,
// a background job's Ctrl-C) stays ignored.
void RouteStopRequests(TStopRequestCallback onRequest);

// Gives the requests back to their previous handling. On Windows, where the system ends the
// process as soon as a close, logoff or shutdown handler returns, that handler waits (bounded)
// for this call, which comes once the job has ended.
void EndStopRequestRoute();

// A reader that went away (`quillorn write ... | head -1`) makes later writes to standard
// output or error fail instead of ending the process.
void IgnoreClosedOutput();

}  // namespace quillorn
