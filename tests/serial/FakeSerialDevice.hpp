#pragma once
// A recording serial device for tests of the layers above the backends, served through the
// ordinary provider registry for paths "fake:<name>".
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "serial/SerialDevice.hpp"

namespace quillorn::test {

// What a fake device did and how it is told to behave; shared between the test and the
// device the port object owns.
struct TFakeDeviceRecord {
  // behaviour
  TDcb reported;                  // what GetState answers
  bool failGetState = false;
  bool failSetState = false;
  bool failRead = false;
  int32_t readErrorCode = 0;      // the code a failing Read reports (0: none)
  std::deque<uint8_t> incoming;   // bytes Read hands out; a read gets what is there
  uint32_t modemStatus = 0;
  // record
  int opens = 0;
  bool destroyed = false;
  std::vector<std::string> calls;
  std::vector<TDcb> applied;      // every SetState
  std::vector<uint8_t> written;
  std::vector<uint32_t> purges;
  std::vector<uint32_t> escapes;
  std::vector<uint32_t> waitLimits;
  uint32_t eventMask = 0;
  TCommTimeouts timeouts;
};

class TFakeProvider final : public TSerialDeviceProvider {
 public:
  TFakeProvider();
  ~TFakeProvider() override;
  // The record of the device at "fake:<name>" (created on first use).
  std::shared_ptr<TFakeDeviceRecord> Record(const std::string& name);
  // "fake:<name>" refuses to open with the error given.
  void Refuse(const std::string& name, int32_t error);
  std::unique_ptr<TSerialDevice> TryOpen(const std::string& devicePath, bool* served, int32_t* error) override;

 private:
  std::map<std::string, std::shared_ptr<TFakeDeviceRecord>> records_;
  std::map<std::string, int32_t> refusals_;
};

}  // namespace quillorn::test
