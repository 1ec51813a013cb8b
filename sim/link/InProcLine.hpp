#pragma once
// A virtual serial cable inside the process: the PC side is an ordinary TSerialDevice (with
// COMMTIMEOUTS semantics, modem lines, break and events), the far side is a peer such as the
// virtual bench. Everything the PC does reaches the peer as a time-stamped event; bytes travel
// at the line rate implied by the PC's line settings when pacing is on.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

#include "serial/SerialDevice.hpp"

namespace quillorn {

using TLineClock = std::chrono::steady_clock;

struct TLineOptions {
  bool pace = false;         // deliver bytes no faster than the line rate, both directions
  uint32_t latencyMs = 0;    // extra delay before bytes reach the PC, like a USB adapter's
};

// What the peer learns from the PC side.
struct TLineEvent {
  enum class Kind { Byte, BreakOn, BreakOff, Dtr, Rts, Settings, Opened, Closed };
  Kind kind = Kind::Byte;
  uint8_t byte = 0;      // Kind::Byte
  bool level = false;    // Kind::Dtr / Kind::Rts: the new level
  TLineClock::time_point at{};  // when it happened on the wire (a byte: when its stop bit ended)
};

// Line settings as the PC last applied them.
struct TLineSettings {
  uint32_t baud = 9600;
  uint8_t dataBits = 8;
  uint8_t parity = kNoParity;
  uint8_t stopBits = kOneStopBit;
};

class TInProcLine : public std::enable_shared_from_this<TInProcLine> {
 public:
  static std::shared_ptr<TInProcLine> Create(TLineOptions options = {});

  // --- PC side ---
  // One PC-side device at a time, like an exclusive COM port: a second open fails with
  // kErrorAccessDenied while the first is alive. Closing the device keeps the line.
  std::unique_ptr<TSerialDevice> OpenPcSide(int32_t* error);
  // Makes every PC-side operation fail from now on, as when an adapter is unplugged.
  void Unplug();

  // --- peer side ---
  // Next event from the PC side, waiting up to timeout; nothing when it expires.
  std::optional<TLineEvent> PeerNextEvent(std::chrono::microseconds timeout);
  // Bytes to the PC; with pacing each arrives one character time after the previous one.
  void PeerWrite(const uint8_t* data, size_t count);
  void PeerSetCts(bool on);
  bool PeerDtr() const;
  bool PeerRts() const;
  bool PeerBreak() const;
  bool PcSideOpen() const;
  TLineSettings PeerSettings() const;
  TLineOptions Options() const { return options_; }

 private:
  explicit TInProcLine(TLineOptions options);
  friend class TInProcPcDevice;
  struct TTimedByte { uint8_t value; TLineClock::time_point at; };

  TLineOptions options_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<TLineEvent> toPeer_;
  std::deque<TTimedByte> toPc_;
  TLineClock::time_point peerTxFree_{};  // when the peer's transmitter is next idle
  TLineClock::time_point pcTxFree_{};    // when the PC's transmitter is next idle
  TLineSettings settings_{};
  bool dtr_ = false, rts_ = false, brk_ = false, cts_ = false;
  bool pcOpen_ = false, unplugged_ = false;
};

}  // namespace quillorn
