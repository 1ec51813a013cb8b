// libquillorn_modem.so: test equipment for the bench, preloaded into a client process (the
// command-line client, or Wine running Quillorn.exe) so that the bench's pseudo-terminal has
// DTR, RTS, CTS and break. The modem-line and break calls on that terminal go to quillorn-sim
// over its side channel; every other call, and every call on another descriptor, goes to the C
// library untouched. Wine sets a rate termios cannot name through the UART's custom divisor
// (TIOCGSERIAL/TIOCSSERIAL); those calls go to the bench as well, so it hears 10400 as 10400. When the bench cannot be reached the call is passed on too, so it fails
// as it would on a bare pseudo-terminal: nothing waits longer than kReplyTimeoutMs.
#include <dlfcn.h>
#include <linux/serial.h>
#include <poll.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "sim/pty/ModemWire.hpp"

namespace {

using namespace quillorn::sim::modem;

constexpr int kReplyTimeoutMs = 2000;
constexpr long kDefaultBreakMs = 250;  // what the C library's tcsendbreak(fd, 0) holds

using TIoctl = int (*)(int, unsigned long, ...);
using TSendBreak = int (*)(int, int);

struct TState {
  pthread_once_t once = PTHREAD_ONCE_INIT;
  pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
  TIoctl realIoctl = nullptr;
  TSendBreak realSendBreak = nullptr;
  bool haveTerminal = false;
  dev_t terminal = 0;
  sockaddr_un address{};
  bool haveAddress = false;
  int socket = -1;
  pid_t socketOwner = 0;  // a forked child must not share its parent's conversation
};

TState state;

void Initialise() {
  state.realIoctl = reinterpret_cast<TIoctl>(dlsym(RTLD_NEXT, "ioctl"));
  state.realSendBreak = reinterpret_cast<TSendBreak>(dlsym(RTLD_NEXT, "tcsendbreak"));
  struct stat terminal {};
  const char* terminalPath = std::getenv(kTerminalVariable);
  if (terminalPath != nullptr && stat(terminalPath, &terminal) == 0 && S_ISCHR(terminal.st_mode)) {
    state.terminal = terminal.st_rdev;
    state.haveTerminal = true;
  }
  const char* socketPath = std::getenv(kSocketVariable);
  if (socketPath != nullptr && std::strlen(socketPath) < sizeof state.address.sun_path) {
    state.address.sun_family = AF_UNIX;
    std::strcpy(state.address.sun_path, socketPath);
    state.haveAddress = true;
  }
}

// By the device, not the number: the client may open the port many times, and Wine's
// descriptors are its own business.
bool IsBenchTerminal(int fd) {
  pthread_once(&state.once, Initialise);
  if (!state.haveTerminal || !state.haveAddress) return false;
  struct stat opened {};
  return fstat(fd, &opened) == 0 && S_ISCHR(opened.st_mode) && opened.st_rdev == state.terminal;
}

int64_t MonotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}

void Disconnect() {
  if (state.socket >= 0) close(state.socket);
  state.socket = -1;
}

bool Connected() {
  if (state.socket >= 0 && state.socketOwner == getpid()) return true;
  if (state.socket >= 0) state.socket = -1;  // the parent's: leave it open for the parent
  // Non-blocking: a bench that stopped taking connections or requests makes the call fail at
  // once instead of holding it; only the wait for the answer below takes time, and it is bounded.
  const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return false;
  if (connect(fd, reinterpret_cast<const sockaddr*>(&state.address), sizeof state.address) != 0) {
    close(fd);
    return false;
  }
  state.socket = fd;
  state.socketOwner = getpid();
  return true;
}

bool ReplyArrived(int fd) {
  const int64_t deadline = MonotonicNs() + int64_t{kReplyTimeoutMs} * 1000000;
  for (;;) {
    const int64_t leftMs = (deadline - MonotonicNs() + 999999) / 1000000;
    if (leftMs <= 0) return false;
    pollfd entry{fd, POLLIN, 0};
    const int ready = poll(&entry, 1, static_cast<int>(leftMs));
    if (ready > 0) return (entry.revents & POLLIN) != 0;
    if (ready < 0 && errno != EINTR) return false;
  }
}

// One request and its answer; false (and the conversation dropped) when the bench is gone or
// does not answer in time.
bool Exchange(const TRequest& request, TReply* reply) {
  const int savedErrno = errno;
  pthread_mutex_lock(&state.mutex);
  bool done = Connected() && send(state.socket, &request, sizeof request, MSG_NOSIGNAL) == sizeof request &&
              ReplyArrived(state.socket) && recv(state.socket, reply, sizeof *reply, 0) == sizeof *reply;
  if (!done && state.socket >= 0) {
    // A test that fails after this line failed for the bench, not for the client.
    static const char kGaveUp[] = "libquillorn_modem: no answer from quillorn-sim: the call goes to the bare terminal\n";
    (void)!write(STDERR_FILENO, kGaveUp, sizeof kGaveUp - 1);
  }
  if (!done) Disconnect();
  pthread_mutex_unlock(&state.mutex);
  errno = savedErrno;
  return done;
}

