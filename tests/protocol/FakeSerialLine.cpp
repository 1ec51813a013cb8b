#include "tests/protocol/FakeSerialLine.hpp"

#include <algorithm>

namespace quillorn::test {

void TFakeLine::ForgetRecords() {
  written.clear();
  writeSizes.clear();
  timeoutsSet.clear();
  reads.clear();
  statesApplied.clear();
  purges.clear();
  eventMasks.clear();
  escapes.clear();
  waits = 0;
}

namespace {

class TFakeDevice : public TSerialDevice {
 public:
  explicit TFakeDevice(std::shared_ptr<TFakeLine> line) : line_(std::move(line)) {
    ++line_->opens;
    ++line_->openDevices;
  }
  ~TFakeDevice() override {
    ++line_->closes;
    --line_->openDevices;
  }

  bool GetState(TDcb& dcb, int32_t*) override {
    dcb = TDcb{};
    return true;
  }
  bool SetState(const TDcb& dcb, int32_t*) override {
    line_->statesApplied.push_back(dcb);
    return true;
  }
  bool GetTimeouts(TCommTimeouts& timeouts, int32_t*) override {
    timeouts = line_->current;
    return true;
  }
  bool SetTimeouts(const TCommTimeouts& timeouts, int32_t*) override {
    line_->current = timeouts;
    line_->timeoutsSet.push_back(timeouts);
    return true;
  }

  bool Read(uint8_t* buffer, uint32_t count, uint32_t* bytesRead, int32_t*) override {
    TFakeLine& line = *line_;
    if (line.pending.empty() && !line.replies.empty()) {
      line.pending.insert(line.pending.end(), line.replies.front().begin(), line.replies.front().end());
      line.replies.pop_front();
    }
    const uint32_t got = static_cast<uint32_t>(std::min<size_t>(count, line.pending.size()));
    std::copy_n(line.pending.begin(), got, buffer);
    line.pending.erase(line.pending.begin(), line.pending.begin() + got);
    *bytesRead = got;
    line.reads.push_back({count, line.current.ReadTotalTimeoutConstant, got});
    if (line.duringRead) line.duringRead(line.reads.size() - 1);
    return true;
  }

  bool Write(const uint8_t* buffer, uint32_t count, uint32_t* bytesWritten, int32_t* error) override {
    TFakeLine& line = *line_;
    if (line.failWrite) {
      *bytesWritten = 0;
      if (error) *error = kErrorGenFailure;
      return false;
    }
    const uint32_t sent = line.shortWrite && count > 0 ? count - 1 : count;
    line.written.insert(line.written.end(), buffer, buffer + sent);
    line.writeSizes.push_back(sent);
    if (line.echo) {
      for (uint32_t i = 0; i < sent; ++i) line.pending.push_back(line.echoOf(buffer[i]));
    }
    *bytesWritten = sent;
    return true;
  }

  bool Purge(uint32_t flags, int32_t*) override {
    line_->purges.push_back(flags);
    if (flags & kPurgeRxClear) line_->pending.clear();
    return true;
  }
  bool ClearError(uint32_t* lineErrors, TComStat* status, int32_t*) override {
    if (lineErrors) *lineErrors = 0;
    if (status) *status = TComStat{};
    return true;
  }
  bool SetEventMask(uint32_t mask, int32_t* error) override {
    line_->eventMasks.push_back(mask);
    if (line_->failEventMask && error) *error = kErrorGenFailure;
    return !line_->failEventMask;
  }
  bool WaitEvent(uint32_t* mask, uint32_t, int32_t* error) override {
    TFakeLine& line = *line_;
    ++line.waits;
    if (line.failWaitEvent) {
      if (error) *error = kErrorGenFailure;
      return false;
    }
    *mask = kEvTxEmpty;
    if (!line.waitMasks.empty()) {
      *mask = line.waitMasks.front();
      line.waitMasks.pop_front();
    }
    return true;
  }
  bool Escape(uint32_t function) override {
    line_->escapes.push_back(function);
    return true;
  }
  bool GetModemStatus(uint32_t* status) override {
    *status = 0;
    return true;
  }
  bool SetBreak() override { return true; }
  bool ClearBreak() override { return true; }

 private:
  std::shared_ptr<TFakeLine> line_;
};

}  // namespace

std::unique_ptr<TSerialDevice> TFakeProvider::TryOpen(const std::string& devicePath, bool* served, int32_t* error) {
  *served = devicePath.rfind("fake:", 0) == 0;
  if (!*served) return nullptr;
  pathsOpened.push_back(devicePath);
  if (devicePath == "fake:missing") {
    *error = kErrorFileNotFound;
    return nullptr;
  }
  if (line->openDevices > 0) {
    *error = kErrorAccessDenied;
    return nullptr;
  }
  return std::make_unique<TFakeDevice>(line);
}

std::vector<uint8_t> ReplyFrame(const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> frame;
  frame.reserve(payload.size() + 3);
  frame.push_back('P');
  frame.push_back(static_cast<uint8_t>(payload.size() + 0x55));
  for (uint8_t byte : payload) frame.push_back(byte);
  uint8_t sum = 0;
  for (uint8_t byte : frame) sum += byte;
  frame.push_back(static_cast<uint8_t>(-sum));
  return frame;
}

}  // namespace quillorn::test
