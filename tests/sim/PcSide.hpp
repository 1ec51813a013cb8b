#pragma once
// The PC's end of a bench made for one test: an in-process line without pacing (so tests run
// fast; the ECU's own serial port still takes its character times), the bench on its far end
// and the PC-side device at 57600 bit/s, 8 data bits, two stop bits.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "serial/SerialDevice.hpp"
#include "sim/link/InProcLine.hpp"
#include "sim/Bench.hpp"

namespace quillorn::sim::test {

using TBytes = std::vector<uint8_t>;

class TPcSide {
 public:
  // path: "sim:<model>,..." as a user writes it. Fails the test on a bad path.
  explicit TPcSide(const std::string& path, bool pace = false);
  ~TPcSide();

  TBench& Bench() { return *bench_; }
  TSerialDevice& Device() { return *device_; }
  TInProcLine& Line() { return *line_; }

  void SetLine(uint32_t baud, uint8_t dataBits = 8, uint8_t parity = kNoParity, uint8_t stopBits = kTwoStopBits);
  void Send(const TBytes& bytes);
  // Everything that arrives until count bytes are in or limitMs pass.
  TBytes Receive(size_t count, uint32_t limitMs = 1000);
  // Sends and returns what comes back: the echo of every byte, then the answer.
  TBytes Exchange(const TBytes& bytes, size_t answerBytes, uint32_t limitMs = 1000);
  // Nothing more arrives within limitMs.
  bool Silent(uint32_t limitMs = 100);
  void SetDtr(bool on);
  void SetRts(bool on);
  bool Cts();

  // Sync, the load header, the image in 16-byte blocks from 0xF400 and the start at start.
  // True when every answer was 0x55.
  bool Upload(const TBytes& imageFromF400, uint16_t start = 0xF420);

 private:
  std::shared_ptr<TInProcLine> line_;
  std::unique_ptr<TBench> bench_;
  std::unique_ptr<TSerialDevice> device_;
};

// "F"/"P" frame with length byte and two's-complement checksum around payload.
TBytes Frame(uint8_t prefix, const TBytes& payload);
TBytes Concat(const TBytes& a, const TBytes& b);

}  // namespace quillorn::sim::test
