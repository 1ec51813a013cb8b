// Binary flash and EEPROM images: a file window goes to ECU memory in BlockSize pieces (blank
// ones left out after an erase), and a memory range comes back into a file in ReadPieceSize
// reads. Each block is followed by a progress report and a look for an abort.
#include <algorithm>
#include <array>

#include "image/BlankBlocks.hpp"
#include "image/ImageFiles.hpp"
#include "image/ImageProgress.hpp"
#include "platform/File.hpp"

namespace quillorn {

namespace {

// Used when no block or read size has been set: a zero would move nothing and still succeed.
constexpr uint8_t kDefaultBlockSize = 16;

uint8_t SizeOrDefault(uint8_t size) { return size != 0 ? size : kDefaultBlockSize; }

// Reads count bytes from address on into file, reporting progress of count. Returns the
// ReadBlock code, 257 for a failed write or 42 for an abort.
ResultCode ReadRangeIntoFile(IBlockTransfer& blocks, uint8_t readPieceSize, std::FILE* file, uint32_t address,
                             uint32_t count) {
  IJobReport& report = blocks.Progress();
  const uint32_t countAtStart = count;
  const uint32_t readPiece = SizeOrDefault(readPieceSize);
  std::array<uint8_t, 255> piece{};
  while (count > 0) {
    const auto pieceSize = static_cast<uint8_t>(std::min(count, readPiece));
    const ResultCode read = blocks.ReadBlock(address, piece.data(), pieceSize);
    if (read != kOk) return read;
    if (std::fwrite(piece.data(), pieceSize, 1, file) != 1) return kFileWriteFailed;
    count -= pieceSize;
    address += pieceSize;
    ReportProgressOf(report, countAtStart - count, countAtStart);
    if (blocks.AbortRequested()) return kAborted;
  }
  return kOk;
}

}  // namespace

ResultCode LoadBinaryImage(IBlockTransfer& blocks, const TImageTransfer& transfer, const std::string& fileName,
                           uint32_t address) {
  uint64_t length = 0;
  if (!GetFileLength(fileName, length)) return kFileOpenFailed;
  if (length < transfer.FileOffset) return kOk;  // nothing of this window is in the file

  TFile file(fileName, "rb");
  if (!file.IsOpen()) return kFileOpenFailed;
  IJobReport& report = blocks.Progress();
  ReportProgressOf(report, 0, length);
  if (!SeekFileTo(file.Get(), transfer.FileOffset)) return kFileOpenFailed;

  const uint64_t total = std::min<uint64_t>(length - transfer.FileOffset, transfer.FileLimit);
  const uint8_t blockSize = SizeOrDefault(transfer.BlockSize);
  std::array<uint8_t, 255> block{};
  uint32_t sent = 0;
  ResultCode result = kOk;
  for (;;) {
    const size_t got = std::fread(block.data(), 1, blockSize, file.Get());
    if (got == 0) {
      // A read error must not pass for the end of the file: the image would be cut short.
      if (std::ferror(file.Get()) != 0) result = kFileOpenFailed;
      break;
    }
    const uint32_t remaining = transfer.FileLimit - sent;
    if (remaining == 0) break;
    const auto count = static_cast<uint8_t>(std::min<uint64_t>(got, remaining));
    const bool blank = IsBlankFlashBlock(transfer.FlashErased, transfer.MemorySpace, block.data(), count);
    const ResultCode written = blank ? kOk : blocks.WriteBlock(address + sent, block.data(), count);
    if (written != kOk) {
      result = written;
      ReportProgressOf(report, 0, total);
      break;
    }
    sent += count;
    ReportProgressOf(report, sent, total);
    if (blocks.AbortRequested()) return kAborted;
  }
  if (result == kOk) ReportComplete(report);
  return result;
}

ResultCode SaveImage(IBlockTransfer& blocks, const TImageTransfer& transfer, const std::string& fileName,
                     uint32_t address, uint32_t count) {
  TFile file(fileName, transfer.Append ? "ab" : "wb");
  if (!file.IsOpen()) return kFileOpenFailed;
  IJobReport& report = blocks.Progress();
  report.ShowProgressOf(0.0f, 100.0f);
  const ResultCode read = ReadRangeIntoFile(blocks, transfer.ReadPieceSize, file.Get(), address, count);
  if (read != kOk) return read;
  // Buffered pieces reach the disk on closing: a full disk shows up here.
  if (!file.Close()) return kFileWriteFailed;
  ReportComplete(report);
  return kOk;
}

ResultCode SaveBankedImage(IBlockTransfer& blocks, const TImageTransfer& transfer, const std::string& fileName,
                           const TBankedRange& range) {
  TFile file(fileName, "wb");
  if (!file.IsOpen()) return kFileOpenFailed;
  IJobReport& report = blocks.Progress();
  report.ShowProgressOf(0.0f, 100.0f);
  blocks.SelectBank(0);
  ResultCode read = ReadRangeIntoFile(blocks, transfer.ReadPieceSize, file.Get(), range.Address, range.Count);
  if (read != kOk) return read;
  // Counted apart from the bank byte, so a run that ends at bank 0xFF stops instead of wrapping.
  const unsigned first = range.FirstBank;
  for (unsigned bank = first; bank < first + range.BankTotal && bank <= 0xFF; ++bank) {
    blocks.SelectBank(static_cast<uint8_t>(bank));
    read = ReadRangeIntoFile(blocks, transfer.ReadPieceSize, file.Get(), range.BankAddress, range.BankCount);
    if (read != kOk) return read;
  }
  blocks.SelectBank(static_cast<uint8_t>(range.FirstBank + range.BankTotal));  // one past the last bank read
  if (!file.Close()) return kFileWriteFailed;
  ReportComplete(report);
  return kOk;
}

}  // namespace quillorn
