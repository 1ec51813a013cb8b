#include "serial/TraceLog.hpp"

#include <atomic>
#include <chrono>

#include "platform/File.hpp"

namespace quillorn {

namespace {

std::atomic<TTraceLog*> activeTrace{nullptr};

uint64_t NowMicros() {
  using namespace std::chrono;
  return static_cast<uint64_t>(duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

// Passes every call through and logs what crossed the line.
class TTracingDevice final : public TSerialDevice {
 public:
  TTracingDevice(std::unique_ptr<TSerialDevice> inner, TTraceLog& log) : inner_(std::move(inner)), log_(log) {}

  bool GetState(TDcb& dcb, int32_t* error) override { return inner_->GetState(dcb, error); }
  bool SetState(const TDcb& dcb, int32_t* error) override {
    char text[96];
    std::snprintf(text, sizeof text, "settings %u baud, %u data bits, parity %u, stop code %u", dcb.BaudRate,
                  dcb.ByteSize, dcb.Parity, dcb.StopBits);
    log_.Event(text);
    return inner_->SetState(dcb, error);
  }
  bool GetTimeouts(TCommTimeouts& t, int32_t* error) override { return inner_->GetTimeouts(t, error); }
  bool SetTimeouts(const TCommTimeouts& t, int32_t* error) override { return inner_->SetTimeouts(t, error); }
  bool Read(uint8_t* buffer, uint32_t count, uint32_t* bytesRead, int32_t* error) override {
    uint32_t got = 0;
    const bool ok = inner_->Read(buffer, count, &got, error);
    if (got > 0) log_.Bytes('<', buffer, got);
    if (bytesRead) *bytesRead = got;
    return ok;
  }
  bool Write(const uint8_t* buffer, uint32_t count, uint32_t* bytesWritten, int32_t* error) override {
    log_.Bytes('>', buffer, count);
    return inner_->Write(buffer, count, bytesWritten, error);
  }
  bool Purge(uint32_t flags, int32_t* error) override { return inner_->Purge(flags, error); }
  bool ClearError(uint32_t* lineErrors, TComStat* status, int32_t* error) override {
    return inner_->ClearError(lineErrors, status, error);
  }
  bool SetEventMask(uint32_t mask, int32_t* error) override { return inner_->SetEventMask(mask, error); }
  bool WaitEvent(uint32_t* mask, uint32_t limitMs, int32_t* error) override {
    return inner_->WaitEvent(mask, limitMs, error);
  }
  bool Escape(uint32_t function) override {
    static const char* const names[] = {"", "", "", "RTS on", "RTS off", "DTR on", "DTR off", "", "break on", "break off"};
    if (function < 10 && names[function][0] != '\0') log_.Event(names[function]);
    return inner_->Escape(function);
  }
  bool GetModemStatus(uint32_t* status) override { return inner_->GetModemStatus(status); }
  bool SetBreak() override {
    log_.Event("break on");
    return inner_->SetBreak();
  }
  bool ClearBreak() override {
    log_.Event("break off");
    return inner_->ClearBreak();
  }

 private:
  std::unique_ptr<TSerialDevice> inner_;
  TTraceLog& log_;
};

}  // namespace

TTraceLog::~TTraceLog() { Stop(); }

bool TTraceLog::Start(const std::string& pathUtf8) {
  Stop();
  std::lock_guard<std::mutex> lock(mutex_);
  file_ = OpenFileUtf8(pathUtf8, "w");
  if (file_ == nullptr) return false;
  startMicros_ = NowMicros();
  activeTrace.store(this);
  return true;
}

void TTraceLog::Stop() {
  TTraceLog* self = this;
  activeTrace.compare_exchange_strong(self, nullptr);
  std::lock_guard<std::mutex> lock(mutex_);
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

void TTraceLog::Bytes(char direction, const uint8_t* data, uint32_t count) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (file_ == nullptr) return;
  const uint64_t t = NowMicros() - startMicros_;
  std::fprintf(file_, "%4llu.%06llu %c", static_cast<unsigned long long>(t / 1000000),
               static_cast<unsigned long long>(t % 1000000), direction);
  for (uint32_t i = 0; i < count; ++i) std::fprintf(file_, " %02X", data[i]);
  std::fputc('\n', file_);
  std::fflush(file_);
}

void TTraceLog::Event(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (file_ == nullptr) return;
  const uint64_t t = NowMicros() - startMicros_;
  std::fprintf(file_, "%4llu.%06llu # %s\n", static_cast<unsigned long long>(t / 1000000),
               static_cast<unsigned long long>(t % 1000000), text.c_str());
  std::fflush(file_);
}

std::unique_ptr<TSerialDevice> WrapForTrace(std::unique_ptr<TSerialDevice> device, const std::string& devicePath) {
  TTraceLog* log = activeTrace.load();
  if (device == nullptr || log == nullptr) return device;
  log->Event("open " + devicePath);
  return std::make_unique<TTracingDevice>(std::move(device), *log);
}

}  // namespace quillorn
