#include "jobs/MikasLink.hpp"

#include "platform/AbortMailbox.hpp"
#include "platform/CodePage.hpp"

namespace quillorn {

namespace {
constexpr int kRequestTries = 3;
constexpr uint8_t kErasedItem = 0xFF;
}  // namespace

void TMikasLink::AppendEscaped(uint8_t byte) {
  if (byte == kMikasTerminator) {
    MikasTxBuffer.push_back(kMikasEscape);
    MikasTxBuffer.push_back(kMikasEscapedTerminator);
  } else if (byte == kMikasEscape) {
    MikasTxBuffer.push_back(kMikasEscape);
    MikasTxBuffer.push_back(kMikasEscapedEscape);
  } else {
    MikasTxBuffer.push_back(byte);
  }
}

ResultCode TMikasLink::MikasExchange(const uint8_t* request, uint32_t count, uint8_t* answer, size_t answerSize,
                                     uint32_t& answerLength) {
  TLinkState& link = driver_.Link;
  MikasTxBuffer.clear();
  MikasTxLength = 0;
  MikasRxPosition = 0;
  MikasTxSum = 0;
  MikasRxSum = 0;
  answerLength = 0;
  if (PeekAbortMessage()) return link.LastResult = kAborted;

  for (uint32_t i = 0; i < count; ++i) {
    MikasTxSum = static_cast<uint8_t>(MikasTxSum + request[i]);
    AppendEscaped(request[i]);
  }
  // The checksum goes out as it is, even when it is 0x0D or 0x40.
  MikasTxBuffer.push_back(static_cast<uint8_t>(0 - MikasTxSum));
  MikasTxBuffer.push_back(kMikasTerminator);
  MikasTxLength = static_cast<uint32_t>(MikasTxBuffer.size());

  if (link.SharedPort) {
    int32_t error = 0;
    link.SharedPort->ClearReceive(&error);
  }
  if (driver_.SendBlock(MikasTxBuffer.data(), MikasTxLength) != kOk) return link.LastResult;
  // Whatever arrives within the reply timeout; the decoding finds out a short reply.
  MikasRxLength = 0;
  driver_.ReceiveBlock(MikasRxBuffer, kMikasReplyLimit, MikasRxLength);
  return link.LastResult = DecodeReply(answer, answerSize, answerLength);
}

ResultCode TMikasLink::DecodeReply(uint8_t* answer, size_t answerSize, uint32_t& answerLength) {
  uint32_t stored = 0;
  for (;;) {
    if (MikasRxPosition >= MikasRxLength) return kMikasNoTerminator;
    uint8_t character = MikasRxBuffer[MikasRxPosition++];
    if (character == kMikasTerminator) break;
    if (character == kMikasEscape) {
      if (MikasRxPosition >= MikasRxLength) return kMikasNoTerminator;
      const uint8_t escaped = MikasRxBuffer[MikasRxPosition++];
      if (escaped == kMikasEscapedEscape) {
        character = kMikasEscape;
      } else if (escaped == kMikasEscapedTerminator) {
        character = kMikasTerminator;
      } else {
        return kMikasBadEscape;
      }
    }
    MikasRxSum = static_cast<uint8_t>(MikasRxSum + character);
    if (stored < answerSize) answer[stored] = character;
    ++stored;
  }
  if (MikasRxSum != 0) return kBadChecksum;
  // The last character is the checksum, not part of the answer.
  const uint32_t characters = stored > 0 ? stored - 1 : 0;
  answerLength = characters < answerSize ? characters : static_cast<uint32_t>(answerSize);
  return kOk;
}

bool TMikasLink::Request(const uint8_t* bytes, uint32_t count, char* text, size_t textSize) {
  if (textSize > 0) text[0] = '\0';
  for (int attempt = 0; attempt < kRequestTries; ++attempt) {
    uint8_t answer[kMikasAnswerSize];
    uint32_t answerLength = 0;
    if (MikasExchange(bytes, count, answer, sizeof answer, answerLength) != kOk) {
      if (driver_.Link.LastResult == kAborted) return false;
      continue;
    }
    // The text ends at the answer's end or at a NUL within it, and never beyond the caller's
    // buffer.
    size_t copied = 0;
    while (copied < answerLength && copied + 1 < textSize && answer[copied] != 0) {
      text[copied] = static_cast<char>(answer[copied]);
      ++copied;
    }
    if (textSize == 0) return true;
    text[copied] = '\0';
    if (copied > 0 && static_cast<uint8_t>(text[0]) == kErasedItem) copied = 0;
    text[copied] = '\0';
    OemToAnsi(reinterpret_cast<const uint8_t*>(text), reinterpret_cast<uint8_t*>(text), copied);
    return true;
  }
  return false;
}

bool TMikasLink::MikasRequest(uint8_t first, char* text, size_t textSize) {
  const uint8_t request[] = {first};
  return Request(request, sizeof request, text, textSize);
}

bool TMikasLink::MikasRequest(uint8_t first, uint8_t second, char* text, size_t textSize) {
  const uint8_t request[] = {first, second};
  return Request(request, sizeof request, text, textSize);
}

}  // namespace quillorn
