#pragma once
// Splits the PC's byte stream into request frames: "F", L + 0x55, L bytes, a checksum that
// makes the whole frame add up to 0 mod 256. A pause of more than a tenth of a second inside
// a frame abandons it, so a frame cut short by a lost byte does not swallow the next one.
#include <chrono>
#include <cstdint>
#include <vector>

#include "sim/link/InProcLine.hpp"

namespace quillorn::sim {

class TFrameReader {
 public:
  enum class TEvent { None, Stray, Started, Frame, Damaged };

  struct TResult {
    TEvent event = TEvent::None;
    uint8_t stray = 0;              // TEvent::Stray: a byte outside any frame
    std::vector<uint8_t> payload;   // TEvent::Frame: command byte and parameters
    int payloadIndex = -1;          // the byte's place in the payload, -1 for the others
  };

  explicit TFrameReader(uint32_t maxLength = 170) : maxLength_(maxLength) {}

  TResult Feed(uint8_t byte, TLineClock::time_point at);
  void Reset() { state_ = TState::Idle; }

 private:
  enum class TState { Idle, Length, Payload, Checksum };

  uint32_t maxLength_;
  TState state_ = TState::Idle;
  uint32_t length_ = 0;
  uint8_t sum_ = 0;
  std::vector<uint8_t> payload_;
  TLineClock::time_point lastByte_{};
};

}  // namespace quillorn::sim
