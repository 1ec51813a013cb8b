#include "sim/RequestTamper.hpp"

namespace quillorn::sim {

uint8_t TRequestTamper::Pass(uint8_t byte, int payloadIndex) {
  if (!nthWrite_ || payloadIndex < 0) return byte;
  if (payloadIndex == 0) {
    if (byte == kFlashWrite) ++writesSeen_;
    inChosenWrite_ = byte == kFlashWrite && writesSeen_ == *nthWrite_;
    return byte;
  }
  if (!inChosenWrite_) return byte;
  if (payloadIndex == kCountIndex) {
    // With fewer than two data bytes nothing can change unseen by the frame's sum.
    lastDataIndex_ = kFirstDataIndex + byte - 1;
    inChosenWrite_ = byte >= 2;
    return byte;
  }
  if (payloadIndex == kFirstDataIndex) return static_cast<uint8_t>(byte + 1);
  if (payloadIndex == lastDataIndex_) {
    ++tampered_;
    inChosenWrite_ = false;
    return static_cast<uint8_t>(byte - 1);
  }
  return byte;
}

}  // namespace quillorn::sim
