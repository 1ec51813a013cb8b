#pragma once
// TFlashPro: the memory driver. It speaks to the bootstrap program running in the ECU in "F"
// request and "P" reply frames: a prefix, a length byte L + 0x55, the command byte and its
// parameters, and a checksum that makes the whole frame add up to 0 mod 256. Nothing is
// escaped; only the length byte tells where a frame ends.
#include <cstdint>

#include "protocol/Protocol.hpp"

namespace quillorn {

class TFlashPro : public TProtocol {
 public:
  explicit TFlashPro(TLinkState& link);

  // Envelope helpers: every byte is echo-checked and summed.
  ResultCode PutByte(uint8_t byte);
  ResultCode GetByte(uint8_t& byte);
  ResultCode PutText(const char* text);
  ResultCode GetPrefix();  // into ReceivedPrefix
  ResultCode PutLength(uint8_t length);
  ResultCode GetLength(uint8_t& length);
  ResultCode PutWord(uint16_t word);
  ResultCode GetWord(uint16_t& word);

  // Requests.
  ResultCode EraseFlash(uint16_t word, uint8_t byte);
  ResultCode EraseStatus();
  ResultCode WriteOnce(uint32_t address, const uint8_t* data, uint8_t count);
  ResultCode ReadOnce(uint32_t address, uint8_t* buffer, uint8_t count);
  // The CRC (protocol/RangeChecksum) of count bytes (1 to 65,536) of the flash page that
  // Link.BankByte selects, from the low 16 bits of address on, computed by the Январь
  // bootstrap; memory space 2 only (37 otherwise). Retried like ReadBlock; the reply may take
  // as long as the computation needs on top of ReplyTimeout. A range past the page's end is
  // refused unsent (97); a reply for another range counts as a wrong answer (34).
  ResultCode RangeChecksum(uint32_t address, uint32_t count, uint16_t& checksum);

  ResultCode WriteBlock(uint32_t address, const uint8_t* data, uint8_t count) override;
  ResultCode ReadBlock(uint32_t address, uint8_t* buffer, uint8_t count) override;
  ResultCode Finish() override;

  // The largest L the length byte can carry (0xFF - 0x55).
  static constexpr uint8_t kMaxFrameLength = 0xFF - 0x55;

  uint8_t AddressWidth = 2;
  char CommandPrefix[10] = "F";
  char ReplyPrefix[10] = "P";
  uint16_t LastEraseWord = 256;
  uint8_t TxSum = 0;
  uint8_t RxSum = 0;
  char ReceivedPrefix[10] = {};

 private:
  // A request built in a buffer, with TxSum kept as if sent byte by byte.
  struct TRequest {
    uint8_t bytes[3 + 0xFF];
    uint32_t length = 0;
  };
  void Append(TRequest& request, uint8_t byte);
  // Prefix, length byte and command byte of a request of L = length.
  void BeginRequest(TRequest& request, uint8_t length, uint8_t command);
  void AppendAddress(TRequest& request, uint32_t address);
  // Checksum, then one write whose echo is swallowed (data requests) or compared byte for
  // byte (the erase request).
  ResultCode SendRequest(TRequest& request);
  ResultCode SendCheckedRequest(TRequest& request);

  // Prefix (96) and length byte (97 below 0x55) of a reply.
  ResultCode ReadReplyStart(uint8_t& length);
  // The L + 1 bytes after the length byte in one read, summed into RxSum.
  ResultCode ReadReplyBody(uint8_t* body, uint8_t length);
  ResultCode RangeChecksumOnce(uint32_t address, uint32_t count, uint16_t& checksum);
  // Before a retry: drops what is left of the failed attempt's reply once the line is quiet.
  void DiscardStaleReply();
};

}  // namespace quillorn
