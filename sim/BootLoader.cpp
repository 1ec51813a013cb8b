#include "sim/BootLoader.hpp"

namespace quillorn::sim {

namespace {

constexpr uint8_t kAccepted = 0x55, kRejected = 0xFF, kChecksumWrong = 0xFE;
constexpr size_t kHeaderLength = 8;

uint8_t XorOf(const std::vector<uint8_t>& bytes, size_t count) {
  uint8_t sum = 0;
  for (size_t i = 0; i < count; ++i) sum ^= bytes[i];
  return sum;
}

TC509BootLoader::TAnswer Answer(uint8_t byte) { return {byte, std::nullopt}; }

}  // namespace

uint32_t MeasuredLoaderRate(uint8_t syncByte, const TUartFrame& sender) {
  const uint32_t lowSlots = LowRunSlots(syncByte, sender);
  return static_cast<uint32_t>(uint64_t{sender.baud} * 9 / (lowSlots == 0 ? 1 : lowSlots));
}

void TC509BootLoader::Reset() {
  state_ = TState::WaitSync;
  block_.clear();
  blockLength_ = 0;
  loadAddress_ = kXramBase;
}

TC509BootLoader::TAnswer TC509BootLoader::Receive(uint8_t byte) {
  if (state_ == TState::WaitSync) {
    // Whatever arrived was measured as the sync character; the loader never checks it.
    state_ = TState::WaitHeader;
    return Answer(kAccepted);
  }
  block_.push_back(byte);
  if (state_ == TState::WaitHeader) {
    if (block_.size() < kHeaderLength) return {};
    TAnswer answer = EvaluateHeader();
    block_.clear();
    return answer;
  }
  if (block_.size() < size_t{blockLength_} + 2) return {};
  TAnswer answer = EvaluateDataBlock();
  block_.clear();
  return answer;
}

TC509BootLoader::TAnswer TC509BootLoader::EvaluateHeader() {
  if (block_[0] != 0x00) return Answer(kRejected);
  if (XorOf(block_, 7) != block_[7]) return Answer(kChecksumWrong);
  const uint32_t address = (uint32_t{block_[2]} << 8) | block_[3];
  if (address < kXramBase) return Answer(kRejected);  // only the XRAM can be loaded or started
  if (block_[1] == 0x01) return {kAccepted, static_cast<uint16_t>(address)};
  if (block_[1] != 0x00) return Answer(kRejected);
  const uint8_t length = static_cast<uint8_t>(block_[6] - 2);
  if (length == 0) return Answer(kRejected);
  blockLength_ = length;
  loadAddress_ = address;
  state_ = TState::LoadData;
  return Answer(kAccepted);
}

TC509BootLoader::TAnswer TC509BootLoader::EvaluateDataBlock() {
  const size_t last = block_.size() - 1;
  const uint8_t type = block_[0];
  if (type != 0x01 && type != 0x02) return Answer(kRejected);
  if (XorOf(block_, last) != block_[last]) return Answer(kChecksumWrong);
  if (type == 0x01) {
    if (!Store(&block_[1], blockLength_)) return Answer(kRejected);
    return Answer(kAccepted);
  }
  const uint8_t count = block_[1];
  if (count >= blockLength_ || !Store(&block_[2], count)) return Answer(kRejected);
  state_ = TState::WaitHeader;  // the short block ends the transfer
  return Answer(kAccepted);
}

bool TC509BootLoader::Store(const uint8_t* data, uint32_t count) {
  if (loadAddress_ + count > 0x10000) return false;
  for (uint32_t i = 0; i < count; ++i) xram_[loadAddress_ - kXramBase + i] = data[i];
  loadAddress_ += count;
  return true;
}

}  // namespace quillorn::sim
