#pragma once
// What the image-file operations need of a driver: blocks written and read by address, the
// bank of the eight-bank ECUs chosen, progress reported and an abort noticed. The drivers
// offer it; image/ knows nothing else of them.
#include <cstdint>

#include "report/JobReport.hpp"
#include "report/ResultCodes.hpp"

namespace quillorn {

class IBlockTransfer {
 public:
  virtual ~IBlockTransfer() = default;
  virtual ResultCode WriteBlock(uint32_t address, const uint8_t* data, uint8_t count) = 0;
  virtual ResultCode ReadBlock(uint32_t address, uint8_t* buffer, uint8_t count) = 0;
  // The bank byte that goes with the following requests.
  virtual void SelectBank(uint8_t bank) = 0;
  virtual IJobReport& Progress() = 0;
  // True once the user asked to stop; checked after every block.
  virtual bool AbortRequested() = 0;
};

// How a transfer is cut up, as the link state holds it when the operation starts.
struct TImageTransfer {
  uint32_t FileOffset = 0;          // where a binary file's window starts
  uint32_t FileLimit = 0xFFFFFFFFu; // how many of its bytes go at most
  uint8_t BlockSize = 16;           // data bytes per write request
  uint8_t ReadPieceSize = 16;       // data bytes per read request
  bool FlashErased = false;         // the job erased the flash: its blank blocks need not go
  uint8_t MemorySpace = 0;          // the memory the requests go to (kFlashSpace, ...)
  bool Append = false;              // a saved range goes after what the file holds
};

}  // namespace quillorn
