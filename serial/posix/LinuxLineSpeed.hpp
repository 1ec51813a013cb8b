#pragma once
// Line-speed and driver-tuning calls that need the kernel's own termios2 structure. They live
// in a translation unit of their own because <asm/termbits.h> cannot share one with
// <termios.h>.
#include <cstdint>

namespace quillorn::posix {

// Sets input and output speed to any rate (BOTHER); false with errno kept on failure.
bool SetLineSpeed(int fd, uint32_t baud);
// The output speed the driver reports; false when it cannot tell.
bool GetLineSpeed(int fd, uint32_t* baud);
// Asks the driver to hand received bytes over at once instead of batching them; silently
// does nothing where the driver has no such setting (pseudo-terminals, many USB drivers).
void RequestLowLatency(int fd);

}  // namespace quillorn::posix
