#include "protocol/KW2000Pro.hpp"

#include <cstring>

#include "platform/AbortMailbox.hpp"
#include "platform/Clock.hpp"

namespace quillorn {

namespace {

// Header bits: bit 7 says addresses follow, bits 0 to 5 carry a length up to 63; a length of
// 64 or more travels in a byte of its own, announced by zero in those bits.
constexpr uint8_t kAddressesFollow = 0x80;
constexpr uint8_t kLengthBits = 0x3F;
constexpr uint8_t kLongestInlineLength = 63;

// The ECU needs a pause after a session change before it takes the next request, and a
// failed request is tried again only after one.
constexpr uint32_t kServicePauseMs = 100;
constexpr int kIdentificationTries = 3;
constexpr uint8_t kErasedItem = 0xFF;
// Service byte and echoed option come before the identification text.
constexpr uint32_t kIdentificationTextOffset = 2;

// The one busy wait of the program: the fast initialisation's edges are timed by polling the
// tick count, never by sleeping.
void BusyWaitMs(uint32_t ms) {
  const uint32_t start = GetTickCount();
  while (GetTickCount() - start < ms) {
  }
}

uint8_t SumOf(const uint8_t* bytes, size_t count, uint8_t sum = 0) {
  for (size_t i = 0; i < count; ++i) sum = static_cast<uint8_t>(sum + bytes[i]);
  return sum;
}

}  // namespace

TKW2000Pro::TKW2000Pro(TLinkState& link) : TProtocol(link) { SetName("KWP 2000"); }

void TKW2000Pro::FastInit(uint32_t idleMs, uint32_t lowMs, uint32_t highMs) {
  BusyWaitMs(idleMs);
  if (Link.SharedPort) Link.SharedPort->SetBreak();
  BusyWaitMs(lowMs);
  if (Link.SharedPort) Link.SharedPort->ClearBreak();
  BusyWaitMs(highMs);
  if (Link.SharedPort) {
    // Whatever the pattern echoed is not a response.
    int32_t error = 0;
    Link.SharedPort->ClearReceive(&error);
  }
}

ResultCode TKW2000Pro::SendRequest(const uint8_t* data, uint8_t n) {
  uint8_t header[4];
  uint32_t headerLength = 0;
  const bool longMessage = n > kLongestInlineLength;
  header[headerLength++] = longMessage ? static_cast<uint8_t>(FormatByte & ~kLengthBits)
                                       : static_cast<uint8_t>((FormatByte & ~kLengthBits) | n);
  if (FormatByte & kAddressesFollow) {
    header[headerLength++] = TargetAddress;
    header[headerLength++] = SourceAddress;
  }
  if (longMessage) header[headerLength++] = n;
  TxChecksum = SumOf(data, n, SumOf(header, headerLength));

  if (SendBlock(header, headerLength) != kOk) return Link.LastResult;
  if (n > 0 && SendBlock(data, n) != kOk) return Link.LastResult;
  if (SendByte(TxChecksum) != kOk) return Link.LastResult;
  return Store(kOk);
}

ResultCode TKW2000Pro::ReceiveResponse(TKwpData& data, uint32_t& n) {
  n = 0;
  uint8_t header[4];
  uint32_t headerLength = 0;
  uint8_t format = 0;
  if (const ResultCode r = ReceiveByte(format); r != kOk) return r;
  header[headerLength++] = format;
  if (format & kAddressesFollow) {
    uint8_t target = 0, source = 0;
    if (const ResultCode r = ReceiveByte(target); r != kOk) return r;
    header[headerLength++] = target;
    if (target != SourceAddress) return Store(kKwpWrongTester);
    if (const ResultCode r = ReceiveByte(source); r != kOk) return r;
    header[headerLength++] = source;
  }
  uint8_t length = format & kLengthBits;
  if (length == 0) {
    if (const ResultCode r = ReceiveByte(length); r != kOk) return r;
    header[headerLength++] = length;
  }
  uint32_t received = 0;
  if (ReceiveBlock(data.data(), length, received) != kOk) return Link.LastResult;
  uint8_t checksum = 0;
  if (const ResultCode r = ReceiveByte(checksum); r != kOk) return r;
  RxChecksum = SumOf(data.data(), length, SumOf(header, headerLength));
  if (RxChecksum != checksum) return Store(kBadChecksum);
  n = length;
  return Store(kOk);
}

ResultCode TKW2000Pro::Transact(const uint8_t* request, uint8_t length, TKwpData& response,
                                uint32_t& responseLength) {
  responseLength = 0;
  if (!Link.SharedPort) return Store(kNoPort);
  int32_t error = 0;
  Link.SharedPort->ClearReceive(&error);
  if (SendRequest(request, length) != kOk) return Link.LastResult;
  SetReplyTimeout(ResponseTimeout);
  return ReceiveResponse(response, responseLength);
}

bool TKW2000Pro::Cancelled() {
  if (!PeekAbortMessage()) return false;
  Store(kAborted);
  return true;
}

bool TKW2000Pro::SimpleService(const uint8_t* request, uint8_t length, uint8_t positiveByte) {
  TKwpData response{};
  uint32_t responseLength = 0;
  if (Transact(request, length, response, responseLength) != kOk) return false;
  if (responseLength == 0 || response[0] != positiveByte) return false;
  SleepMs(kServicePauseMs);
  return true;
}

bool TKW2000Pro::StartCommunication() {
  if (Cancelled()) return false;
  FastInit(kFastInitIdleMs, kFastInitLowMs, kFastInitHighMs);
  const uint8_t request[] = {kKwpStartCommunication};
  return SimpleService(request, sizeof request, kKwpStartCommunicationOk);
}

bool TKW2000Pro::StartDiagnosticSession() {
  if (Cancelled()) return false;
  const uint8_t request[] = {kKwpStartDiagnosticSession, 0x81, 0x0A};
  return SimpleService(request, sizeof request, kKwpStartDiagnosticSessionOk);
}

bool TKW2000Pro::ReadEcuIdentification(uint8_t option, char* text, size_t textSize) {
  if (textSize > 0) text[0] = '\0';
  const uint8_t request[] = {kKwpReadEcuIdentification, option};
  for (int attempt = 0; attempt < kIdentificationTries; ++attempt) {
    if (Cancelled()) return false;
    TKwpData response{};
    uint32_t responseLength = 0;
    const ResultCode r = Transact(request, sizeof request, response, responseLength);
    if (r == kOk && responseLength > 0 && response[0] == kKwpReadEcuIdentificationOk) {
      // The text ends at the response's end or at a NUL within it, and never beyond the
      // caller's buffer, however long the ECU's answer.
      size_t copied = 0;
      for (uint32_t i = kIdentificationTextOffset; i < responseLength && copied + 1 < textSize; ++i) {
        if (response[i] == 0) break;
        text[copied++] = static_cast<char>(response[i]);
      }
      if (textSize > 0) text[copied] = '\0';
      if (copied > 0 && static_cast<uint8_t>(text[0]) == kErasedItem) text[0] = '\0';
      return true;
    }
    // A cancellation seen inside the exchange ends the tries as one seen before it does.
    if (r == kAborted) return false;
    SleepMs(kServicePauseMs);
  }
  return false;
}

}  // namespace quillorn
