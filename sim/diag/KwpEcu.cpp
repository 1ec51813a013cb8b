#include "sim/diag/KwpEcu.hpp"

namespace quillorn::sim {

namespace {

using std::chrono::milliseconds;

// ISO 14230 timing as the ECU keeps it: it answers a request after P2, gives up a request
// whose bytes are further apart than the inter-byte limit, and ends a session without
// requests after P3max.
constexpr milliseconds kResponseDelay{25};
constexpr milliseconds kInterByteLimit{50};
constexpr milliseconds kSessionTimeout{5000};

constexpr uint8_t kAddressesFollow = 0x80;
constexpr uint8_t kLengthBits = 0x3F;

constexpr uint8_t kNegativeResponse = 0x7F;
constexpr uint8_t kServiceNotSupported = 0x11;
constexpr uint8_t kSubFunctionNotSupported = 0x12;

// The key bytes of StartCommunication's positive response.
constexpr uint8_t kKeyBytes[] = {0xEF, 0x8F};

uint8_t SumOf(const std::vector<uint8_t>& bytes) {
  uint8_t sum = 0;
  for (uint8_t b : bytes) sum = static_cast<uint8_t>(sum + b);
  return sum;
}

// One character's time at 10400 bit/s, 10 bits.
constexpr auto kCharacterTime = std::chrono::microseconds(10 * 1000000 / TKwpEcu::kRate);

}  // namespace

TKwpEcu::TKwpEcu(TKwpTexts texts, TFastInitTiming timing) : texts_(std::move(texts)), timing_(timing) {}

void TKwpEcu::Start(TLineClock::time_point at) {
  state_ = TState::Asleep;
  lastActivity_ = at;
  breakStart_.reset();
  patternEnd_.reset();
  frame_.clear();
  replies_.Clear();
}

void TKwpEcu::Break(bool low, TLineClock::time_point at) {
  if (low) {
    breakStart_ = at;
    idleBeforeBreak_ = at - lastActivity_;
    return;
  }
  if (!breakStart_) return;
  const auto lowTime = at - *breakStart_;
  breakStart_.reset();
  lastActivity_ = at;
  const bool patternGood = idleBeforeBreak_ >= timing_.minIdle && lowTime >= timing_.minLow && lowTime <= timing_.maxLow;
  // A wrong pattern wakes nothing and ends a session: the line was not idle.
  patternEnd_.reset();
  if (patternGood) {
    patternEnd_ = at;
    state_ = TState::Initialised;
  } else {
    state_ = TState::Asleep;
  }
  frame_.clear();
}

size_t TKwpEcu::ExpectedLength() const {
  if (frame_.empty()) return 0;
  const uint8_t format = frame_[0];
  const size_t headerAddresses = (format & kAddressesFollow) ? 2 : 0;
  const size_t inlineLength = format & kLengthBits;
  if (inlineLength != 0) return 1 + headerAddresses + inlineLength + 1;
  const size_t lengthIndex = 1 + headerAddresses;
  if (frame_.size() <= lengthIndex) return 0;
  return lengthIndex + 1 + frame_[lengthIndex] + 1;
}

void TKwpEcu::Receive(uint8_t byte, TLineClock::time_point at) {
  const auto startOfByte = at - kCharacterTime;
  if (frame_.empty()) {
    const auto idle = startOfByte - lastActivity_;
    if (state_ == TState::InSession && at - lastRequest_ > kSessionTimeout) state_ = TState::Asleep;
    if (state_ == TState::Initialised && patternEnd_) {
      const auto high = startOfByte - *patternEnd_;
      // The start request must follow the pattern's high phase at once.
      if (high < timing_.minHigh || high > timing_.maxHigh) state_ = TState::Asleep;
      patternEnd_.reset();
    } else if (!breakVisible_ && state_ == TState::Asleep && idle >= timing_.minIdle) {
      // A session in progress goes on: a pause within it is no pattern.
      state_ = TState::Initialised;
    }
  } else if (at - lastByte_ > kInterByteLimit) {
    frame_.clear();
  }
  lastActivity_ = at;
  lastByte_ = at;
  if (state_ == TState::Asleep) return;
  frame_.push_back(byte);
  const size_t expected = ExpectedLength();
  if (expected != 0 && frame_.size() >= expected) HandleFrame(at);
}

void TKwpEcu::HandleFrame(TLineClock::time_point at) {
  std::vector<uint8_t> frame;
  frame.swap(frame_);
  const uint8_t checksum = frame.back();
  frame.pop_back();
  if (SumOf(frame) != checksum) return;  // a damaged request is not answered
  const bool addressed = frame[0] & kAddressesFollow;
  if (addressed && frame[1] != kEcuAddress) return;
  const uint8_t tester = addressed ? frame[2] : 0xF1;
  const size_t dataStart = 1 + (addressed ? 2 : 0) + ((frame[0] & kLengthBits) == 0 ? 1 : 0);
  const std::vector<uint8_t> request(frame.begin() + static_cast<std::ptrdiff_t>(dataStart), frame.end());
  if (request.empty()) return;
  // Until the start request has been answered, the ECU takes nothing else.
  if (state_ == TState::Initialised && request[0] != 0x81) {
    state_ = TState::Asleep;
    return;
  }
  lastRequest_ = at;
  Respond(tester, Answer(request), at);
}

std::vector<uint8_t> TKwpEcu::Answer(const std::vector<uint8_t>& request) {
  const uint8_t service = request[0];
  switch (service) {
    case 0x81:
      state_ = TState::InSession;
      return {0xC1, kKeyBytes[0], kKeyBytes[1]};
    case 0x10:
      if (request.size() < 2) return {kNegativeResponse, service, kSubFunctionNotSupported};
      return {0x50, request[1]};
    case 0x1A: {
      if (request.size() < 2) return {kNegativeResponse, service, kSubFunctionNotSupported};
      const auto found = texts_.find(request[1]);
      if (found == texts_.end()) return {kNegativeResponse, service, kSubFunctionNotSupported};
      std::vector<uint8_t> answer{0x5A, request[1]};
      // A message carries at most 255 data bytes.
      const size_t room = 255 - answer.size();
      answer.insert(answer.end(), found->second.begin(),
                    found->second.begin() + static_cast<std::ptrdiff_t>(std::min(room, found->second.size())));
      return answer;
    }
    default: return {kNegativeResponse, service, kServiceNotSupported};
  }
}

void TKwpEcu::Respond(uint8_t tester, const std::vector<uint8_t>& data, TLineClock::time_point at) {
  std::vector<uint8_t> message;
  if (data.size() <= kLengthBits) {
    message = {static_cast<uint8_t>(kAddressesFollow | data.size()), tester, kEcuAddress};
  } else {
    message = {kAddressesFollow, tester, kEcuAddress, static_cast<uint8_t>(data.size())};
  }
  message.insert(message.end(), data.begin(), data.end());
  message.push_back(SumOf(message));
  replies_.Add(std::move(message), at + kResponseDelay);
}

void TKwpEcu::AdvanceTo(TLineClock::time_point now, std::vector<uint8_t>& sent) {
  replies_.SendDue(now, sent, [this](const TTimedReply& reply) {
    lastActivity_ = reply.due + kCharacterTime * static_cast<int>(reply.bytes.size());
  });
}

TLineClock::time_point TKwpEcu::NextWake() const {
  return replies_.NextDue();
}

}  // namespace quillorn::sim
