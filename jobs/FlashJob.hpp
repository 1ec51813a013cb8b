#pragma once
// The flash and EEPROM job: from the ECU's boot loader to a running bootstrap program, the
// passport, then erase, write, read or clear through the memory driver.
#include <cstdint>
#include <string>

#include "jobs/EcuFamily.hpp"
#include "jobs/LinkSession.hpp"
#include "protocol/C509Pro.hpp"
#include "protocol/FlashPro.hpp"

namespace quillorn {

// What a front end fills in before a job starts.
struct TJobRequest {
  uint8_t JobKind = kJobWrite;
  uint8_t IsFlashJob = 1;
  std::string FileName;        // UTF-8 path
  uint8_t PortNumber = 1;
  int SelectedBaud = 38400;
  uint32_t JobReplyTimeout = 500;  // 2000 with the long timeout
  TEcuFamily Family = TEcuFamily::January5;
  bool DualProg = false;
  bool SecondPage = false;
};

// Values the job keeps between jobs.
struct TJobState {
  uint8_t FileFormat = 0;  // of the last write job: 1 hex text, 2 binary image
};

inline constexpr uint8_t kFormatHex = 1;
inline constexpr uint8_t kFormatBinary = 2;
inline constexpr uint32_t kPageSize = 65536;
inline constexpr uint32_t kEraseTimeoutMs = 20000;
inline constexpr uint32_t kEepromSize = 512;

struct TJobDrivers {
  TC509Pro& Loader;
  TFlashPro& Memory;
  TLinkSession& Session;
  TJobState& State;
};

// Runs the job; 0 when all of it succeeded, otherwise the first failing step's code.
ResultCode PerformJob(const TJobRequest& request, TJobDrivers& drivers);

// Uploads a bootstrap image through the boot loader (sync when the poll has not, header,
// 16-byte blocks with progress and cancellation, the end block when the length needs one).
ResultCode UploadBootstrap(TJobDrivers& drivers, const uint8_t* image, uint32_t length);

// The EEPROM start address of a family.
uint32_t EepromAddressOf(TEcuFamily family);

// True when the name holds ".hex" anywhere, compared without regard to letter case.
bool IsHexFileName(const std::string& fileName);

// Where a read job collects its data until it succeeds.
std::string PartialFileName(const std::string& target);

}  // namespace quillorn
