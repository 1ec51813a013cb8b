// The POSIX serial backend: a termios device in raw mode that behaves like the Windows
// communications API the rest of the program is written against. Read and write timeouts
// follow COMMTIMEOUTS (interval, multiplier, constant), emulated with poll(). The descriptor
// stays non-blocking for its whole life so that no read, write or wait can outlast its bound.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <thread>

#include "serial/DeviceProbe.hpp"
#include "serial/ReadTimeouts.hpp"
#include "serial/SerialDevice.hpp"
#include "platform/SystemErrorText.hpp"
#include "serial/OpenFailure.hpp"
#include "serial/posix/LinuxLineSpeed.hpp"

namespace quillorn {
namespace {

using TClock = std::chrono::steady_clock;
using TMillis = std::chrono::milliseconds;
constexpr uint32_t kMaxDword = 0xFFFFFFFFu;

// Errors of open(): a node without hardware behind it answers EIO/ENXIO/ENODEV.
int32_t OpenErrorFromErrno(int err) {
  switch (err) {
    case EACCES: case EPERM: case EBUSY: case EAGAIN: return kErrorAccessDenied;
    case ENOTTY: return kErrorNotSupported;
    default: return kErrorFileNotFound;
  }
}

// Errors of an open device: losing it (a USB adapter pulled out, the far end of a
// pseudo-terminal closed) is a removal, not a timeout.
int32_t DeviceErrorFromErrno(int err) {
  switch (err) {
    case EIO: case ENXIO: case ENODEV: return kErrorDeviceRemoved;
    case EBADF: return kErrorInvalidHandle;
    case EINVAL: return kErrorInvalidParameter;
    case ENOTTY: case ENOSYS: case EOPNOTSUPP: return kErrorNotSupported;
    case EACCES: case EPERM: return kErrorAccessDenied;
    default: return kErrorGenFailure;
  }
}

bool Fail(int32_t* error, int32_t code) {
  if (error) *error = code;
  return false;
}

bool FailErrno(int32_t* error) { return Fail(error, DeviceErrorFromErrno(errno)); }

void ResetError(int32_t* error) {
  if (error) *error = 0;
}

// Milliseconds until deadline for poll(), rounded up so a wait never ends early.
int PollMillis(TClock::time_point deadline) {
  const auto left = deadline - TClock::now();
  if (left <= TClock::duration::zero()) return 0;
  const auto ms = std::chrono::ceil<TMillis>(left).count();
  return ms > 1000000 ? 1000000 : static_cast<int>(ms);
}

struct TSpeedCode { uint32_t baud; speed_t code; };
constexpr TSpeedCode kStandardSpeeds[] = {
    {50, B50},       {75, B75},       {110, B110},     {134, B134},     {150, B150},
    {200, B200},     {300, B300},     {600, B600},     {1200, B1200},   {1800, B1800},
    {2400, B2400},   {4800, B4800},   {9600, B9600},   {19200, B19200}, {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}};

std::optional<speed_t> StandardSpeed(uint32_t baud) {
  for (const auto& entry : kStandardSpeeds) {
    if (entry.baud == baud) return entry.code;
  }
  return std::nullopt;
}

uint32_t BaudOf(const termios& settings, int fd) {
  uint32_t baud = 0;
  if (posix::GetLineSpeed(fd, &baud) && baud != 0) return baud;
  const speed_t code = cfgetospeed(&settings);
  for (const auto& entry : kStandardSpeeds) {
    if (entry.code == code) return entry.baud;
  }
  return 0;
}

tcflag_t SizeFlag(uint8_t dataBits) {
  switch (dataBits) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    default: return CS8;
  }
}

uint8_t DataBitsOf(tcflag_t cflag) {
  switch (cflag & CSIZE) {
    case CS5: return 5;
    case CS6: return 6;
    case CS7: return 7;
    default: return 8;
  }
}

tcflag_t ParityFlags(uint8_t parity) {
  switch (parity) {
    case kOddParity: return PARENB | PARODD;
    case kEvenParity: return PARENB;
    case kMarkParity: return PARENB | CMSPAR | PARODD;
    case kSpaceParity: return PARENB | CMSPAR;
    default: return 0;
  }
}

uint8_t ParityOf(tcflag_t cflag) {
  if (!(cflag & PARENB)) return kNoParity;
  if (cflag & CMSPAR) return (cflag & PARODD) ? kMarkParity : kSpaceParity;
  return (cflag & PARODD) ? kOddParity : kEvenParity;
}

// Raw, transparent 8-bit line: no echo, no line editing, no translation, no signals. Reads
// return what is there at once (VMIN 0, VTIME 0); the waiting is done with poll().
void MakeRaw(termios& settings, const TDcb& dcb) {
  settings.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK);
  if (dcb.fParity) settings.c_iflag |= INPCK;
  if (dcb.fOutX) settings.c_iflag |= IXON;
  if (dcb.fInX) settings.c_iflag |= IXOFF;
  settings.c_oflag &= ~OPOST;
  settings.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
  settings.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | HUPCL);
  // No HUPCL: the lines keep their levels when one port object hands over to the next.
  settings.c_cflag |= CLOCAL | CREAD | SizeFlag(dcb.ByteSize) | ParityFlags(dcb.Parity);
  if (dcb.StopBits != kOneStopBit) settings.c_cflag |= CSTOPB;  // 1.5 exists only with 5 data bits
  if (dcb.fOutxCtsFlow) settings.c_cflag |= CRTSCTS;
  settings.c_cc[VMIN] = 0;
  settings.c_cc[VTIME] = 0;
}

