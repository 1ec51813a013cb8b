#include "protocol/Protocol.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "platform/AbortMailbox.hpp"
#include "platform/Clock.hpp"

namespace quillorn {

namespace {

// Every one-second slice of a long wait ends with a look for a posted abort.
constexpr uint32_t kSliceMs = 1000;

// Port timeouts around a reply wait: a gap of 200 ms between two bytes ends a read early, and
// every byte asked may take 100 ms on top of the constant.
constexpr uint32_t kReadIntervalMs = 200;
constexpr uint32_t kPerByteMs = 100;

// The receive buffer is emptied under this short timeout when a port is opened.
constexpr uint32_t kOpenFlushTimeoutMs = 10;

// A driver may report other events before the transmit buffer runs empty. Each wait is bounded
// by the port itself; this bounds their number, after which the echo decides.
constexpr int kMaxTransmitWaits = 8;

// Open takes the callers' codes and the port the platform's: even parity (2) goes out as mark
// (3), and one and a half stop bits (1) as two (2).
uint8_t PortParity(uint8_t parity) { return parity == kEvenParity ? kMarkParity : parity; }
uint8_t PortStopBits(uint8_t stopBits) { return stopBits == kOne5StopBits ? kTwoStopBits : stopBits; }

}  // namespace

TProtocol::TProtocol(TLinkState& link) : Link(link) {}

// The first driver destroyed at program end closes the shared port.
TProtocol::~TProtocol() { Link.SharedPort.reset(); }

void TProtocol::SetName(const char* name) {
  std::strncpy(Name, name, sizeof Name - 1);
  Name[sizeof Name - 1] = '\0';
}

ResultCode TProtocol::Open(uint8_t portNumber, int baud, uint8_t parity, uint8_t stopBits, uint8_t dataBits) {
  char deviceName[8];
  std::snprintf(deviceName, sizeof deviceName, "COM%u", static_cast<unsigned>(portNumber));
  Link.LinkBaud = baud;
  Link.SavedParity = parity;
  Link.SavedStopBits = stopBits;
  Link.SavedDataBits = dataBits;

  // The old object goes first: the device is exclusive, so reopening the same port needs it
  // closed before the new object opens it.
  Link.SharedPort.reset();
  std::unique_ptr<TSerialPort32> port(new (std::nothrow) TSerialPort32(
      deviceName, static_cast<uint32_t>(baud), dataBits, PortParity(parity), PortStopBits(stopBits)));
  if (!port || port->OpenError != 0) return Store(kNoPort);
  Link.SharedPort = std::move(port);
  Link.SavedPortNumber = portNumber;
  Link.EchoLatency.Clear();

  const uint32_t replyTimeout = Link.ReplyTimeout;
  SetReplyTimeout(kOpenFlushTimeoutMs);
  int32_t error = 0;
  Link.SharedPort->ClearReceive(&error);
  SetReplyTimeout(replyTimeout);
  return Store(kOk);
}

ResultCode TProtocol::Reopen() {
  return Open(Link.SavedPortNumber, Link.LinkBaud, Link.SavedParity, Link.SavedStopBits, Link.SavedDataBits);
}

ResultCode TProtocol::Close() {
  if (!Link.SharedPort) return Store(kNoPort);
  Link.SharedPort.reset();
  return Store(kOk);
}

ResultCode TProtocol::WriteBlock(uint32_t, const uint8_t*, uint8_t) { return Store(kNotOffered); }
ResultCode TProtocol::ReadBlock(uint32_t, uint8_t*, uint8_t) { return Store(kNotOffered); }
ResultCode TProtocol::Start(uint16_t) { return Store(kNotOffered); }
ResultCode TProtocol::Finish() { return Store(kNotOffered); }

void TProtocol::SetReplyTimeout(uint32_t ms) {
  Link.ReplyTimeout = ms;
  if (!Link.SharedPort) return;
  int32_t error = 0;
  // A port that refuses keeps its previous timeouts; the reply wait still ends.
  Link.SharedPort->SetTimeouts(kReadIntervalMs, kPerByteMs, ms, kPerByteMs, ms, &error);
}

bool TProtocol::PortUnusable() {
  if (Link.SharedPort && Link.LastResult != kNoPort) return false;
  Store(kNoPort);
  return true;
}

void TProtocol::NoteEchoLatency(uint64_t startMicros, uint32_t count) {
  const TSerialPort32& port = *Link.SharedPort;
  const uint64_t wire = uint64_t{count} * CharacterTimeMicros(port.Baud, port.DataBits, port.ParityCode, port.StopBitsCode);
  const uint64_t took = MonotonicMicros() - startMicros;
  Link.EchoLatency.Add(static_cast<uint32_t>(std::min<uint64_t>(took > wire ? took - wire : 0, UINT32_MAX)));
}

uint32_t TProtocol::ReadSome(uint8_t* buffer, uint32_t count) {
  uint32_t bytesRead = 0;
  int32_t error = 0;
  Link.SharedPort->Read(buffer, count, &bytesRead, &error);
  return bytesRead;
}

ResultCode TProtocol::ReceiveByte(uint8_t& byte) {
  if (PortUnusable()) return kNoPort;
  const uint32_t replyTimeout = Link.ReplyTimeout;
  const uint32_t slices = replyTimeout / kSliceMs;
  uint8_t received = 0;
  bool arrived = false;
  if (slices >= 1) {
    SetReplyTimeout(kSliceMs);
    for (uint32_t slice = 0; slice < slices && !arrived; ++slice) {
      arrived = ReadSome(&received, 1) == 1;
      if (PeekAbortMessage()) {
        SetReplyTimeout(replyTimeout);
        return Store(kAborted);
      }
    }
  }
  if (!arrived) arrived = ReadSome(&received, 1) == 1;
  if (slices >= 1) SetReplyTimeout(replyTimeout);
  if (!arrived) return Store(kTimeout);
  byte = received;
  return Store(kOk);
}

ResultCode TProtocol::ReceiveBlock(uint8_t* buffer, uint32_t count, uint32_t& received) {
  received = 0;
  if (PortUnusable()) return kNoPort;
  const uint32_t replyTimeout = Link.ReplyTimeout;
  const uint32_t slices = replyTimeout / kSliceMs;
  if (slices >= 1) {
    SetReplyTimeout(kSliceMs);
    for (uint32_t slice = 0; slice < slices && received < count; ++slice) {
      received += ReadSome(buffer + received, count - received);
      if (PeekAbortMessage()) {
        SetReplyTimeout(replyTimeout);
        return Store(kAborted);
      }
    }
    if (replyTimeout % kSliceMs != 0) SetReplyTimeout(replyTimeout % kSliceMs);
  }
  if (received < count) received += ReadSome(buffer + received, count - received);
  if (slices >= 1) SetReplyTimeout(replyTimeout);
  return Store(count > 0 && received == count ? kOk : kTimeout);
}

bool TProtocol::WaitTransmitEmpty() {
  for (int wait = 0; wait < kMaxTransmitWaits; ++wait) {
    uint32_t mask = 0;
    int32_t error = 0;
    if (!Link.SharedPort->WaitEvent(&mask, &error)) return false;
    // An empty mask is the driver saying it cannot tell (Wine on a pseudo-terminal does).
    if (mask == 0 || (mask & kEvTxEmpty) != 0) return true;
  }
  return true;
}

ResultCode TProtocol::SendByte(uint8_t byte) {
  if (PortUnusable()) return kNoPort;
  int32_t error = 0;
  if (!Link.SharedPort->SetEventMask(kEvTxEmpty, &error)) return Store(kNoProgrammer);
  uint32_t written = 0;
  const uint64_t start = MonotonicMicros();
  if (!Link.SharedPort->Write(&byte, 1, &written, &error) || written != 1) return Store(kWriteFailed);
  if (!WaitTransmitEmpty()) return Store(kNoProgrammer);
  // A missing echo, whatever ended the wait, means the programmer is not there.
  uint8_t echo = 0;
  if (ReceiveByte(echo) != kOk) return Store(kNoProgrammer);
  NoteEchoLatency(start, 1);
  return Store(echo == byte ? kOk : kNoProgrammer);
}

uint32_t TProtocol::EchoTimeoutMs(uint32_t count, int linkBaud) {
  constexpr uint64_t kGuardMs = 4;
  uint64_t ms;
  if (linkBaud >= 1000) {
    ms = uint64_t{count} * 10 / static_cast<uint64_t>(linkBaud / 1000) + kGuardMs;
  } else {
    constexpr uint64_t kBitsPerByte = 11;
    const uint64_t rate = linkBaud > 0 ? static_cast<uint64_t>(linkBaud) : 1;
    ms = (uint64_t{count} * kBitsPerByte * 1000 + rate - 1) / rate + kGuardMs;
  }
  return static_cast<uint32_t>(std::min<uint64_t>(ms, std::numeric_limits<uint32_t>::max()));
}

ResultCode TProtocol::WriteWhole(const uint8_t* data, uint32_t count, uint64_t& startMicros) {
  if (PortUnusable()) return kNoPort;
  int32_t error = 0;
  if (!Link.SharedPort->SetEventMask(kEvTxEmpty, &error)) return Store(kNoProgrammer);
  uint32_t written = 0;
  startMicros = MonotonicMicros();
  if (!Link.SharedPort->Write(data, count, &written, &error) || written != count) return Store(kWriteFailed);
  return kOk;
}

ResultCode TProtocol::SendBlock(const uint8_t* data, uint32_t count) {
  uint64_t start = 0;
  if (ResultCode r = WriteWhole(data, count, start)) return r;

  const uint32_t replyTimeout = Link.ReplyTimeout;
  SetReplyTimeout(EchoTimeoutMs(count, Link.LinkBaud));
  if (!WaitTransmitEmpty()) {
    SetReplyTimeout(replyTimeout);
    return Store(kNoProgrammer);
  }
  // The echo of a block is swallowed, not compared: the request's reply is checked instead.
  std::vector<uint8_t> echo(count);
  uint32_t received = 0;
  const ResultCode result = ReceiveBlock(echo.data(), count, received);
  SetReplyTimeout(replyTimeout);
  if (result == kOk) NoteEchoLatency(start, count);
  return Store(result);
}

ResultCode TProtocol::SendChecked(const uint8_t* data, uint32_t count) {
  uint64_t start = 0;
  if (ResultCode r = WriteWhole(data, count, start)) return r;
  if (!WaitTransmitEmpty()) return Store(kNoProgrammer);
  // Each echo may take what one byte's echo could take when sent alone: the reply timeout.
  std::vector<uint8_t> echo(count);
  uint32_t received = 0;
  if (ReceiveBlock(echo.data(), count, received) != kOk) return Store(kNoProgrammer);
  NoteEchoLatency(start, count);
  return Store(std::equal(echo.begin(), echo.end(), data) ? kOk : kNoProgrammer);
}

void TProtocol::SetDtr() {
  if (Link.SharedPort) Link.SharedPort->RaiseDtr();
}

void TProtocol::ClearDtr() {
  if (Link.SharedPort) Link.SharedPort->DropDtr();
}

void TProtocol::SetRts() {
  if (Link.SharedPort) Link.SharedPort->RaiseRts();
}

void TProtocol::ClearRts() {
  if (Link.SharedPort) Link.SharedPort->DropRts();
}

}  // namespace quillorn
