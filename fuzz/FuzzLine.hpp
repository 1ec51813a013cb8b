#pragma once
// A serial device for the fuzz targets: the programmer box's echo of everything written, then
// the fuzz input as the ECU's answer. Reads never wait: what is not there is a timeout at once,
// so every run is quick and no run depends on the clock.
#include <algorithm>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "protocol/LinkState.hpp"
#include "serial/PortMap.hpp"
#include "serial/SerialDevice.hpp"

namespace quillorn::fuzz {

class TFuzzDevice final : public TSerialDevice {
 public:
  explicit TFuzzDevice(std::deque<uint8_t>& pending) : pending_(pending) {}
  bool GetState(TDcb& dcb, int32_t* error) override { return Ok(error, (dcb = dcb_, true)); }
  bool SetState(const TDcb& dcb, int32_t* error) override { return Ok(error, (dcb_ = dcb, true)); }
  bool GetTimeouts(TCommTimeouts& t, int32_t* error) override { return Ok(error, (t = timeouts_, true)); }
  bool SetTimeouts(const TCommTimeouts& t, int32_t* error) override { return Ok(error, (timeouts_ = t, true)); }
  bool Read(uint8_t* buffer, uint32_t count, uint32_t* bytesRead, int32_t* error) override {
    uint32_t n = 0;
    while (n < count && !pending_.empty()) {
      buffer[n++] = pending_.front();
      pending_.pop_front();
    }
    echoed_ -= std::min<size_t>(echoed_, n);
    if (bytesRead) *bytesRead = n;
    return Ok(error, true);
  }
  // The echo goes ahead of the answer still waiting, as on the real line.
  bool Write(const uint8_t* buffer, uint32_t count, uint32_t* bytesWritten, int32_t* error) override {
    pending_.insert(pending_.begin() + static_cast<long>(std::min<size_t>(echoed_, pending_.size())), buffer,
                    buffer + count);
    echoed_ += count;
    if (bytesWritten) *bytesWritten = count;
    return Ok(error, true);
  }
  bool Purge(uint32_t, int32_t* error) override { return Ok(error, true); }
  bool ClearError(uint32_t* lineErrors, TComStat* status, int32_t* error) override {
    if (lineErrors) *lineErrors = 0;
    if (status) *status = {static_cast<uint32_t>(pending_.size()), 0};
    return Ok(error, true);
  }
  bool SetEventMask(uint32_t mask, int32_t* error) override { return Ok(error, (mask_ = mask, true)); }
  bool WaitEvent(uint32_t* mask, uint32_t, int32_t* error) override {
    if (mask) *mask = mask_ & kEvTxEmpty;
    return Ok(error, true);
  }
  bool Escape(uint32_t) override { return true; }
  bool GetModemStatus(uint32_t* status) override { return (*status = 0, true); }
  bool SetBreak() override { return true; }
  bool ClearBreak() override { return true; }

 private:
  static bool Ok(int32_t* error, bool result) {
    if (error) *error = 0;
    return result;
  }
  std::deque<uint8_t>& pending_;
  size_t echoed_ = 0;  // echo bytes at the front of pending_, not yet read
  TDcb dcb_;
  TCommTimeouts timeouts_;
  uint32_t mask_ = 0;
};

// Serves "fuzz:line" with a device over one byte queue: the fuzz input.
class TFuzzLine final : public TSerialDeviceProvider {
 public:
  static constexpr uint8_t kPort = 200;
  TFuzzLine() {
    RegisterSerialDeviceProvider(this);
    TPortMap::Instance().SetOverride(kPort, "fuzz:line");
  }
  std::unique_ptr<TSerialDevice> TryOpen(const std::string& path, bool* served, int32_t* error) override {
    *served = path == "fuzz:line";
    if (error) *error = 0;
    return *served ? std::make_unique<TFuzzDevice>(answer) : nullptr;
  }
  void Feed(const uint8_t* data, size_t size) { answer.assign(data, data + size); }
  std::deque<uint8_t> answer;
};

}  // namespace quillorn::fuzz