class TPosixSerialDevice final : public TSerialDevice {
 public:
  // A COM port never edits or echoes what passes: the terminal goes raw at once, before any
  // settings arrive, keeping only its speed and frame.
  explicit TPosixSerialDevice(int fd) : fd_(fd) {
    RefreshDcb();
    termios settings{};
    if (tcgetattr(fd_, &settings) == 0) {
      MakeRaw(settings, dcb_);
      (void)tcsetattr(fd_, TCSANOW, &settings);
    }
  }
  ~TPosixSerialDevice() override { ::close(fd_); }

  bool GetState(TDcb& dcb, int32_t* error) override {
    ResetError(error);
    if (!RefreshDcb()) return FailErrno(error);
    dcb = dcb_;
    return true;
  }

  bool SetState(const TDcb& dcb, int32_t* error) override {
    ResetError(error);
    if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > kSpaceParity ||
        dcb.StopBits > kTwoStopBits) {
      return Fail(error, kErrorInvalidParameter);
    }
    termios settings{};
    if (tcgetattr(fd_, &settings) != 0) return FailErrno(error);
    MakeRaw(settings, dcb);
    const std::optional<speed_t> standard = StandardSpeed(dcb.BaudRate);
    if (standard) {
      cfsetispeed(&settings, *standard);
      cfsetospeed(&settings, *standard);
    }
    if (tcsetattr(fd_, TCSANOW, &settings) != 0) return FailErrno(error);
    if (!standard && !posix::SetLineSpeed(fd_, dcb.BaudRate)) return FailErrno(error);
    SetModemLine(TIOCM_DTR, dcb.fDtrControl == kDtrControlEnable);
    SetModemLine(TIOCM_RTS, dcb.fRtsControl == kRtsControlEnable);
    dcb_ = dcb;
    return true;
  }

  bool GetTimeouts(TCommTimeouts& timeouts, int32_t* error) override {
    ResetError(error);
    timeouts = timeouts_;
    return true;
  }

  bool SetTimeouts(const TCommTimeouts& timeouts, int32_t* error) override {
    ResetError(error);
    timeouts_ = timeouts;
    return true;
  }

  bool Read(uint8_t* buffer, uint32_t count, uint32_t* bytesRead, int32_t* error) override;
  bool Write(const uint8_t* buffer, uint32_t count, uint32_t* bytesWritten, int32_t* error) override;

  bool Purge(uint32_t flags, int32_t* error) override {
    ResetError(error);
    if ((flags & (kPurgeRxAbort | kPurgeRxClear)) && tcflush(fd_, TCIFLUSH) != 0) return FailErrno(error);
    if ((flags & (kPurgeTxAbort | kPurgeTxClear)) && tcflush(fd_, TCOFLUSH) != 0) return FailErrno(error);
    return true;
  }

  bool ClearError(uint32_t* lineErrors, TComStat* status, int32_t* error) override {
    ResetError(error);
    if (HungUp(error)) return false;
    if (lineErrors) *lineErrors = 0;  // raw termios does not report framing or overrun errors
    if (status) {
      status->cbInQue = QueueLength(FIONREAD);
      status->cbOutQue = QueueLength(TIOCOUTQ);
    }
    return true;
  }

  bool SetEventMask(uint32_t mask, int32_t* error) override {
    ResetError(error);
    eventMask_ = mask;
    return true;
  }

  bool WaitEvent(uint32_t* mask, uint32_t limitMs, int32_t* error) override;

  bool Escape(uint32_t function) override {
    switch (function) {
      case kSetDtr: return SetModemLine(TIOCM_DTR, true);
      case kClrDtr: return SetModemLine(TIOCM_DTR, false);
      case kSetRts: return SetModemLine(TIOCM_RTS, true);
      case kClrRts: return SetModemLine(TIOCM_RTS, false);
      case kSetBreak: return SetBreak();
      case kClrBreak: return ClearBreak();
      default: return false;
    }
  }

  bool GetModemStatus(uint32_t* status) override {
    int lines = 0;
    if (ioctl(fd_, TIOCMGET, &lines) != 0) return false;  // a pseudo-terminal has no modem lines
    uint32_t result = 0;
    if (lines & TIOCM_CTS) result |= kMsCtsOn;
    if (lines & TIOCM_DSR) result |= kMsDsrOn;
    if (lines & TIOCM_RNG) result |= kMsRingOn;
    if (lines & TIOCM_CAR) result |= kMsRlsdOn;
    if (status) *status = result;
    return true;
  }

  bool SetBreak() override { return ioctl(fd_, TIOCSBRK) == 0; }
  bool ClearBreak() override { return ioctl(fd_, TIOCCBRK) == 0; }

 private:
  // Where termios has nothing to say (event character, DTR/RTS modes) the last applied
  // values stand.
  bool RefreshDcb() {
    termios settings{};
    if (tcgetattr(fd_, &settings) != 0) return false;
    dcb_.BaudRate = BaudOf(settings, fd_);
    dcb_.ByteSize = DataBitsOf(settings.c_cflag);
    dcb_.Parity = ParityOf(settings.c_cflag);
    dcb_.StopBits = (settings.c_cflag & CSTOPB) ? kTwoStopBits : kOneStopBit;
    dcb_.fParity = (settings.c_iflag & INPCK) != 0;
    dcb_.fOutxCtsFlow = (settings.c_cflag & CRTSCTS) != 0;
    dcb_.fOutX = (settings.c_iflag & IXON) != 0;
    dcb_.fInX = (settings.c_iflag & IXOFF) != 0;
    return true;
  }

  // ENOTTY/EINVAL from a device without modem lines: no effect, reported as false.
  bool SetModemLine(int line, bool on) {
    return ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &line) == 0;
  }

  uint32_t QueueLength(unsigned long request) const {
    int bytes = 0;
    if (ioctl(fd_, request, &bytes) != 0 || bytes < 0) return 0;
    return static_cast<uint32_t>(bytes);
  }

  // The driver's queue is empty and, where the UART tells, its shift register too.
  bool TransmitterIdle() const {
    if (QueueLength(TIOCOUTQ) != 0) return false;
    int lsr = 0;
    if (ioctl(fd_, TIOCSERGETLSR, &lsr) == 0) return (lsr & TIOCSER_TEMT) != 0;
    return true;
  }

  bool CtsOn() {
    uint32_t status = 0;
    return GetModemStatus(&status) && (status & kMsCtsOn);
  }

  // Waits for input until deadline (none: without end). *ready false when it passed.
  bool WaitReadable(std::optional<TClock::time_point> deadline, bool* ready, int32_t* error);
  // True (with the error set) when the device is gone.
  bool HungUp(int32_t* error) const;

  int fd_;
  TDcb dcb_{};
  TCommTimeouts timeouts_{};
  uint32_t eventMask_ = 0;
};

