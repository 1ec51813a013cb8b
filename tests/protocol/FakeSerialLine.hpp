#pragma once
// A scripted peer behind a fake serial device: it echoes what the PC writes, hands out
// scripted replies, and records everything the PC does. Reads never wait: they return at once
// with what is there, so the timeouts a read was asked to honour are recorded, not spent.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "serial/SerialDevice.hpp"

namespace quillorn::test {

struct TFakeRead {
  uint32_t asked = 0;
  uint32_t constantMs = 0;  // the read total constant in force
  uint32_t got = 0;
};

struct TFakeLine {
  // --- behaviour ---
  bool echo = true;
  std::function<uint8_t(uint8_t)> echoOf = [](uint8_t byte) { return byte; };
  // Each reply is released when the PC reads a line that has nothing left for it; a reply
  // split in pieces therefore arrives one piece per read.
  std::deque<std::vector<uint8_t>> replies;
  bool failEventMask = false;
  bool failWrite = false;
  bool shortWrite = false;
  bool failWaitEvent = false;
  std::deque<uint32_t> waitMasks;  // masks WaitEvent reports; EV_TXEMPTY once they run out
  std::function<void(size_t readIndex)> duringRead;  // e.g. an abort posted while waiting

  // --- records ---
  std::vector<uint8_t> written;
  std::vector<uint32_t> writeSizes;  // one entry per Write call
  std::vector<TCommTimeouts> timeoutsSet;
  std::vector<TFakeRead> reads;
  std::vector<TDcb> statesApplied;
  std::vector<uint32_t> purges;
  std::vector<uint32_t> eventMasks;
  std::vector<uint32_t> escapes;
  size_t waits = 0;
  int opens = 0;
  int closes = 0;
  int openDevices = 0;

  std::deque<uint8_t> pending;  // bytes on their way to the PC
  TCommTimeouts current;

  void Reply(std::vector<uint8_t> bytes) { replies.push_back(std::move(bytes)); }
  void ForgetRecords();
};

// Serves every path that starts with "fake:"; "fake:missing" cannot be opened. Like a real
// COM port the device is exclusive: a second open fails while the first is alive.
class TFakeProvider : public TSerialDeviceProvider {
 public:
  std::unique_ptr<TSerialDevice> TryOpen(const std::string& devicePath, bool* served, int32_t* error) override;
  std::shared_ptr<TFakeLine> line = std::make_shared<TFakeLine>();
  std::vector<std::string> pathsOpened;
};

// A valid bootstrap reply frame: "P", L + 0x55, the payload (command byte first), checksum.
std::vector<uint8_t> ReplyFrame(const std::vector<uint8_t>& payload);

}  // namespace quillorn::test
