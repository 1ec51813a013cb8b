#pragma once
// The link state every driver shares: one port, one last result, one set of transfer values.
// The program holds one instance (ProgramLink); tests build fresh ones.
#include <cstdint>
#include <memory>

#include "protocol/JobReport.hpp"
#include "serial/SerialPort32.hpp"

namespace quillorn {

struct TLinkState {
  std::unique_ptr<TSerialPort32> SharedPort;
  int LastResult = 0;            // 6 is sticky until a successful Open
  uint32_t ReplyTimeout = 300;   // ms; set only through TProtocol::SetReplyTimeout
  uint8_t BlockSize = 16;
  uint8_t RetryCount = 1;
  uint8_t MemorySpace = 0;       // 1 upload, 2 flash, 3 EEPROM
  uint8_t BankByte = 0;
  // Values given to the last Open, before any mapping.
  uint8_t SavedPortNumber = 0;
  uint8_t SavedParity = 0;
  uint8_t SavedStopBits = 0;
  uint8_t SavedDataBits = 0;
  int LinkBaud = 0;
  // Windows of the binary image transfers.
  uint32_t FileOffset = 0;
  uint32_t FileLimit = 0xFFFFFFFFu;
  // Where progress and passport go; never null.
  IJobReport* Report = &silentReport;

 private:
  TSilentReport silentReport;
};

// The program's one link state.
TLinkState& ProgramLink();

}  // namespace quillorn