bool Send(uint32_t kind, uint32_t mask = 0, uint32_t levels = 0, TReply* reply = nullptr) {
  TRequest request;
  request.kind = kind;
  request.mask = mask;
  request.levels = levels;
  request.atNs = MonotonicNs();
  TReply ignored;
  return Exchange(request, reply != nullptr ? reply : &ignored);
}

uint32_t WireLines(int modemBits) {
  return ((modemBits & TIOCM_DTR) ? kLineDtr : 0) | ((modemBits & TIOCM_RTS) ? kLineRts : 0);
}

int ModemBits(uint32_t lines) {
  return ((lines & kLineDtr) ? TIOCM_DTR : 0) | ((lines & kLineRts) ? TIOCM_RTS : 0) |
         ((lines & kLineCts) ? TIOCM_CTS : 0);
}

// The serial information of a 16550 whose custom divisor the bench keeps.
bool GetSerial(serial_struct* info) {
  TReply reply;
  if (info == nullptr || !Send(kGetLines, 0, 0, &reply)) return false;
  *info = serial_struct{};
  info->type = PORT_16550A;
  info->baud_base = kUartBaseRate;
  info->custom_divisor = static_cast<int>(reply.divisor);
  info->flags = reply.divisor != 0 ? ASYNC_SPD_CUST : 0;
  return true;
}

bool SetSerial(const serial_struct* info) {
  if (info == nullptr) return false;
  const bool custom = (info->flags & ASYNC_SPD_MASK) == ASYNC_SPD_CUST && info->custom_divisor > 0;
  return Send(kSetDivisor, 0, custom ? static_cast<uint32_t>(info->custom_divisor) : 0);
}

// True when the bench took the call (ioctl then succeeds).
bool ServeIoctl(unsigned long request, void* argument) {
  int* bits = static_cast<int*>(argument);
  switch (request) {
    case TIOCGSERIAL:
      return GetSerial(static_cast<serial_struct*>(argument));
    case TIOCSSERIAL:
      return SetSerial(static_cast<const serial_struct*>(argument));
    case TIOCMGET: {
      TReply reply;
      if (bits == nullptr || !Send(kGetLines, 0, 0, &reply)) return false;
      *bits = ModemBits(reply.lines);
      return true;
    }
    case TIOCMSET:
      return bits != nullptr && Send(kSetLines, kLineDtr | kLineRts, WireLines(*bits));
    case TIOCMBIS:
      return bits != nullptr && Send(kSetLines, WireLines(*bits), WireLines(*bits));
    case TIOCMBIC:
      return bits != nullptr && Send(kSetLines, WireLines(*bits), 0);
    case TIOCSBRK:
      return Send(kBreakOn);
    case TIOCCBRK:
      return Send(kBreakOff);
    default:
      return false;
  }
}

bool IsModemRequest(unsigned long request) {
  switch (request) {
    case TIOCMGET: case TIOCMSET: case TIOCMBIS: case TIOCMBIC: case TIOCSBRK: case TIOCCBRK:
    case TIOCGSERIAL: case TIOCSSERIAL:
      return true;
    default: return false;
  }
}

void SleepMs(long ms) {
  timespec left{ms / 1000, (ms % 1000) * 1000000};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

}  // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept {
  va_list arguments;
  va_start(arguments, request);
  void* argument = va_arg(arguments, void*);
  va_end(arguments);
  pthread_once(&state.once, Initialise);
  if (IsModemRequest(request) && IsBenchTerminal(fd) && ServeIoctl(request, argument)) return 0;
  return state.realIoctl != nullptr ? state.realIoctl(fd, request, argument) : (errno = ENOSYS, -1);
}

// The C library's tcsendbreak reaches the terminal without passing through ioctl above.
extern "C" int tcsendbreak(int fd, int duration) noexcept {
  pthread_once(&state.once, Initialise);
  if (IsBenchTerminal(fd) && Send(kBreakOn)) {
    SleepMs(duration <= 0 ? kDefaultBreakMs : (duration + 99) / 100 * 100);
    Send(kBreakOff);
    return 0;
  }
  return state.realSendBreak != nullptr ? state.realSendBreak(fd, duration) : (errno = ENOSYS, -1);
}
