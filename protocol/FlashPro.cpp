#include "protocol/FlashPro.hpp"

#include <algorithm>
#include <cstring>

#include "platform/Clock.hpp"

namespace quillorn {

namespace {

constexpr uint8_t kLengthBias = 0x55;

constexpr uint8_t kEraseFlashCommand = 0x90;
constexpr uint8_t kEraseStatusCommand = 0x91;
constexpr uint8_t kFinishCommand = 0x9A;

constexpr uint8_t kEraseRequestLength = 4;   // command, word, byte
constexpr uint8_t kEraseReplyLength = 4;     // command, word echo, byte echo
constexpr uint8_t kStatusRequestLength = 1;  // command
constexpr uint8_t kStatusReplyLength = 5;    // command, status word, second word
constexpr uint8_t kFinishRequestLength = 1;  // command
constexpr uint8_t kShortWriteReplyLength = 2;  // command, status
constexpr uint8_t kEepromNoAnswerLength = 1;   // the command byte alone: no data

constexpr uint8_t kRangeChecksumCommand = 0x99;
constexpr uint8_t kChecksumRequestLength = 6;  // command, bank, address, count
constexpr uint8_t kChecksumReplyLength = 8;    // command, bank, address, count echoed, CRC
constexpr uint32_t kPageSize = 0x10000;
// The bootstrap needs 19 machine cycles of 375 ns per byte, about 7 us; twice that, rounded
// up, leaves room for the timer interrupt and a slower clock. A whole page: about 1 s.
constexpr uint32_t kChecksumMicrosecondsPerByte = 15;

// How a memory space is written and read: its command codes, whether the bank byte goes
// along, and what a write the bootstrap reports failed ends with.
struct TSpaceCommands {
  uint8_t write;
  uint8_t read;
  bool withBank;
  ResultCode writeFailure;
};

const TSpaceCommands* SpaceCommands(uint8_t memorySpace) {
  static constexpr TSpaceCommands kUpload{0x95, 0x9E, true, kMemoryWriteFailed};
  static constexpr TSpaceCommands kFlash{0x92, 0x93, true, kFlashWriteFailed};
  static constexpr TSpaceCommands kEeprom{0x97, 0x98, false, kMemoryWriteFailed};
  switch (memorySpace) {
    case kUploadSpace: return &kUpload;
    case kFlashSpace: return &kFlash;
    case kEepromSpace: return &kEeprom;
    default: return nullptr;
  }
}

// The checks every reply passes after its prefix and length: the sum of all its bytes (32),
// then the command byte, which repeats the request's (34).
ResultCode CheckReply(uint8_t rxSum, uint8_t replyCommand, uint8_t requestCommand) {
  if (rxSum != 0) return kBadChecksum;
  if (replyCommand != requestCommand) return kWrongCommand;
  return kOk;
}

}  // namespace

TFlashPro::TFlashPro(TLinkState& link) : TProtocol(link) { SetName("Flash     "); }

// --- envelope helpers ---

ResultCode TFlashPro::PutByte(uint8_t byte) {
  TxSum += byte;
  return SendByte(byte);
}

ResultCode TFlashPro::GetByte(uint8_t& byte) {
  const ResultCode result = ReceiveByte(byte);
  if (result == kOk) RxSum += byte;
  return result;
}

ResultCode TFlashPro::PutText(const char* text) {
  for (; *text != '\0'; ++text) {
    if (const ResultCode result = PutByte(static_cast<uint8_t>(*text)); result != kOk) return result;
  }
  return kOk;
}

ResultCode TFlashPro::GetPrefix() {
  const size_t length = std::strlen(ReplyPrefix);
  for (size_t i = 0; i < length; ++i) {
    uint8_t byte = 0;
    if (const ResultCode result = GetByte(byte); result != kOk) return result;
    ReceivedPrefix[i] = static_cast<char>(byte);
  }
  ReceivedPrefix[length] = '\0';
  return kOk;
}

ResultCode TFlashPro::PutLength(uint8_t length) { return PutByte(static_cast<uint8_t>(length + kLengthBias)); }

ResultCode TFlashPro::GetLength(uint8_t& length) {
  uint8_t byte = 0;
  if (const ResultCode result = GetByte(byte); result != kOk) return result;
  if (byte < kLengthBias) return kBadLength;
  length = static_cast<uint8_t>(byte - kLengthBias);
  return kOk;
}

ResultCode TFlashPro::PutWord(uint16_t word) {
  if (const ResultCode result = PutByte(static_cast<uint8_t>(word)); result != kOk) return result;
  return PutByte(static_cast<uint8_t>(word >> 8));
}

ResultCode TFlashPro::GetWord(uint16_t& word) {
  uint8_t low = 0, high = 0;
  if (const ResultCode result = GetByte(low); result != kOk) return result;
  if (const ResultCode result = GetByte(high); result != kOk) return result;
  word = static_cast<uint16_t>(low | high << 8);
  return kOk;
}

// --- requests built in a buffer ---

void TFlashPro::Append(TRequest& request, uint8_t byte) {
  request.bytes[request.length++] = byte;
  TxSum += byte;
}

void TFlashPro::BeginRequest(TRequest& request, uint8_t length, uint8_t command) {
  for (const char* prefix = CommandPrefix; *prefix != '\0'; ++prefix) Append(request, static_cast<uint8_t>(*prefix));
  Append(request, static_cast<uint8_t>(length + kLengthBias));
  Append(request, command);
}

void TFlashPro::AppendAddress(TRequest& request, uint32_t address) {
  for (uint8_t i = 0; i < AddressWidth; ++i) Append(request, i < 4 ? static_cast<uint8_t>(address >> (8 * i)) : 0);
}

ResultCode TFlashPro::SendRequest(TRequest& request) {
  Append(request, static_cast<uint8_t>(-TxSum));
  return SendBlock(request.bytes, request.length);
}

ResultCode TFlashPro::SendCheckedRequest(TRequest& request) {
  Append(request, static_cast<uint8_t>(-TxSum));
  return SendChecked(request.bytes, request.length);
}

// --- replies ---

ResultCode TFlashPro::ReadReplyStart(uint8_t& length) {
  if (const ResultCode result = GetPrefix(); result != kOk) return result;
  if (std::strcmp(ReceivedPrefix, ReplyPrefix) != 0) return kBadPrefix;
  return GetLength(length);
}

ResultCode TFlashPro::ReadReplyBody(uint8_t* body, uint8_t length) {
  uint32_t received = 0;
  if (const ResultCode result = ReceiveBlock(body, uint32_t{length} + 1, received); result != kOk) return result;
  for (uint32_t i = 0; i < received; ++i) RxSum += body[i];
  return kOk;
}

// --- commands ---

ResultCode TFlashPro::EraseFlash(uint16_t word, uint8_t byte) {
  TxSum = RxSum = 0;
  // The bootstrap drops a frame that pauses between two bytes; an adapter that holds each echo
  // back for milliseconds would space the bytes out if each waited for the previous echo.
  TRequest request;
  BeginRequest(request, kEraseRequestLength, kEraseFlashCommand);
  LastEraseWord = word;
  Append(request, static_cast<uint8_t>(word));
  Append(request, static_cast<uint8_t>(word >> 8));
  Append(request, byte);
  ResultCode result = SendCheckedRequest(request);
  if (result != kOk) return Store(result);

  uint8_t length = 0;
  if (result = ReadReplyStart(length); result != kOk) return Store(result);
  if (length != kEraseReplyLength) return Store(kBadLength);
  uint8_t command = 0, echoedByte = 0, checksum = 0;
  uint16_t echoedWord = 0;
  result = GetByte(command);
  if (result == kOk) result = GetWord(echoedWord);
  if (result == kOk) result = GetByte(echoedByte);
  if (result == kOk) result = GetByte(checksum);
  if (result == kOk) result = CheckReply(RxSum, command, kEraseFlashCommand);
  if (result != kOk) return Store(result);
  if (echoedWord != word) return Store(kEraseWordMismatch);
  if (echoedByte != byte) return Store(kEraseByteMismatch);
  return Store(kOk);
}

ResultCode TFlashPro::EraseStatus() {
  TxSum = RxSum = 0;
  if (Link.MemorySpace != kFlashSpace) return Store(kEraseWrongSpace);
  TRequest request;
  BeginRequest(request, kStatusRequestLength, kEraseStatusCommand);
  ResultCode result = SendRequest(request);
  if (result != kOk) return Store(result);

  uint8_t length = 0;
  if (result = ReadReplyStart(length); result != kOk) return Store(result);
  if (length != kStatusReplyLength) return Store(kBadLength);
  uint8_t command = 0, checksum = 0;
  uint16_t status = 0, secondWord = 0;
  result = GetByte(command);
  if (result == kOk) result = GetWord(status);
  if (result == kOk) result = GetWord(secondWord);
  if (result == kOk) result = GetByte(checksum);
  if (result == kOk) result = CheckReply(RxSum, command, kEraseStatusCommand);
  if (result != kOk) return Store(result);
  // The bootstrap answers with the erase word itself when the chip would not erase.
  return Store(status == LastEraseWord ? kEraseFailed : kOk);
}

ResultCode TFlashPro::WriteOnce(uint32_t address, const uint8_t* data, uint8_t count) {
  TxSum = RxSum = 0;
  const TSpaceCommands* space = SpaceCommands(Link.MemorySpace);
  if (space == nullptr) return Store(kBadMemorySpace);
  // Command, bank byte where it goes, address, count and the data.
  const uint32_t length = 1u + (space->withBank ? 1u : 0u) + AddressWidth + 1u + count;
  // A longer request would need a length byte beyond 0xFF: refused before a byte goes out.
  if (length > kMaxFrameLength) return Store(kBadLength);

  TRequest request;
  BeginRequest(request, static_cast<uint8_t>(length), space->write);
  if (space->withBank) Append(request, Link.BankByte);
  AppendAddress(request, address);
  Append(request, count);
  for (uint8_t i = 0; i < count; ++i) Append(request, data[i]);
  ResultCode result = SendRequest(request);
  if (result != kOk) return Store(result);

  uint8_t replyLength = 0;
  if (result = ReadReplyStart(replyLength); result != kOk) return Store(result);
  // A short reply carries the status alone; a long one adds four detail bytes.
  if (replyLength != kShortWriteReplyLength && replyLength != AddressWidth + 4u) return Store(kBadLength);
  uint8_t body[0x100];
  if (result = ReadReplyBody(body, replyLength); result != kOk) return Store(result);
  if (result = CheckReply(RxSum, body[0], space->write); result != kOk) return Store(result);
  const uint8_t status = body[1];
  return Store(status != 0 ? kOk : space->writeFailure);
}

ResultCode TFlashPro::ReadOnce(uint32_t address, uint8_t* buffer, uint8_t count) {
  TxSum = RxSum = 0;
  // No read command exists for a space other than 1 to 3 (0 included).
  const TSpaceCommands* space = SpaceCommands(Link.MemorySpace);
  if (space == nullptr) return Store(kCannotRead);
  // The reply carries the command byte and the data: beyond the length byte's reach the
  // request could never be answered.
  const uint32_t replyLength = 1u + count;
  if (replyLength > kMaxFrameLength) return Store(kBadLength);
  const uint32_t length = 1u + (space->withBank ? 1u : 0u) + AddressWidth + 1u;
  if (length > kMaxFrameLength) return Store(kBadLength);

  TRequest request;
  BeginRequest(request, static_cast<uint8_t>(length), space->read);
  if (space->withBank) Append(request, Link.BankByte);
  AppendAddress(request, address);
  Append(request, count);
  ResultCode result = SendRequest(request);
  if (result != kOk) return Store(result);

  uint8_t receivedLength = 0;
  if (result = ReadReplyStart(receivedLength); result != kOk) return Store(result);
  // An EEPROM that does not acknowledge is reported with the command byte and no data.
  const bool eepromNoAnswer = Link.MemorySpace == kEepromSpace && count > 0 && receivedLength == kEepromNoAnswerLength;
  if (receivedLength != replyLength && !eepromNoAnswer) return Store(kBadLength);
  uint8_t body[0x100];
  if (result = ReadReplyBody(body, receivedLength); result != kOk) return Store(result);
  if (result = CheckReply(RxSum, body[0], space->read); result != kOk) return Store(result);
  if (eepromNoAnswer) return Store(kEepromNoAnswer);
  std::memcpy(buffer, body + 1, count);
  return Store(kOk);
}

ResultCode TFlashPro::RangeChecksumOnce(uint32_t address, uint32_t count, uint16_t& checksum) {
  TxSum = RxSum = 0;
  // Bank, address and count; the reply repeats them. 65,536 goes out as 0.
  const uint8_t parameters[5] = {Link.BankByte, static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8),
                                 static_cast<uint8_t>(count), static_cast<uint8_t>(count >> 8)};
  TRequest request;
  BeginRequest(request, kChecksumRequestLength, kRangeChecksumCommand);
  for (uint8_t byte : parameters) Append(request, byte);
  ResultCode result = SendRequest(request);
  if (result != kOk) return result;