bool TPosixSerialDevice::WaitReadable(std::optional<TClock::time_point> deadline, bool* ready, int32_t* error) {
  for (;;) {
    pollfd entry{fd_, POLLIN, 0};
    const int timeoutMs = deadline ? PollMillis(*deadline) : -1;
    const int result = poll(&entry, 1, timeoutMs);
    if (result < 0) {
      if (errno == EINTR) continue;
      return FailErrno(error);
    }
    // A hung-up terminal (adapter unplugged, far end of a pseudo-terminal closed) polls as
    // readable and reads as empty for ever: it is a fault, whatever else poll says.
    if (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) {
      return Fail(error, (entry.revents & POLLNVAL) ? kErrorInvalidHandle : kErrorDeviceRemoved);
    }
    if (result == 0) {
      if (deadline && TClock::now() < *deadline) continue;  // poll rounds to whole milliseconds
      *ready = false;
      return true;
    }
    *ready = true;
    return true;
  }
}

bool TPosixSerialDevice::HungUp(int32_t* error) const {
  pollfd entry{fd_, POLLIN, 0};
  if (poll(&entry, 1, 0) < 0 || !(entry.revents & (POLLHUP | POLLERR | POLLNVAL))) return false;
  Fail(error, (entry.revents & POLLNVAL) ? kErrorInvalidHandle : kErrorDeviceRemoved);
  return true;
}

