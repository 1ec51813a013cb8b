#include "image/BlankBlocks.hpp"

#include <algorithm>

#include "report/MemorySpace.hpp"

namespace quillorn {

namespace {
constexpr uint8_t kErasedByte = 0xFF;
}  // namespace

bool IsBlankFlashBlock(bool flashErased, uint8_t memorySpace, const uint8_t* data, uint32_t count) {
  if (!flashErased || memorySpace != kFlashSpace || count == 0) return false;
  return std::all_of(data, data + count, [](uint8_t byte) { return byte == kErasedByte; });
}

}  // namespace quillorn
