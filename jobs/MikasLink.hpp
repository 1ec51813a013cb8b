#pragma once
// The Микас 7.1 / 7.2 request link: requests of one or two bytes, each answered by a text.
// Frames in both directions carry escaped payload bytes (0x0D as 40 CD, 0x40 as 40 00), a
// checksum that makes the payload add up to 0, and a closing 0x0D.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "protocol/Protocol.hpp"

namespace quillorn {

// Nothing longer is read as one reply: the family identifier with its checksum and terminator
// fits, a longer reply is cut and fails for want of its terminator.
inline constexpr uint32_t kMikasReplyLimit = 20;
inline constexpr size_t kMikasRxBufferSize = 500;
inline constexpr size_t kMikasAnswerSize = 500;

inline constexpr uint8_t kMikasEscape = 0x40;
inline constexpr uint8_t kMikasTerminator = 0x0D;
inline constexpr uint8_t kMikasEscapedTerminator = 0xCD;
inline constexpr uint8_t kMikasEscapedEscape = 0x00;

class TMikasLink {
 public:
  // The exchange goes through the link primitives of driver; only the shared port and link
  // state are involved, not the driver's own protocol.
  explicit TMikasLink(TProtocol& driver) : driver_(driver) {}

  // One request frame and its reply, decoded into answer (at most answerSize characters are
  // kept). answerLength leaves out the reply's checksum.
  ResultCode MikasExchange(const uint8_t* request, uint32_t count, uint8_t* answer, size_t answerSize,
                           uint32_t& answerLength);

  // One request of one or two payload bytes with up to three tries; the answer converted from
  // the OEM code page, NUL-terminated in text and cut to textSize - 1 characters.
  bool MikasRequest(uint8_t first, char* text, size_t textSize);
  bool MikasRequest(uint8_t first, uint8_t second, char* text, size_t textSize);

  // The exchange's state, as the last exchange left it.
  std::vector<uint8_t> MikasTxBuffer;
  uint32_t MikasTxLength = 0;
  uint8_t MikasTxSum = 0;
  uint8_t MikasRxBuffer[kMikasRxBufferSize] = {};
  uint32_t MikasRxLength = 0;
  uint32_t MikasRxPosition = 0;
  uint8_t MikasRxSum = 0;

 private:
  void AppendEscaped(uint8_t byte);
  // Decodes MikasRxBuffer up to its terminator; 0, 128, 129 or 32.
  ResultCode DecodeReply(uint8_t* answer, size_t answerSize, uint32_t& answerLength);
  bool Request(const uint8_t* bytes, uint32_t count, char* text, size_t textSize);

  TProtocol& driver_;
};

}  // namespace quillorn
