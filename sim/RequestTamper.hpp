#pragma once
// The bench's tamper option: the Nth flash write request (0x92) from the PC reaches the ECU
// with its first data byte raised by one and its last lowered by one. The frame's additive
// checksum still matches, so the ECU programs the wrong data and answers success: only a
// verification that looks at the data itself can tell.
#include <cstdint>
#include <optional>

namespace quillorn::sim {

class TRequestTamper {
 public:
  explicit TRequestTamper(std::optional<uint32_t> nthWrite) : nthWrite_(nthWrite) {}

  // byte as the ECU receives it; payloadIndex is its place in the frame's payload (0 the
  // command byte), or -1 outside a frame.
  uint8_t Pass(uint8_t byte, int payloadIndex);
  uint64_t Tampered() const { return tampered_; }

 private:
  static constexpr uint8_t kFlashWrite = 0x92;
  static constexpr int kCountIndex = 4;      // command, bank, address low, address high, count
  static constexpr int kFirstDataIndex = 5;

  std::optional<uint32_t> nthWrite_;
  uint32_t writesSeen_ = 0;
  bool inChosenWrite_ = false;
  int lastDataIndex_ = 0;
  uint64_t tampered_ = 0;
};

}  // namespace quillorn::sim
