#pragma once
// TC509Pro: the exchange with the boot loader built into the ECU's C509 processor. It also is
// the driver through which the port is opened for the poll, the port check and the jobs.
#include <cstdint>

#include "protocol/Protocol.hpp"

namespace quillorn {

class TC509Pro : public TProtocol {
 public:
  explicit TC509Pro(TLinkState& link);

  // Sends the autobaud byte 0x00 and expects 0x55.
  ResultCode SyncLoader();
  // Announces a load of blocks of blockLength bytes to address; an accepted header makes
  // blockLength the link's BlockSize. Length 0 gives a header with a wrong checksum on purpose:
  // its 0xFE answer (32) proves a listening boot loader without starting a transfer.
  ResultCode SendHeader(uint16_t address, uint8_t blockLength);
  // One data block: full form when count is BlockSize, last form otherwise.
  ResultCode WriteOnce(uint32_t address, const uint8_t* data, uint8_t count);

  ResultCode WriteBlock(uint32_t address, const uint8_t* data, uint8_t count) override;
  ResultCode ReadBlock(uint32_t address, uint8_t* buffer, uint8_t count) override;
  ResultCode Start(uint16_t address) override;

  uint8_t XorSum = 0;

 private:
  // Sends a built block and maps the loader's one-byte answer.
  ResultCode Exchange(const uint8_t* block, uint32_t length);
  void Append(uint8_t* block, uint32_t& length, uint8_t value);
};

}  // namespace quillorn
