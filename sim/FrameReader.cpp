#include "sim/FrameReader.hpp"

namespace quillorn::sim {

namespace {

constexpr uint8_t kRequestPrefix = 'F';
constexpr uint8_t kLengthOffset = 0x55;
constexpr auto kInterByteLimit = std::chrono::milliseconds(100);

}  // namespace

TFrameReader::TResult TFrameReader::Feed(uint8_t byte, TLineClock::time_point at) {
  if (state_ != TState::Idle && at - lastByte_ > kInterByteLimit) state_ = TState::Idle;
  lastByte_ = at;
  TResult result;
  switch (state_) {
    case TState::Idle:
      if (byte != kRequestPrefix) {
        result.event = TEvent::Stray;
        result.stray = byte;
        return result;
      }
      sum_ = byte;
      payload_.clear();
      state_ = TState::Length;
      result.event = TEvent::Started;
      return result;
    case TState::Length:
      sum_ = static_cast<uint8_t>(sum_ + byte);
      length_ = byte >= kLengthOffset ? uint32_t{byte} - kLengthOffset : 0;
      if (length_ == 0 || length_ > maxLength_) {
        state_ = TState::Idle;
        result.event = TEvent::Damaged;
        return result;
      }
      state_ = TState::Payload;
      return result;
    case TState::Payload:
      sum_ = static_cast<uint8_t>(sum_ + byte);
      result.payloadIndex = static_cast<int>(payload_.size());
      payload_.push_back(byte);
      if (payload_.size() == length_) state_ = TState::Checksum;
      return result;
    case TState::Checksum:
      sum_ = static_cast<uint8_t>(sum_ + byte);
      state_ = TState::Idle;
      if (sum_ != 0) {
        result.event = TEvent::Damaged;
        return result;
      }
      result.event = TEvent::Frame;
      result.payload = std::move(payload_);
      payload_.clear();
      return result;
  }
  return result;
}

}  // namespace quillorn::sim
