#pragma once
// Why the last attempt of this thread to open a serial device failed, in words: the system's
// text or the virtual bench's one-line message. Whoever fails an open notes it; TSerialPort32
// takes it into OpenErrorText right after, on the same thread, so no open elsewhere can mix in.
#include <string>

namespace quillorn {

void NoteOpenFailure(std::string reason);
// The noted reason, cleared by taking it; empty when none was noted.
std::string TakeOpenFailure();

}  // namespace quillorn
