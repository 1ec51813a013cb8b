#include "sim/link/InProcLine.hpp"

#include <algorithm>

#include "sim/link/InProcPcDevice.hpp"

namespace quillorn {

std::shared_ptr<TInProcLine> TInProcLine::Create(TLineOptions options) {
  return std::shared_ptr<TInProcLine>(new TInProcLine(options));
}

TInProcLine::TInProcLine(TLineOptions options) : options_(options) {}

std::unique_ptr<TSerialDevice> TInProcLine::OpenPcSide(int32_t* error) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (unplugged_ || pcOpen_) {
      // An unplugged adapter is gone from the system; a held one is busy.
      if (error) *error = unplugged_ ? kErrorFileNotFound : kErrorAccessDenied;
      return nullptr;
    }
    pcOpen_ = true;
  }
  if (error) *error = 0;
  return std::make_unique<TInProcPcDevice>(shared_from_this());
}

void TInProcLine::Unplug() {
  std::lock_guard<std::mutex> lock(mutex_);
  unplugged_ = true;
  changed_.notify_all();
}

// An event is due when its time on the wire has come; until then the peer does not see it.
std::optional<TLineEvent> TInProcLine::PeerNextEvent(std::chrono::microseconds timeout) {
  const auto deadline = TLineClock::now() + timeout;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    const auto now = TLineClock::now();
    if (!toPeer_.empty() && toPeer_.front().at <= now) {
      TLineEvent event = toPeer_.front();
      toPeer_.pop_front();
      return event;
    }
    if (now >= deadline) return std::nullopt;
    const auto wakeAt = toPeer_.empty() ? deadline : std::min(deadline, toPeer_.front().at);
    changed_.wait_until(lock, wakeAt);
  }
}

void TInProcLine::PeerWrite(const uint8_t* data, size_t count) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto now = TLineClock::now();
  const auto latency = std::chrono::milliseconds(options_.latencyMs);
  const auto charTime = std::chrono::microseconds(
      CharacterTimeMicros(settings_.baud, settings_.dataBits, settings_.parity, settings_.stopBits));
  // A reader already waits for the first queued byte, which arrives before these: only a reader
  // facing an empty queue needs waking. Waking it for every byte of a stream cost the PC side
  // more CPU than all its own work.
  const bool wasEmpty = toPc_.empty();
  for (size_t i = 0; i < count; ++i) {
    TLineClock::time_point onWire = now;
    if (options_.pace) {
      onWire = std::max(now, peerTxFree_) + charTime;
      peerTxFree_ = onWire;
    }
    toPc_.push_back({data[i], onWire + latency});
  }
  if (wasEmpty) changed_.notify_all();
}

void TInProcLine::PeerSetCts(bool on) {
  std::lock_guard<std::mutex> lock(mutex_);
  cts_ = on;
  changed_.notify_all();
}

bool TInProcLine::PeerDtr() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return dtr_;
}

bool TInProcLine::PeerRts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return rts_;
}

bool TInProcLine::PeerBreak() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return brk_;
}

bool TInProcLine::PcSideOpen() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return pcOpen_;
}

TLineSettings TInProcLine::PeerSettings() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return settings_;
}

}  // namespace quillorn
