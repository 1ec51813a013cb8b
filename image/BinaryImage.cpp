// Binary flash and EEPROM images: a file window goes to ECU memory in BlockSize pieces (blank
// ones left out after an erase), and a memory range comes back into a file in ReadPieceSize
// reads. Each block is followed by a progress report and a look into the abort mailbox.
#include <algorithm>
#include <array>

#include "image/BlankBlocks.hpp"
#include "image/ImageProgress.hpp"
#include "platform/AbortMailbox.hpp"
#include "platform/File.hpp"
#include "protocol/Protocol.hpp"

namespace quillorn {

namespace {

// Used when no block or read size has been set: a zero would move nothing and still succeed.
constexpr uint8_t kDefaultBlockSize = 16;

uint8_t SizeOrDefault(uint8_t size) { return size != 0 ? size : kDefaultBlockSize; }

// Reads count bytes from address on into file, reporting progress of count. Returns the
// ReadBlock code, 257 for a failed write or 42 for an abort.
ResultCode ReadRangeIntoFile(TProtocol& driver, std::FILE* file, uint32_t address, uint32_t count) {
  IJobReport& report = *driver.Link.Report;
  const uint32_t countAtStart = count;
  const uint32_t readPiece = SizeOrDefault(driver.Link.ReadPieceSize);
  std::array<uint8_t, 255> piece{};
  while (count > 0) {
    const auto pieceSize = static_cast<uint8_t>(std::min(count, readPiece));
    const ResultCode read = driver.ReadBlock(address, piece.data(), pieceSize);
    if (read != kOk) return read;
    if (std::fwrite(piece.data(), pieceSize, 1, file) != 1) return kFileWriteFailed;
    count -= pieceSize;
    address += pieceSize;
    ReportProgressOf(report, countAtStart - count, countAtStart);
    if (PeekAbortMessage()) return kAborted;
  }
  return kOk;
}

}  // namespace

ResultCode TProtocol::LoadBinaryFile(const std::string& fileName, uint32_t address) {
  uint64_t length = 0;
  if (!GetFileLength(fileName, length)) return Store(kFileOpenFailed);
  if (length < Link.FileOffset) return Store(kOk);  // nothing of this window is in the file

  TFile file(fileName, "rb");
  if (!file.IsOpen()) return Store(kFileOpenFailed);
  IJobReport& report = *Link.Report;
  ReportProgressOf(report, 0, length);
  if (!SeekFileTo(file.Get(), Link.FileOffset)) return Store(kFileOpenFailed);

  const uint64_t total = std::min<uint64_t>(length - Link.FileOffset, Link.FileLimit);
  const uint8_t blockSize = SizeOrDefault(Link.BlockSize);
  std::array<uint8_t, 255> block{};
  uint32_t sent = 0;
  Store(kOk);
  for (;;) {
    const size_t got = std::fread(block.data(), 1, blockSize, file.Get());
    if (got == 0) {
      // A read error must not pass for the end of the file: the image would be cut short.
      if (std::ferror(file.Get()) != 0) Store(kFileOpenFailed);
      break;
    }
    const uint32_t remaining = Link.FileLimit - sent;
    if (remaining == 0) break;
    const auto count = static_cast<uint8_t>(std::min<uint64_t>(got, remaining));
    const bool blank = IsBlankFlashBlock(Link, block.data(), count);
    const ResultCode written = blank ? kOk : WriteBlock(address + sent, block.data(), count);
    if (written != kOk) {
      Store(written);
      ReportProgressOf(report, 0, total);
      break;
    }
    sent += count;
    ReportProgressOf(report, sent, total);
    if (PeekAbortMessage()) return Store(kAborted);
  }
  if (Link.LastResult == kOk) ReportComplete(report);
  return Link.LastResult;
}

ResultCode TProtocol::SaveToFile(const std::string& fileName, uint32_t address, uint32_t count) {
  TFile file(fileName, AppendToFile != 0 ? "ab" : "wb");
  if (!file.IsOpen()) return Store(kFileOpenFailed);
  IJobReport& report = *Link.Report;
  report.ShowProgressOf(0.0f, 100.0f);
  const ResultCode read = ReadRangeIntoFile(*this, file.Get(), address, count);
  if (read != kOk) return Store(read);
  // Buffered pieces reach the disk on closing: a full disk shows up here.
  if (!file.Close()) return Store(kFileWriteFailed);
  ReportComplete(report);
  return Store(kOk);
}

ResultCode TProtocol::SaveBanksToFile(const std::string& fileName, uint32_t address, uint32_t count,
                                      uint32_t bankAddress, uint32_t bankCount, uint8_t firstBank,
                                      uint8_t bankTotal) {
  TFile file(fileName, "wb");
  if (!file.IsOpen()) return Store(kFileOpenFailed);
  IJobReport& report = *Link.Report;
  report.ShowProgressOf(0.0f, 100.0f);
  Link.BankByte = 0;
  ResultCode read = ReadRangeIntoFile(*this, file.Get(), address, count);
  if (read != kOk) return Store(read);
  // Counted apart from BankByte, so a run that ends at bank 0xFF stops instead of wrapping.
  for (unsigned bank = firstBank; bank < unsigned{firstBank} + bankTotal && bank <= 0xFF; ++bank) {
    Link.BankByte = static_cast<uint8_t>(bank);
    read = ReadRangeIntoFile(*this, file.Get(), bankAddress, bankCount);
    if (read != kOk) return Store(read);
  }
  Link.BankByte = static_cast<uint8_t>(firstBank + bankTotal);  // one past the last bank read
  if (!file.Close()) return Store(kFileWriteFailed);
  ReportComplete(report);
  return Store(kOk);
}

}  // namespace quillorn