// COMMTIMEOUTS semantics: serial/ReadTimeouts.hpp.
bool TPosixSerialDevice::Read(uint8_t* buffer, uint32_t count, uint32_t* bytesRead, int32_t* error) {
  ResetError(error);
  uint32_t received = 0;
  if (bytesRead) *bytesRead = 0;
  const TCommTimeouts t = timeouts_;
  const auto start = TClock::now();
  const TReadTimeoutPlan plan(t, count, start);
  TClock::time_point lastByte{};
  while (received < count) {
    const ssize_t n = ::read(fd_, buffer + received, count - received);
    if (n > 0) {
      received += static_cast<uint32_t>(n);
      lastByte = TClock::now();
      if (plan.anyByteEnds) break;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) {
      if (bytesRead) *bytesRead = received;
      return FailErrno(error);
    }
    if (plan.immediate) {
      if (HungUp(error)) {
        if (bytesRead) *bytesRead = received;
        return false;
      }
      break;
    }
    const std::optional<TClock::time_point> deadline = plan.DeadlineAfter(received, lastByte);
    if (deadline && TClock::now() >= *deadline) break;
    bool ready = false;
    if (!WaitReadable(deadline, &ready, error)) {
      if (bytesRead) *bytesRead = received;
      return false;
    }
    if (!ready) break;
  }
  if (bytesRead) *bytesRead = received;
  return true;
}

