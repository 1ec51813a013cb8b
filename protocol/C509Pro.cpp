#include "protocol/C509Pro.hpp"

namespace quillorn {

namespace {

constexpr uint8_t kSyncByte = 0x00;
constexpr uint8_t kAccepted = 0x55;
constexpr uint8_t kRejected = 0xFF;
constexpr uint8_t kChecksumWrong = 0xFE;

constexpr uint8_t kHeaderBlock = 0x00;
constexpr uint8_t kFullDataBlock = 0x01;
constexpr uint8_t kLastDataBlock = 0x02;
constexpr uint8_t kModeLoad = 0x00;
constexpr uint8_t kModeStart = 0x01;
constexpr uint8_t kFiller = 0xFF;

// The header's and the start block's length, and the room a data block of up to 255 bytes
// needs (type, count, data, checksum).
constexpr uint32_t kHeaderLength = 8;
constexpr uint32_t kMaxBlockLength = 255 + 2;

ResultCode MapAnswer(uint8_t answer) {
  switch (answer) {
    case kAccepted: return kOk;
    case kRejected: return kLoaderRejected;
    case kChecksumWrong: return kBadChecksum;
    default: return kLoaderUnexpected;
  }
}

}  // namespace

TC509Pro::TC509Pro(TLinkState& link) : TProtocol(link) { SetName("C509      "); }

void TC509Pro::Append(uint8_t* block, uint32_t& length, uint8_t value) {
  block[length++] = value;
  XorSum ^= value;
}

ResultCode TC509Pro::Exchange(const uint8_t* block, uint32_t length) {
  if (const ResultCode sent = SendBlock(block, length); sent != kOk) return Store(sent);
  uint8_t answer = 0;
  if (const ResultCode received = ReceiveByte(answer); received != kOk) return Store(received);
  return Store(MapAnswer(answer));
}

ResultCode TC509Pro::SyncLoader() {
  if (const ResultCode sent = SendByte(kSyncByte); sent != kOk) return Store(sent);
  uint8_t answer = 0;
  if (const ResultCode received = ReceiveByte(answer); received != kOk) return Store(received);
  return Store(answer == kAccepted ? kOk : kLoaderUnexpected);
}

ResultCode TC509Pro::SendHeader(uint16_t address, uint8_t blockLength) {
  uint8_t block[kHeaderLength];
  uint32_t length = 0;
  XorSum = 0;
  Append(block, length, kHeaderBlock);
  Append(block, length, kModeLoad);
  Append(block, length, static_cast<uint8_t>(address >> 8));
  Append(block, length, static_cast<uint8_t>(address));
  Append(block, length, kFiller);
  Append(block, length, kFiller);
  Append(block, length, static_cast<uint8_t>(blockLength + 2));
  if (blockLength == 0) ++XorSum;
  block[length++] = XorSum;

  const ResultCode result = Exchange(block, length);
  // A zero block length can carry no data; taking it over would leave the image transfers
  // with an empty block to step by, so only a usable length replaces BlockSize.
  if (result == kOk && blockLength != 0) Link.BlockSize = blockLength;
  return result;
}

ResultCode TC509Pro::WriteOnce(uint32_t, const uint8_t* data, uint8_t count) {
  XorSum = 0;
  if (Link.MemorySpace != kUploadSpace) return Store(kBadMemorySpace);
  const uint8_t blockSize = Link.BlockSize;
  if (count > blockSize) return Store(kBlockTooLong);

  uint8_t block[kMaxBlockLength];
  uint32_t length = 0;
  if (count == blockSize) {
    Append(block, length, kFullDataBlock);
  } else {
    Append(block, length, kLastDataBlock);
    Append(block, length, count);
  }
  for (uint8_t i = 0; i < count; ++i) Append(block, length, data[i]);
  while (length < uint32_t{blockSize} + 1) Append(block, length, kFiller);
  block[length++] = XorSum;
  return Exchange(block, length);
}

ResultCode TC509Pro::WriteBlock(uint32_t address, const uint8_t* data, uint8_t count) {
  ResultCode result = Link.LastResult;
  for (uint8_t attempt = 0; attempt < Link.RetryCount; ++attempt) {
    result = WriteOnce(address, data, count);
    if (result == kOk) break;
  }
  return Store(result);
}

ResultCode TC509Pro::ReadBlock(uint32_t, uint8_t*, uint8_t) { return Store(kCannotRead); }

ResultCode TC509Pro::Start(uint16_t address) {
  uint8_t block[kHeaderLength];
  uint32_t length = 0;
  XorSum = 0;
  Append(block, length, kHeaderBlock);
  Append(block, length, kModeStart);
  Append(block, length, static_cast<uint8_t>(address >> 8));
  Append(block, length, static_cast<uint8_t>(address));
  Append(block, length, kFiller);
  Append(block, length, kFiller);
  Append(block, length, kFiller);
  block[length++] = XorSum;
  return Exchange(block, length);
}

}  // namespace quillorn
