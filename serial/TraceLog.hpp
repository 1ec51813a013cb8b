#pragma once
// A support trace: every byte the program sends and receives on any port it opens, with a
// timestamp and direction, plus line events (DTR, RTS, break, settings). While a TTraceLog is
// started, OpenSerialDevice wraps each device it opens.
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

#include "serial/SerialDevice.hpp"

namespace quillorn {

class TTraceLog {
 public:
  TTraceLog() = default;
  ~TTraceLog();
  TTraceLog(const TTraceLog&) = delete;
  TTraceLog& operator=(const TTraceLog&) = delete;

  // Creates the file and makes this the trace of every device opened from now on.
  bool Start(const std::string& pathUtf8);
  void Stop();

  // Lines look like "   0.012345 > 46 5A 93" ('>' sent, '<' received, '#' an event).
  void Bytes(char direction, const uint8_t* data, uint32_t count);
  void Event(const std::string& text);

 private:
  std::mutex mutex_;
  std::FILE* file_ = nullptr;
  uint64_t startMicros_ = 0;
};

// The device as OpenSerialDevice hands it out: wrapped for the active trace, if any.
std::unique_ptr<TSerialDevice> WrapForTrace(std::unique_ptr<TSerialDevice> device, const std::string& devicePath);

}  // namespace quillorn
