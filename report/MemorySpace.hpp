#pragma once
// Memory spaces a transfer goes to (TLinkState::MemorySpace, an image transfer's target): the
// bootstrap upload into the boot loader's RAM, the flash, the EEPROM. The values are the ones
// the drivers and the stored job values have always used.
#include <cstdint>

namespace quillorn {

inline constexpr uint8_t kUploadSpace = 1, kFlashSpace = 2, kEepromSpace = 3;

}  // namespace quillorn
