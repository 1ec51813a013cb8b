#include "sim/diag/MikasDiagnostics.hpp"

namespace quillorn::sim {

namespace {

constexpr uint8_t kEscape = 0x40, kTerminator = 0x0D, kEscapedTerminator = 0xCD, kEscapedEscape = 0x00;
constexpr std::chrono::milliseconds kResponseDelay{20};
// A frame whose bytes are further apart than this is given up.
constexpr std::chrono::milliseconds kInterByteLimit{100};

void AppendEscaped(std::vector<uint8_t>& frame, uint8_t byte) {
  if (byte == kTerminator) {
    frame.insert(frame.end(), {kEscape, kEscapedTerminator});
  } else if (byte == kEscape) {
    frame.insert(frame.end(), {kEscape, kEscapedEscape});
  } else {
    frame.push_back(byte);
  }
}

// The payload of a received frame (checksum removed); false when it is damaged.
bool DecodeFrame(const std::vector<uint8_t>& raw, std::vector<uint8_t>& payload) {
  payload.clear();
  uint8_t sum = 0;
  for (size_t i = 0; i < raw.size(); ++i) {
    uint8_t c = raw[i];
    if (c == kEscape) {
      // A request's checksum travels unescaped: an escape byte at the very end is that.
      if (i + 1 == raw.size()) {
        sum = static_cast<uint8_t>(sum + c);
        payload.push_back(c);
        break;
      }
      if (raw[++i] == kEscapedEscape) {
        c = kEscape;
      } else if (raw[i] == kEscapedTerminator) {
        c = kTerminator;
      } else {
        return false;
      }
    }
    sum = static_cast<uint8_t>(sum + c);
    payload.push_back(c);
  }
  if (payload.empty() || sum != 0) return false;
  payload.pop_back();
  return true;
}

}  // namespace

std::vector<uint8_t> MikasFrame(const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> frame;
  uint8_t sum = 0;
  for (uint8_t byte : payload) {
    sum = static_cast<uint8_t>(sum + byte);
    AppendEscaped(frame, byte);
  }
  AppendEscaped(frame, static_cast<uint8_t>(0 - sum));
  frame.push_back(kTerminator);
  return frame;
}

TMikasDiagnostics::TMikasDiagnostics(TMikasTexts texts) : texts_(std::move(texts)) {}

void TMikasDiagnostics::Start(TLineClock::time_point at) {
  raw_.clear();
  replies_.Clear();
  lastByte_ = at;
}

void TMikasDiagnostics::Receive(uint8_t byte, TLineClock::time_point at) {
  if (!raw_.empty() && at - lastByte_ > kInterByteLimit) raw_.clear();
  lastByte_ = at;
  // An escaped terminator is 40 CD, so a 0x0D always ends the frame.
  if (byte == kTerminator) {
    HandleFrame(at);
    raw_.clear();
    return;
  }
  raw_.push_back(byte);
}

void TMikasDiagnostics::HandleFrame(TLineClock::time_point at) {
  std::vector<uint8_t> request;
  if (!DecodeFrame(raw_, request)) return;
  if (request.empty() || request.size() > 2) return;
  const uint16_t key = request.size() == 1 ? MikasRequestKey(request[0]) : MikasRequestKey(request[0], request[1]);
  const auto found = texts_.find(key);
  if (found == texts_.end()) return;
  const std::vector<uint8_t> text(found->second.begin(), found->second.end());
  replies_.Add(MikasFrame(text), at + kResponseDelay);
}

void TMikasDiagnostics::AdvanceTo(TLineClock::time_point now, std::vector<uint8_t>& sent) {
  replies_.SendDue(now, sent);
}

TLineClock::time_point TMikasDiagnostics::NextWake() const {
  return replies_.NextDue();
}

}  // namespace quillorn::sim
