#include "cli/CommandTrace.hpp"

#include "protocol/LinkState.hpp"

namespace quillorn {

// The body runs before log_ is destroyed.
TCommandTrace::~TCommandTrace() { ProgramLink().SharedPort.reset(); }

}  // namespace quillorn
