#include "sim/pty/PtyBenchPort.hpp"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "serial/posix/LinuxLineSpeed.hpp"

namespace quillorn::sim {

namespace {

uint32_t BaudOf(speed_t speed) {
  switch (speed) {
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    default: return 0;
  }
}

}  // namespace

std::unique_ptr<TPtyBenchPort> TPtyBenchPort::Create(std::string* error) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
    if (error) *error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
    if (master >= 0) close(master);
    return nullptr;
  }
  const char* name = ptsname(master);
  const std::string slavePath = name ? name : "";
  const int slave = slavePath.empty() ? -1 : open(slavePath.c_str(), O_RDWR | O_NOCTTY);
  if (slave < 0) {
    if (error) *error = "cannot open the pseudo-terminal " + slavePath;
    close(master);
    return nullptr;
  }
  termios settings{};
  if (tcgetattr(slave, &settings) == 0) {
    cfmakeraw(&settings);
    cfsetspeed(&settings, B57600);
    settings.c_cflag |= CSTOPB;
    tcsetattr(slave, TCSANOW, &settings);
  }
  // Never block on a full buffer while the PC has the port closed: such bytes are lost.
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  return std::unique_ptr<TPtyBenchPort>(new TPtyBenchPort(master, slave, slavePath));
}

TPtyBenchPort::TPtyBenchPort(int master, int slave, std::string slavePath)
    : master_(master), slave_(slave), slavePath_(std::move(slavePath)) {}

TPtyBenchPort::~TPtyBenchPort() {
  close(slave_);
  close(master_);
}

bool TPtyBenchPort::EnableModemLines(std::string* error) {
  if (!modem_) modem_ = TModemLineServer::Create(error);
  return modem_ != nullptr;
}

// The bench asks for the next event only after acting on the last one: that is when a client
// waiting for its line change may go on.
std::optional<TLineEvent> TPtyBenchPort::NextEvent(std::chrono::microseconds timeout) {
  if (modem_ && answerOwed_ >= 0) modem_->Answer(answerOwed_);
  answerOwed_ = -1;
  if (pending_.empty()) Collect(timeout);
  if (pending_.empty()) return std::nullopt;
  const TModemEvent next = pending_.front();
  pending_.pop_front();
  answerOwed_ = next.answerTo;
  if (modem_) breakLog_.Note(next.event);
  return next.event;
}

void TPtyBenchPort::Collect(std::chrono::microseconds timeout) {
  std::vector<pollfd> waitFor{{master_, POLLIN, 0}};
  if (modem_) modem_->AddPollEntries(&waitFor);
  const int waitMs = static_cast<int>((timeout.count() + 999) / 1000);
  if (poll(waitFor.data(), waitFor.size(), waitMs) <= 0) return;
  // The terminal first: bytes the client wrote before a line change come before it.
  ReadTerminal();
  if (modem_) modem_->Serve(&pending_);
}

void TPtyBenchPort::ReadTerminal() {
  uint8_t buffer[256];
  for (;;) {
    const ssize_t got = read(master_, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return;
    TModemEvent byte;
    byte.event.kind = TLineEvent::Kind::Byte;
    byte.event.at = TLineClock::now();
    for (ssize_t i = 0; i < got; ++i) {
      byte.event.byte = buffer[i];
      pending_.push_back(byte);
    }
  }
}

void TPtyBenchPort::Write(const uint8_t* data, size_t count) {
  size_t done = 0;
  while (done < count) {
    const ssize_t wrote = write(master_, data + done, count - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return;  // the buffer is full because nobody reads: lost, as on a wire
    done += static_cast<size_t>(wrote);
  }
}

std::optional<TLineSettings> TPtyBenchPort::Settings() const {
  termios current{};
  if (tcgetattr(slave_, &current) != 0) return std::nullopt;
  TLineSettings settings;
  // Any rate (the diagnostic line's 10400 too), where the kernel reports it.
  if (!posix::GetLineSpeed(slave_, &settings.baud)) settings.baud = BaudOf(cfgetospeed(&current));
  const uint32_t customRate = modem_ ? modem_->CustomRate() : 0;
  if (settings.baud == 38400 && customRate != 0) settings.baud = customRate;
  if (settings.baud == 0) return std::nullopt;  // a rate this side cannot read: assume it agrees
  switch (current.c_cflag & CSIZE) {
    case CS5: settings.dataBits = 5; break;
    case CS6: settings.dataBits = 6; break;
    case CS7: settings.dataBits = 7; break;
    default: settings.dataBits = 8; break;
  }
  settings.parity = (current.c_cflag & PARENB) ? ((current.c_cflag & PARODD) ? kOddParity : kEvenParity) : kNoParity;
  settings.stopBits = (current.c_cflag & CSTOPB) ? kTwoStopBits : kOneStopBit;
  return settings;
}

}  // namespace quillorn::sim
