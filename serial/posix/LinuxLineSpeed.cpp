#include "serial/posix/LinuxLineSpeed.hpp"

#include <asm/termbits.h>
#include <linux/serial.h>
#include <sys/ioctl.h>

namespace quillorn::posix {

bool SetLineSpeed(int fd, uint32_t baud) {
  struct termios2 settings {};
  if (ioctl(fd, TCGETS2, &settings) != 0) return false;
  settings.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
  settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  settings.c_ispeed = baud;
  settings.c_ospeed = baud;
  return ioctl(fd, TCSETS2, &settings) == 0;
}

bool GetLineSpeed(int fd, uint32_t* baud) {
  struct termios2 settings {};
  if (ioctl(fd, TCGETS2, &settings) != 0) return false;
  *baud = settings.c_ospeed;
  return true;
}

void RequestLowLatency(int fd) {
  struct serial_struct info {};
  if (ioctl(fd, TIOCGSERIAL, &info) != 0) return;
  if (info.flags & ASYNC_LOW_LATENCY) return;
  info.flags |= ASYNC_LOW_LATENCY;
  (void)ioctl(fd, TIOCSSERIAL, &info);
}

}  // namespace quillorn::posix
