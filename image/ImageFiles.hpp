#pragma once
// Image files to and from ECU memory, block by block through a driver. Each returns the first
// failure's code: a driver's, 256 for a file that cannot be opened or read, 257 for a failed
// file write, 42 for an abort; progress goes to the driver's report after every block.
#include <cstdint>
#include <string>

#include "image/BlockTransfer.hpp"

namespace quillorn {

// The transfer window of a binary file (FileOffset, FileLimit) to address on.
ResultCode LoadBinaryImage(IBlockTransfer& blocks, const TImageTransfer& transfer, const std::string& fileName,
                           uint32_t address);
// A hex file (S-records or Intel hex), checked whole before its first record is written.
ResultCode LoadHexImage(IBlockTransfer& blocks, const std::string& fileName);
// count bytes from address on, into a new file or (Append) after what the file holds.
ResultCode SaveImage(IBlockTransfer& blocks, const TImageTransfer& transfer, const std::string& fileName,
                     uint32_t address, uint32_t count);

// A common range, then the same window of each bank from firstBank on.
struct TBankedRange {
  uint32_t Address = 0;
  uint32_t Count = 0;
  uint32_t BankAddress = 0;
  uint32_t BankCount = 0;
  uint8_t FirstBank = 0;
  uint8_t BankTotal = 0;
};
ResultCode SaveBankedImage(IBlockTransfer& blocks, const TImageTransfer& transfer, const std::string& fileName,
                           const TBankedRange& range);

}  // namespace quillorn
