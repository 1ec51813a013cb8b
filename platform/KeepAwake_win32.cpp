#include <windows.h>

#include "platform/KeepAwake.hpp"

namespace quillorn {

// The display may still turn off: only the system itself must stay up for the serial line.
TKeepAwake::TKeepAwake() { SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED); }

TKeepAwake::~TKeepAwake() { SetThreadExecutionState(ES_CONTINUOUS); }

}  // namespace quillorn
