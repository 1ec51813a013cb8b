#pragma once
// Blank blocks of a flash write. Firmware images carry large areas of 0xFF; once the job has
// erased the chip it already holds them, so their write requests can stay off the line.
#include <cstdint>

namespace quillorn {

// True when a binary write of these bytes may be left out: the job erased the flash, the
// request goes to flash (never the EEPROM, which no erase clears), and every byte is 0xFF.
bool IsBlankFlashBlock(bool flashErased, uint8_t memorySpace, const uint8_t* data, uint32_t count);

}  // namespace quillorn
