#pragma once
// TKW2000Pro: the KWP 2000 diagnostic client. It shares the port and the link state with the
// other drivers and replaces none of their virtual operations.
#include <cstdint>

#include "protocol/Protocol.hpp"

namespace quillorn {

class TKW2000Pro : public TProtocol {
 public:
  explicit TKW2000Pro(TLinkState& link);

  uint8_t FormatByte = 0;         // bit 7: target and source address bytes follow
  uint8_t TargetAddress = 0;      // the ECU
  uint8_t SourceAddress = 0;      // this program, expected back as every response's target
  uint32_t ResponseTimeout = 1500;  // ms, the reply timeout after each request
  uint8_t TxChecksum = 0;
  uint8_t RxChecksum = 0;
};

}  // namespace quillorn
