#pragma once
// The link state every driver shares: one port, one last result, one set of transfer values.
// The program holds one instance (ProgramLink); tests build fresh ones.
#include <cstdint>
#include <memory>

#include "protocol/EchoLatency.hpp"
#include "report/JobReport.hpp"
#include "report/MemorySpace.hpp"
#include "serial/SerialPort32.hpp"

namespace quillorn {

struct TLinkState {
  std::unique_ptr<TSerialPort32> SharedPort;
  int LastResult = 0;            // 6 is sticky until a successful Open
  uint32_t ReplyTimeout = 300;   // ms; set only through TProtocol::SetReplyTimeout
  uint8_t BlockSize = 16;
  uint8_t RetryCount = 1;
  uint8_t MemorySpace = 0;       // kUploadSpace, kFlashSpace or kEepromSpace
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
  // Data bytes per read request of the binary image transfers (writes go by BlockSize).
  uint8_t ReadPieceSize = 16;
  // Set by the flash job once the chip reported itself erased: a binary flash write may then
  // leave out blocks that are all 0xFF, which the chip already holds. Cleared when the job ends.
  bool FlashErased = false;
  // The echo delay of the line as the writes since the last Open saw it.
  TEchoLatency EchoLatency;
  // Where progress and passport go; never null.
  IJobReport* Report = &silentReport;

 private:
  TSilentReport silentReport;
};

// The program's one link state.
TLinkState& ProgramLink();

// Data bytes per binary write and read request. Our bootstrap programs take 32 (their frame
// buffer holds a 32-byte write); the eight-bank ECUs' own command set is used with 16.
inline constexpr uint8_t kBootstrapRequestData = 32;
inline constexpr uint8_t kOwnCommandSetRequestData = 16;
// Fewer, longer requests: each request costs the adapter's delay once, whatever its length.
inline void UseRequestData(TLinkState& link, uint8_t dataBytes) { link.BlockSize = link.ReadPieceSize = dataBytes; }

}  // namespace quillorn
