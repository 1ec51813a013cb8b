#include "sim/link/InProcPcDevice.hpp"
#include "serial/ReadTimeouts.hpp"

#include <algorithm>

namespace quillorn {
namespace {

constexpr uint32_t kMaxDword = 0xFFFFFFFFu;
using TMillis = std::chrono::milliseconds;

void ResetError(int32_t* error) {
  if (error) *error = 0;
}

bool Fail(int32_t* error, int32_t code) {
  if (error) *error = code;
  return false;
}

TLineClock::duration CharacterTime(const TLineSettings& settings) {
  return std::chrono::microseconds(
      CharacterTimeMicros(settings.baud, settings.dataBits, settings.parity, settings.stopBits));
}

}  // namespace

TInProcPcDevice::TInProcPcDevice(std::shared_ptr<TInProcLine> line) : line_(std::move(line)) {
  std::lock_guard<std::mutex> lock(line_->mutex_);
  const TLineSettings& settings = line_->settings_;
  dcb_.BaudRate = settings.baud;
  dcb_.ByteSize = settings.dataBits;
  dcb_.Parity = settings.parity;
  dcb_.StopBits = settings.stopBits;
  // The lines kept their levels while no device was open; the block says so.
  dcb_.fDtrControl = line_->dtr_ ? kDtrControlEnable : kDtrControlDisable;
  dcb_.fRtsControl = line_->rts_ ? kRtsControlEnable : kRtsControlDisable;
  PushToPeer({TLineEvent::Kind::Opened, 0, false, TLineClock::now()});
}

TInProcPcDevice::~TInProcPcDevice() {
  std::lock_guard<std::mutex> lock(line_->mutex_);
  line_->pcOpen_ = false;
  PushToPeer({TLineEvent::Kind::Closed, 0, false, TLineClock::now()});
}

bool TInProcPcDevice::Unplugged(int32_t* error) const {
  if (!line_->unplugged_) return false;
  if (error) *error = kErrorDeviceRemoved;
  return true;
}

// Kept in wire-time order, so a line change made while bytes are still being sent reaches
// the peer before those bytes, as it would on a cable.
void TInProcPcDevice::PushToPeer(TLineEvent event) {
  auto& queue = line_->toPeer_;
  auto position = std::find_if(queue.begin(), queue.end(),
                               [&](const TLineEvent& queued) { return queued.at > event.at; });
  // The peer waits for the first queued event; only a new first one changes its wait.
  const bool first = position == queue.begin();
  queue.insert(position, event);
  if (first) line_->changed_.notify_all();
}

void TInProcPcDevice::SetLevel(bool& level, bool on, TLineEvent::Kind kind) {
  if (level == on) return;
  level = on;
  PushToPeer({kind, 0, on, TLineClock::now()});
}

void TInProcPcDevice::SetBreakLevel(bool on) {
  if (line_->brk_ == on) return;
  line_->brk_ = on;
  PushToPeer({on ? TLineEvent::Kind::BreakOn : TLineEvent::Kind::BreakOff, 0, on, TLineClock::now()});
}

uint32_t TInProcPcDevice::ArrivedCount(TLineClock::time_point now) const {
  uint32_t count = 0;
  for (const auto& byte : line_->toPc_) {
    if (byte.at > now) break;
    ++count;
  }
  return count;
}

bool TInProcPcDevice::GetState(TDcb& dcb, int32_t* error) {
  std::lock_guard<std::mutex> lock(line_->mutex_);
  ResetError(error);
  if (Unplugged(error)) return false;
  dcb = dcb_;
  return true;
}

bool TInProcPcDevice::SetState(const TDcb& dcb, int32_t* error) {
  std::lock_guard<std::mutex> lock(line_->mutex_);
  ResetError(error);
  if (Unplugged(error)) return false;
  if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > kSpaceParity ||
      dcb.StopBits > kTwoStopBits) {
    return Fail(error, kErrorInvalidParameter);
  }
  dcb_ = dcb;
  line_->settings_ = {dcb.BaudRate, dcb.ByteSize, dcb.Parity, dcb.StopBits};
  PushToPeer({TLineEvent::Kind::Settings, 0, false, TLineClock::now()});
  SetLevel(line_->dtr_, dcb.fDtrControl == kDtrControlEnable, TLineEvent::Kind::Dtr);
  SetLevel(line_->rts_, dcb.fRtsControl == kRtsControlEnable, TLineEvent::Kind::Rts);
  return true;
}

