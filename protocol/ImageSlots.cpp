// The driver's image-file slots: image/ does the work through the driver's own block requests,
// so an override of WriteBlock or ReadBlock is what moves the data.
#include "image/ImageFiles.hpp"
#include "platform/AbortMailbox.hpp"
#include "protocol/Protocol.hpp"

namespace quillorn {

namespace {

class TDriverBlocks final : public IBlockTransfer {
 public:
  explicit TDriverBlocks(TProtocol& driver) : driver_(driver) {}
  ResultCode WriteBlock(uint32_t address, const uint8_t* data, uint8_t count) override {
    return driver_.WriteBlock(address, data, count);
  }
  ResultCode ReadBlock(uint32_t address, uint8_t* buffer, uint8_t count) override {
    return driver_.ReadBlock(address, buffer, count);
  }
  void SelectBank(uint8_t bank) override { driver_.Link.BankByte = bank; }
  IJobReport& Progress() override { return *driver_.Link.Report; }
  bool AbortRequested() override { return PeekAbortMessage(); }

 private:
  TProtocol& driver_;
};

TImageTransfer TransferOf(const TLinkState& link, uint8_t appendToFile) {
  TImageTransfer transfer;
  transfer.FileOffset = link.FileOffset;
  transfer.FileLimit = link.FileLimit;
  transfer.BlockSize = link.BlockSize;
  transfer.ReadPieceSize = link.ReadPieceSize;
  transfer.FlashErased = link.FlashErased;
  transfer.MemorySpace = link.MemorySpace;
  transfer.Append = appendToFile != 0;
  return transfer;
}

}  // namespace

ResultCode TProtocol::LoadBinaryFile(const std::string& fileName, uint32_t address) {
  TDriverBlocks blocks(*this);
  return Store(LoadBinaryImage(blocks, TransferOf(Link, AppendToFile), fileName, address));
}

ResultCode TProtocol::LoadSRecordFile(const std::string& fileName) {
  TDriverBlocks blocks(*this);
  return Store(LoadHexImage(blocks, fileName));
}

ResultCode TProtocol::SaveToFile(const std::string& fileName, uint32_t address, uint32_t count) {
  TDriverBlocks blocks(*this);
  return Store(SaveImage(blocks, TransferOf(Link, AppendToFile), fileName, address, count));
}

ResultCode TProtocol::SaveBanksToFile(const std::string& fileName, uint32_t address, uint32_t count,
                                      uint32_t bankAddress, uint32_t bankCount, uint8_t firstBank,
                                      uint8_t bankTotal) {
  TDriverBlocks blocks(*this);
  const TBankedRange range{address, count, bankAddress, bankCount, firstBank, bankTotal};
  return Store(SaveBankedImage(blocks, TransferOf(Link, AppendToFile), fileName, range));
}

}  // namespace quillorn