// Write timeouts as COMMTIMEOUTS; a write without them still ends: after twice the bytes'
// wire time plus two seconds a line that takes nothing is not going to take it.
bool TPosixSerialDevice::Write(const uint8_t* buffer, uint32_t count, uint32_t* bytesWritten, int32_t* error) {
  ResetError(error);
  uint32_t written = 0;
  if (bytesWritten) *bytesWritten = 0;
  const TCommTimeouts t = timeouts_;
  uint64_t limitMs = uint64_t{t.WriteTotalTimeoutMultiplier} * count + t.WriteTotalTimeoutConstant;
  if (limitMs == 0) {
    const uint64_t charMicros = CharacterTimeMicros(dcb_.BaudRate, dcb_.ByteSize, dcb_.Parity, dcb_.StopBits);
    limitMs = 2 * charMicros * count / 1000 + 2000;
  }
  const auto deadline = TClock::now() + TMillis(limitMs);
  while (written < count) {
    const ssize_t n = ::write(fd_, buffer + written, count - written);
    if (n > 0) {
      written += static_cast<uint32_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) {
      if (bytesWritten) *bytesWritten = written;
      return FailErrno(error);
    }
    const int timeoutMs = PollMillis(deadline);
    if (timeoutMs == 0) break;
    pollfd entry{fd_, POLLOUT, 0};
    const int result = poll(&entry, 1, timeoutMs);
    if (result < 0 && errno != EINTR) {
      if (bytesWritten) *bytesWritten = written;
      return FailErrno(error);
    }
    if (result > 0 && !(entry.revents & POLLOUT)) {
      if (bytesWritten) *bytesWritten = written;
      return Fail(error, kErrorDeviceRemoved);
    }
  }
  if (bytesWritten) *bytesWritten = written;
  return true;
}

// Termios has no event wait: the selected conditions are looked at every millisecond until
// one holds or the caller's limit passes (then mask 0, "cannot tell").
bool TPosixSerialDevice::WaitEvent(uint32_t* mask, uint32_t limitMs, int32_t* error) {
  ResetError(error);
  if (mask) *mask = 0;
  const uint32_t selected = eventMask_;
  if (selected == 0) return Fail(error, kErrorInvalidParameter);
  if (HungUp(error)) return false;
  const auto deadline = TClock::now() + TMillis(limitMs);
  const bool ctsAtStart = (selected & kEvCts) ? CtsOn() : false;
  for (;;) {
    uint32_t found = 0;
    if ((selected & kEvTxEmpty) && TransmitterIdle()) found |= kEvTxEmpty;
    if ((selected & kEvRxChar) && QueueLength(FIONREAD) > 0) found |= kEvRxChar;
    if ((selected & kEvCts) && CtsOn() != ctsAtStart) found |= kEvCts;
    if (found != 0) {
      if (mask) *mask = found;
      return true;
    }
    const auto now = TClock::now();
    if (now >= deadline) return !HungUp(error);
    std::this_thread::sleep_for(std::min<TClock::duration>(TMillis(1), deadline - now));
  }
}

int OpenDescriptor(const std::string& devicePath, int32_t* error) {
  const int fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int openErrno = errno;
    NoteOpenFailure(SystemErrorText(openErrno));
    Fail(error, OpenErrorFromErrno(openErrno));
    return -1;
  }
  if (!isatty(fd)) {
    ::close(fd);
    // The system's word for this (ENOTTY, "inappropriate ioctl") would only puzzle the user.
    NoteOpenFailure("это не последовательный порт");
    Fail(error, kErrorNotSupported);
    return -1;
  }
  // Exclusive like a COM port: TIOCEXCL keeps later open() calls out (other programs get
  // EBUSY); the advisory lock catches programs that opened the port before us.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    NoteOpenFailure("порт занят другой программой");
    Fail(error, kErrorAccessDenied);
    return -1;
  }
  (void)ioctl(fd, TIOCEXCL);
  return fd;
}

}  // namespace

std::unique_ptr<TSerialDevice> OpenPlatformSerialDevice(const std::string& devicePath, int32_t* error) {
  ResetError(error);
  const int fd = OpenDescriptor(devicePath, error);
  if (fd < 0) return nullptr;
  posix::RequestLowLatency(fd);
  return std::make_unique<TPosixSerialDevice>(fd);
}

bool ProbePlatformSerialDevice(const std::string& devicePath) {
  int32_t error = 0;
  const int fd = OpenDescriptor(devicePath, &error);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

}  // namespace quillorn
