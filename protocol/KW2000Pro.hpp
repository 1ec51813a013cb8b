#pragma once
// TKW2000Pro: the KWP 2000 diagnostic client. It shares the port and the link state with the
// other drivers and replaces none of their virtual operations: its work is the fast
// initialisation of the K-line, the framing of requests and responses, and three services.
#include <array>
#include <cstddef>
#include <cstdint>

#include "protocol/Protocol.hpp"

namespace quillorn {

// A message's data: the length byte can say no more than 255.
inline constexpr size_t kKwpMaxData = 255;
using TKwpData = std::array<uint8_t, kKwpMaxData>;

// The fast initialisation pattern: idle line, then low, then high, in ms.
inline constexpr uint32_t kFastInitIdleMs = 300;
inline constexpr uint32_t kFastInitLowMs = 25;
inline constexpr uint32_t kFastInitHighMs = 25;

// Service identifiers and the first byte of their positive responses.
inline constexpr uint8_t kKwpStartCommunication = 0x81, kKwpStartCommunicationOk = 0xC1;
inline constexpr uint8_t kKwpStartDiagnosticSession = 0x10, kKwpStartDiagnosticSessionOk = 0x50;
inline constexpr uint8_t kKwpReadEcuIdentification = 0x1A, kKwpReadEcuIdentificationOk = 0x5A;

class TKW2000Pro : public TProtocol {
 public:
  explicit TKW2000Pro(TLinkState& link);

  // The line pattern that wakes an ECU's diagnostic software. The waits poll the tick count:
  // the pattern's edges must be where they are meant to be, whatever the scheduler does.
  void FastInit(uint32_t idleMs, uint32_t lowMs, uint32_t highMs);

  ResultCode SendRequest(const uint8_t* data, uint8_t n);
  ResultCode ReceiveResponse(TKwpData& data, uint32_t& n);
  // One request and its response; the response timeout applies to every response byte.
  ResultCode Transact(const uint8_t* request, uint8_t length, TKwpData& response, uint32_t& responseLength);

  // The services: true on a positive response, false otherwise with the code in LastResult.
  bool StartCommunication();
  bool StartDiagnosticSession();
  // The identification text of option, as the ECU sends it, NUL-terminated in text and cut to
  // textSize - 1 characters. An item the ECU reports as erased (0xFF first) is empty.
  bool ReadEcuIdentification(uint8_t option, char* text, size_t textSize);

  uint8_t FormatByte = 0;           // bit 7: target and source address bytes follow
  uint8_t TargetAddress = 0;        // the ECU
  uint8_t SourceAddress = 0;        // this program, expected back as every response's target
  uint32_t ResponseTimeout = 1500;  // ms, the reply timeout after each request
  uint8_t TxChecksum = 0;
  uint8_t RxChecksum = 0;

 private:
  // Looks for a posted abort; true (and LastResult 42) when there was one.
  bool Cancelled();
  // A service whose positive response starts with positiveByte, followed by the pause the
  // ECU needs before the next request.
  bool SimpleService(const uint8_t* request, uint8_t length, uint8_t positiveByte);
};

}  // namespace quillorn