  uint8_t length = 0;
  if (result = ReadReplyStart(length); result != kOk) return result;
  if (length != kChecksumReplyLength) return kBadLength;
  uint8_t body[kChecksumReplyLength + 1];
  if (result = ReadReplyBody(body, length); result != kOk) return result;
  if (result = CheckReply(RxSum, body[0], kRangeChecksumCommand); result != kOk) return result;
  // The sum of some other range (a stale reply, say) must not pass for this one's.
  if (std::memcmp(body + 1, parameters, sizeof parameters) != 0) return kWrongCommand;
  checksum = static_cast<uint16_t>(body[6] | body[7] << 8);
  return kOk;
}

ResultCode TFlashPro::RangeChecksum(uint32_t address, uint32_t count, uint16_t& checksum) {
  TxSum = RxSum = 0;
  if (Link.MemorySpace != kFlashSpace) return Store(kCannotRead);
  const uint32_t offset = address % kPageSize;
  if (count == 0 || count > kPageSize - offset) return Store(kBadLength);

  const uint32_t replyTimeout = Link.ReplyTimeout;
  const uint32_t computeMs = (count * kChecksumMicrosecondsPerByte + 999) / 1000;
  SetReplyTimeout(replyTimeout + computeMs);
  ResultCode result = Link.LastResult;
  for (uint8_t attempt = 0; attempt < Link.RetryCount; ++attempt) {
    if (attempt > 0) DiscardStaleReply();
    result = Store(RangeChecksumOnce(offset, count, checksum));
    if (result == kOk) break;
  }
  SetReplyTimeout(replyTimeout);
  return Store(result);
}

