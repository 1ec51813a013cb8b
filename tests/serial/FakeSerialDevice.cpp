#include "FakeSerialDevice.hpp"

namespace quillorn::test {
namespace {

class TFakeDevice final : public TSerialDevice {
 public:
  explicit TFakeDevice(std::shared_ptr<TFakeDeviceRecord> record) : r_(std::move(record)) { ++r_->opens; }
  ~TFakeDevice() override { r_->destroyed = true; }

  bool GetState(TDcb& dcb, int32_t* error) override {
    r_->calls.push_back("GetState");
    if (r_->failGetState) return Fail(error, kErrorGenFailure);
    dcb = r_->reported;
    return Ok(error);
  }
  bool SetState(const TDcb& dcb, int32_t* error) override {
    r_->calls.push_back("SetState");
    if (r_->failSetState) return Fail(error, kErrorInvalidParameter);
    r_->applied.push_back(dcb);
    return Ok(error);
  }
  bool GetTimeouts(TCommTimeouts& timeouts, int32_t* error) override {
    r_->calls.push_back("GetTimeouts");
    timeouts = r_->timeouts;
    return Ok(error);
  }
  bool SetTimeouts(const TCommTimeouts& timeouts, int32_t* error) override {
    r_->calls.push_back("SetTimeouts");
    r_->timeouts = timeouts;
    return Ok(error);
  }
  bool Read(uint8_t* buffer, uint32_t count, uint32_t* bytesRead, int32_t* error) override {
    r_->calls.push_back("Read");
    *bytesRead = 0;
    if (r_->failRead) return Fail(error, r_->readErrorCode);
    while (*bytesRead < count && !r_->incoming.empty()) {
      buffer[(*bytesRead)++] = r_->incoming.front();
      r_->incoming.pop_front();
    }
    return Ok(error);
  }
  bool Write(const uint8_t* buffer, uint32_t count, uint32_t* bytesWritten, int32_t* error) override {
    r_->calls.push_back("Write");
    r_->written.insert(r_->written.end(), buffer, buffer + count);
    *bytesWritten = count;
    return Ok(error);
  }
  bool Purge(uint32_t flags, int32_t* error) override {
    r_->calls.push_back("Purge");
    r_->purges.push_back(flags);
    return Ok(error);
  }
  bool ClearError(uint32_t* lineErrors, TComStat* status, int32_t* error) override {
    r_->calls.push_back("ClearError");
    return Ok(error);
  }
  bool SetEventMask(uint32_t mask, int32_t* error) override {
    r_->calls.push_back("SetEventMask");
    r_->eventMask = mask;
    return Ok(error);
  }
  bool WaitEvent(uint32_t* mask, uint32_t limitMs, int32_t* error) override {
    r_->calls.push_back("WaitEvent");
    r_->waitLimits.push_back(limitMs);
    *mask = r_->eventMask & kEvTxEmpty;
    return Ok(error);
  }
  bool Escape(uint32_t function) override {
    r_->calls.push_back("Escape");
    r_->escapes.push_back(function);
    return true;
  }
  bool GetModemStatus(uint32_t* status) override {
    r_->calls.push_back("GetModemStatus");
    *status = r_->modemStatus;
    return true;
  }
  bool SetBreak() override {
    r_->calls.push_back("SetBreak");
    return true;
  }
  bool ClearBreak() override {
    r_->calls.push_back("ClearBreak");
    return true;
  }

 private:
  static bool Ok(int32_t* error) {
    if (error) *error = 0;
    return true;
  }
  static bool Fail(int32_t* error, int32_t code) {
    if (error) *error = code;
    return false;
  }
  std::shared_ptr<TFakeDeviceRecord> r_;
};

constexpr char kPrefix[] = "fake:";

}  // namespace

TFakeProvider::TFakeProvider() { RegisterSerialDeviceProvider(this); }
TFakeProvider::~TFakeProvider() { UnregisterSerialDeviceProvider(this); }

std::shared_ptr<TFakeDeviceRecord> TFakeProvider::Record(const std::string& name) {
  auto& record = records_[name];
  if (!record) record = std::make_shared<TFakeDeviceRecord>();
  return record;
}

void TFakeProvider::Refuse(const std::string& name, int32_t error) { refusals_[name] = error; }

std::unique_ptr<TSerialDevice> TFakeProvider::TryOpen(const std::string& devicePath, bool* served, int32_t* error) {
  *served = devicePath.rfind(kPrefix, 0) == 0;
  if (!*served) return nullptr;
  const std::string name = devicePath.substr(sizeof(kPrefix) - 1);
  auto refusal = refusals_.find(name);
  if (refusal != refusals_.end()) {
    *error = refusal->second;
    return nullptr;
  }
  return std::make_unique<TFakeDevice>(Record(name));
}

}  // namespace quillorn::test
