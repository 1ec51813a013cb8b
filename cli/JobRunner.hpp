#pragma once
#include "cli/CommandLine.hpp"

namespace quillorn {

// Reaches the ECU and runs one job command on a worker thread; Ctrl-C posts the job's abort.
// Returns the process exit code: 0 success, 1 failure, 130 cancelled.
int RunJobCommand(const TCliCommand& command);

}  // namespace quillorn
