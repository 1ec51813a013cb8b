#pragma once
#include "cli/CommandLine.hpp"

namespace quillorn {

// Reaches the ECU and runs one job command on a worker thread; Ctrl-C, SIGTERM and SIGHUP post
// the job's abort.
// Returns the process exit code: 0 success, 1 failure, 130/143/129 cancelled by that request.
int RunJobCommand(const TCliCommand& command);

}  // namespace quillorn
