#pragma once
#include "cli/CommandLine.hpp"

namespace quillorn {

// `quillorn identify --port PORT`: runs the identification job and prints its report on
// standard output. Exit code 0 when a family was recognised and its report shown, 1 when none
// was (the default text is still shown), the programmer did not answer or the port could not
// be opened, 130 (143, 129) when cancelled by Ctrl-C (SIGTERM, SIGHUP).
int RunIdentifyCommand(const TCliCommand& command);

}  // namespace quillorn
