#include "sim/BoschEcu.hpp"

#include <algorithm>

namespace quillorn::sim {

namespace {

constexpr uint8_t kM797Answer = 0xC5, kM10Answer = 0xD5;
constexpr uint8_t kReplyPrefix = 'P';
constexpr uint8_t kLengthOffset = 0x55;
constexpr uint32_t kMaxReplyLength = 170;

uint32_t BankBase(uint8_t bankByte) { return uint32_t{bankByte & 0x07u} * kPageSize; }

uint16_t WordAt(const std::vector<uint8_t>& bytes, size_t index) {
  return static_cast<uint16_t>(bytes[index] | (bytes[index + 1] << 8));
}

}  // namespace

TBoschEcu::TBoschEcu(const TBenchOptions& options)
    : options_(options), flash_(FlashSize(options.model), 0xFF), eeprom_(kEepromSize, 0xFF) {}

void TBoschEcu::SetReset(bool held, bool bootLoader, TLineClock::time_point now) {
  if (held && !inReset_) {
    replies_.clear();
    reader_.Reset();
  }
  inReset_ = held;
}

void TBoschEcu::PowerOff() {
  powered_ = false;
  replies_.clear();
  reader_.Reset();
}

void TBoschEcu::PowerOn(TLineClock::time_point now) {
  powered_ = true;
  inReset_ = false;
  reader_.Reset();
}

bool TBoschEcu::AnswersPoll() const {
  if (options_.model == TEcuModel::M797) return modeLine_.value_or(true);
  return !modeLine_.value_or(false);
}

void TBoschEcu::Receive(uint8_t byte, const TUartFrame& pcFrame, TLineClock::time_point at) {
  if (!ServesFrames()) return;
  TFrameReader::TResult result = reader_.Feed(byte, at);
  if (result.event == TFrameReader::TEvent::Stray && result.stray == 0x00 && AnswersPoll()) {
    Reply({options_.model == TEcuModel::M797 ? kM797Answer : kM10Answer}, at, {});
    return;
  }
  if (result.event == TFrameReader::TEvent::Frame) Serve(result.payload, at);
}

void TBoschEcu::Reply(std::vector<uint8_t> bytes, TLineClock::time_point at, std::chrono::nanoseconds work) {
  const TLineClock::time_point start = std::max(at, busyUntil_);
  busyUntil_ = start + work;
  counters_.processingNs += static_cast<uint64_t>(work.count());
  replies_.push_back({busyUntil_, std::move(bytes)});
}

void TBoschEcu::Serve(const std::vector<uint8_t>& request, TLineClock::time_point at) {
  std::vector<uint8_t> payload;
  std::chrono::nanoseconds work{0};
  const size_t length = request.size();
  switch (request[0]) {
    case 0x90:
      if (length != 4) return;
      eraseWord_ = WordAt(request, 1);
      eraseByte_ = request[3];
      payload = {0x90, request[1], request[2], eraseByte_};
      break;
    case 0x91:
      if (length != 1) return;
      payload = EraseStatus();
      work = std::chrono::milliseconds(options_.eraseTimeMs);
      break;
    case 0x92:
      if (length < 5 || length != size_t{request[4]} + 5) return;
      payload = WriteFlash(request);
      work = std::chrono::microseconds(uint64_t{options_.programTimeUs} * request[4]);
      break;
    case 0x93:
      if (length != 5 || size_t{request[4]} + 1 > kMaxReplyLength) return;
      payload = ReadFlash(request);
      break;
    case 0x97:
      if (length < 4 || length != size_t{request[3]} + 4) return;
      payload = WriteEeprom(request);
      work = std::chrono::milliseconds(uint64_t{options_.eepromWriteTimeMs} * request[3]);
      break;
    case 0x98:
      if (length != 4 || size_t{request[3]} + 1 > kMaxReplyLength || options_.eepromNack) return;
      payload = ReadEeprom(request);
      break;
    default:
      return;  // 0x9A (finish) and unknown commands get no reply
  }
  std::vector<uint8_t> frame = {kReplyPrefix, static_cast<uint8_t>(payload.size() + kLengthOffset)};
  frame.insert(frame.end(), payload.begin(), payload.end());
  uint8_t sum = 0;
  for (uint8_t byte : frame) sum = static_cast<uint8_t>(sum + byte);
  frame.push_back(static_cast<uint8_t>(0x100 - sum));
  Reply(std::move(frame), at, work);
}

std::vector<uint8_t> TBoschEcu::EraseStatus() {
  uint16_t status = 0x0001;
  if (options_.eraseFail) {
    status = eraseWord_;  // the ECU answers the erase word it was given when the erase fails
  } else {
    std::fill(flash_.begin(), flash_.end(), 0xFF);
  }
  return {0x91, static_cast<uint8_t>(status & 0xFF), static_cast<uint8_t>(status >> 8), 0x00, 0x00};
}

std::vector<uint8_t> TBoschEcu::WriteFlash(const std::vector<uint8_t>& request) {
  const uint8_t bank = request[1];
  const uint16_t address = WordAt(request, 2);
  const uint8_t count = request[4];
  for (uint32_t i = 0; i < count; ++i) {
    const uint16_t at = static_cast<uint16_t>(address + i);
    const uint32_t linear = BankBase(bank) + at;
    const uint8_t data = request[5 + i];
    uint8_t& cell = flash_[linear];
    const bool injected = options_.programFailAddress && *options_.programFailAddress == linear;
    if (!injected) cell &= data;  // NOR: programming only clears bits
    if (injected || cell != data) {
      return {0x92, 0x00, bank, static_cast<uint8_t>(at & 0xFF), static_cast<uint8_t>(at >> 8), data};
    }
  }
  return {0x92, 0x01};
}

std::vector<uint8_t> TBoschEcu::ReadFlash(const std::vector<uint8_t>& request) {
  const uint32_t base = BankBase(request[1]);
  const uint16_t address = WordAt(request, 2);
  std::vector<uint8_t> payload = {0x93};
  for (uint32_t i = 0; i < request[4]; ++i) payload.push_back(flash_[base + static_cast<uint16_t>(address + i)]);
  return payload;
}

std::vector<uint8_t> TBoschEcu::WriteEeprom(const std::vector<uint8_t>& request) {
  const uint16_t address = WordAt(request, 1);
  const uint8_t count = request[3];
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t at = (address & 0x01FFu) + i;
    const uint8_t device = static_cast<uint8_t>(0xA0 + 2 * ((at >> 8) & 0x07));
    if (options_.eepromNack || at >= kEepromSize) {
      return {0x97, 0x00, device, static_cast<uint8_t>(at & 0xFF), static_cast<uint8_t>((at >> 8) & 0x07), 0x00};
    }
    eeprom_[at] = request[4 + i];
  }
  return {0x97, 0x01};
}

std::vector<uint8_t> TBoschEcu::ReadEeprom(const std::vector<uint8_t>& request) {
  const uint16_t address = WordAt(request, 1);
  std::vector<uint8_t> payload = {0x98};
  for (uint32_t i = 0; i < request[3]; ++i) payload.push_back(eeprom_[((address & 0x01FFu) + i) % kEepromSize]);
  return payload;
}

void TBoschEcu::AdvanceTo(TLineClock::time_point now, const TUartFrame& pcFrame, std::vector<uint8_t>& toPc) {
  while (!replies_.empty() && replies_.front().due <= now) {
    toPc.insert(toPc.end(), replies_.front().bytes.begin(), replies_.front().bytes.end());
    replies_.pop_front();
  }
}

TLineClock::time_point TBoschEcu::NextWake(TLineClock::time_point now) const {
  if (!replies_.empty()) return std::max(now, replies_.front().due);
  return now + std::chrono::milliseconds(50);
}

}  // namespace quillorn::sim
