#pragma once
// The flash and EEPROM job: from the ECU's boot loader to a running bootstrap program, the
// passport, then erase, write, read or clear through the memory driver.
#include <cstdint>
#include <string>

#include "jobs/JobRequest.hpp"
#include "jobs/LinkSession.hpp"
#include "protocol/C509Pro.hpp"
#include "protocol/FlashPro.hpp"

namespace quillorn {

inline constexpr uint32_t kEraseTimeoutMs = 20000;

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

// Where a read job collects its data until it succeeds.
std::string PartialFileName(const std::string& target);

}  // namespace quillorn