bool TInProcPcDevice::GetTimeouts(TCommTimeouts& timeouts, int32_t* error) {
  std::lock_guard<std::mutex> lock(line_->mutex_);
  ResetError(error);
  if (Unplugged(error)) return false;
  timeouts = timeouts_;
  return true;
}

bool TInProcPcDevice::SetTimeouts(const TCommTimeouts& timeouts, int32_t* error) {
  std::lock_guard<std::mutex> lock(line_->mutex_);
  ResetError(error);
  if (Unplugged(error)) return false;
  timeouts_ = timeouts;
  return true;
}

// COMMTIMEOUTS semantics (serial/ReadTimeouts.hpp), judged on the bytes' arrival times rather
// than on when this thread happens to wake, so a slow scheduler cannot stretch a timeout.
bool TInProcPcDevice::Read(uint8_t* buffer, uint32_t count, uint32_t* bytesRead, int32_t* error) {
  std::unique_lock<std::mutex> lock(line_->mutex_);
  ResetError(error);
  uint32_t received = 0;
  if (bytesRead) *bytesRead = 0;
  const TCommTimeouts t = timeouts_;
  const auto start = TLineClock::now();
  const TReadTimeoutPlan plan(t, count, start);
  TLineClock::time_point lastByte{};
  auto& queue = line_->toPc_;
  for (;;) {
    if (Unplugged(error)) {
      if (bytesRead) *bytesRead = received;
      return false;
    }
    const auto now = TLineClock::now();
    auto deadlineNow = [&]() { return plan.DeadlineAfter(received, lastByte); };
    while (received < count && !queue.empty() && queue.front().at <= now) {
      const auto arrival = std::max(queue.front().at, start);
      const auto deadline = deadlineNow();
      if (deadline && arrival > *deadline) break;
      buffer[received++] = queue.front().value;
      lastByte = arrival;
      queue.pop_front();
    }
    const auto deadline = deadlineNow();
    const bool expired = deadline && (now >= *deadline);
    if (received == count || plan.immediate || (plan.anyByteEnds && received > 0) || expired) break;
    std::optional<TLineClock::time_point> wakeAt = deadline;
    if (!queue.empty() && (!wakeAt || queue.front().at < *wakeAt)) wakeAt = queue.front().at;
    if (wakeAt) {
      line_->changed_.wait_until(lock, *wakeAt);
    } else {
      line_->changed_.wait(lock);  // no timeouts at all: Windows, too, waits for every byte
    }
  }
  if (bytesRead) *bytesRead = received;
  return true;
}

// Like a driver's transmit queue: the call returns at once; with pacing each byte occupies
// the line for one character time and reaches the peer when its stop bit ends.
bool TInProcPcDevice::Write(const uint8_t* buffer, uint32_t count, uint32_t* bytesWritten, int32_t* error) {
  std::lock_guard<std::mutex> lock(line_->mutex_);
  ResetError(error);
  if (bytesWritten) *bytesWritten = 0;
  if (Unplugged(error)) return false;
  const auto now = TLineClock::now();
  const auto charTime = CharacterTime(line_->settings_);
  for (uint32_t i = 0; i < count; ++i) {
    TLineClock::time_point onWire = now;
    if (line_->options_.pace) {
      onWire = std::max(now, line_->pcTxFree_) + charTime;
      line_->pcTxFree_ = onWire;
    }
    PushToPeer({TLineEvent::Kind::Byte, buffer[i], false, onWire});
  }
  if (bytesWritten) *bytesWritten = count;
  return true;
}