// A failed attempt can leave the rest of a damaged reply (or a late one) on the line. Read as
// the answer to the next attempt, it would fail that one too, and every one after it: the
// retries could never get past one flipped length byte. So before the next attempt the line
// is given time to fall quiet and whatever has arrived is dropped, bounded in time.
void TFlashPro::DiscardStaleReply() {
  constexpr uint32_t kQuietMs = 50;    // longer than any gap inside a reply, adapter delay included
  constexpr uint32_t kLimitMs = 1000;  // a line that never falls quiet ends the wait all the same
  TSerialPort32* port = Link.SharedPort.get();
  if (port == nullptr || Link.LastResult == kNoPort) return;
  const uint32_t start = GetTickCount();
  uint8_t scrap[64];
  for (;;) {
    SleepMs(kQuietMs);
    uint32_t lineErrors = 0;
    TComStat status;
    int32_t error = 0;
    if (!port->ClearError(&lineErrors, &status, &error) || status.cbInQue == 0) return;
    uint32_t got = 0;
    port->Read(scrap, std::min<uint32_t>(status.cbInQue, sizeof scrap), &got, &error);
    if (got == 0 || GetTickCount() - start >= kLimitMs) return;
  }
}

ResultCode TFlashPro::WriteBlock(uint32_t address, const uint8_t* data, uint8_t count) {
  ResultCode result = Link.LastResult;
  for (uint8_t attempt = 0; attempt < Link.RetryCount; ++attempt) {
    if (attempt > 0) DiscardStaleReply();
    result = WriteOnce(address, data, count);
    if (result == kOk) break;
  }
  return Store(result);
}

ResultCode TFlashPro::ReadBlock(uint32_t address, uint8_t* buffer, uint8_t count) {
  ResultCode result = Link.LastResult;
  for (uint8_t attempt = 0; attempt < Link.RetryCount; ++attempt) {
    if (attempt > 0) DiscardStaleReply();
    result = ReadOnce(address, buffer, count);
    // The EEPROM's silence is no line fault: asking again would only delay the message.
    if (result == kOk || result == kEepromNoAnswer) break;
  }
  return Store(result);
}

ResultCode TFlashPro::Finish() {
  TxSum = RxSum = 0;
  ResultCode result = PutText(CommandPrefix);
  if (result == kOk) result = PutLength(kFinishRequestLength);
  if (result == kOk) result = PutByte(kFinishCommand);
  if (result == kOk) result = PutByte(static_cast<uint8_t>(-TxSum));
  return Store(result);
}

}  // namespace quillorn
