#include "image/BlankBlocks.hpp"

#include <algorithm>

namespace quillorn {

namespace {
constexpr uint8_t kErasedByte = 0xFF;
}  // namespace

bool IsBlankFlashBlock(const TLinkState& link, const uint8_t* data, uint32_t count) {
  if (!link.FlashErased || link.MemorySpace != kFlashSpace || count == 0) return false;
  return std::all_of(data, data + count, [](uint8_t byte) { return byte == kErasedByte; });
}

}  // namespace quillorn