bool TInProcPcDevice::Purge(uint32_t flags, int32_t* error) {
  std::lock_guard<std::mutex> lock(line_->mutex_);
  ResetError(error);
  if (Unplugged(error)) return false;
  const auto now = TLineClock::now();
  if (flags & kPurgeRxClear) {
    auto& queue = line_->toPc_;
    while (!queue.empty() && queue.front().at <= now) queue.pop_front();
  }
  if (flags & (kPurgeTxClear | kPurgeTxAbort)) {
    auto& queue = line_->toPeer_;
    queue.erase(std::remove_if(queue.begin(), queue.end(),
                               [&](const TLineEvent& e) { return e.kind == TLineEvent::Kind::Byte && e.at > now; }),
                queue.end());
    line_->pcTxFree_ = std::min(line_->pcTxFree_, now);
  }
  return true;
}

bool TInProcPcDevice::ClearError(uint32_t* lineErrors, TComStat* status, int32_t* error) {
  std::lock_guard<std::mutex> lock(line_->mutex_);
  ResetError(error);
  if (Unplugged(error)) return false;
  const auto now = TLineClock::now();
  if (lineErrors) *lineErrors = 0;
  if (status) {
    status->cbInQue = ArrivedCount(now);
    status->cbOutQue = static_cast<uint32_t>(std::count_if(
        line_->toPeer_.begin(), line_->toPeer_.end(),
        [&](const TLineEvent& e) { return e.kind == TLineEvent::Kind::Byte && e.at > now; }));
  }
  return true;
}

bool TInProcPcDevice::SetEventMask(uint32_t mask, int32_t* error) {
  std::lock_guard<std::mutex> lock(line_->mutex_);
  ResetError(error);
  if (Unplugged(error)) return false;
  eventMask_ = mask;
  return true;
}

bool TInProcPcDevice::WaitEvent(uint32_t* mask, uint32_t limitMs, int32_t* error) {
  std::unique_lock<std::mutex> lock(line_->mutex_);
  ResetError(error);
  if (mask) *mask = 0;
  if (Unplugged(error)) return false;
  const uint32_t selected = eventMask_;
  if (selected == 0) return Fail(error, kErrorInvalidParameter);
  const auto deadline = TLineClock::now() + TMillis(limitMs);
  const bool ctsAtStart = line_->cts_;
  for (;;) {
    if (Unplugged(error)) return false;
    const auto now = TLineClock::now();
    uint32_t found = 0;
    if ((selected & kEvTxEmpty) && line_->pcTxFree_ <= now) found |= kEvTxEmpty;
    if ((selected & kEvRxChar) && ArrivedCount(now) > 0) found |= kEvRxChar;
    if ((selected & kEvCts) && line_->cts_ != ctsAtStart) found |= kEvCts;
    if (found != 0) {
      if (mask) *mask = found;
      return true;
    }
    if (now >= deadline) return true;
    auto wakeAt = deadline;
    if ((selected & kEvTxEmpty) && line_->pcTxFree_ < wakeAt) wakeAt = line_->pcTxFree_;
    if ((selected & kEvRxChar) && !line_->toPc_.empty() && line_->toPc_.front().at < wakeAt) {
      wakeAt = line_->toPc_.front().at;
    }
    line_->changed_.wait_until(lock, wakeAt);
  }
}

bool TInProcPcDevice::Escape(uint32_t function) {
  std::lock_guard<std::mutex> lock(line_->mutex_);
  if (line_->unplugged_) return false;
  switch (function) {
    case kSetDtr: SetLevel(line_->dtr_, true, TLineEvent::Kind::Dtr); return true;
    case kClrDtr: SetLevel(line_->dtr_, false, TLineEvent::Kind::Dtr); return true;
    case kSetRts: SetLevel(line_->rts_, true, TLineEvent::Kind::Rts); return true;
    case kClrRts: SetLevel(line_->rts_, false, TLineEvent::Kind::Rts); return true;
    case kSetBreak: SetBreakLevel(true); return true;
    case kClrBreak: SetBreakLevel(false); return true;
    default: return false;
  }
}

bool TInProcPcDevice::GetModemStatus(uint32_t* status) {
  std::lock_guard<std::mutex> lock(line_->mutex_);
  if (line_->unplugged_) return false;
  if (status) *status = line_->cts_ ? kMsCtsOn : 0;
  return true;
}

bool TInProcPcDevice::SetBreak() { return Escape(kSetBreak); }

bool TInProcPcDevice::ClearBreak() { return Escape(kClrBreak); }

}  // namespace quillorn
