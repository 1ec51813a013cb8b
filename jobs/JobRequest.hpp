#pragma once
// What a front end hands to the flash and EEPROM job, and the values the job keeps between jobs.
#include <cstdint>
#include <memory>
#include <string>

#include "jobs/EcuFamily.hpp"
#include "jobs/JobPlan.hpp"

namespace quillorn {

inline constexpr uint8_t kFormatHex = 1;
inline constexpr uint8_t kFormatBinary = 2;
inline constexpr uint32_t kPageSize = 65536;
inline constexpr uint32_t kEepromSize = 512;

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
  // A write is compared with the ECU's memory before it counts as done.
  bool Verify = true;
  // Only the comparison: nothing is erased or written.
  bool VerifyOnly = false;
  // Before a write or an EEPROM clear changes anything, the memory it changes is read, checked
  // and kept as a file in BackupFolder (UTF-8); a backup that fails stops the job unharmed.
  bool Backup = false;
  std::string BackupFolder;
  // The pre-flight's plan, when the front end made one; the job makes its own otherwise.
  std::shared_ptr<const TJobPlan> Plan;
  uint8_t PlanFormat = 0;  // the format the plan was read in
};

// Values the job keeps between jobs.
struct TJobState {
  uint8_t FileFormat = 0;  // of the last write job: 1 hex text, 2 binary image
  // What the last failure found, in words for the user (UTF-8); empty when the code says it all.
  std::string FailureDetail;
  // The file the last job kept the ECU's memory in before changing it; empty when it made none.
  std::string BackupFile;
};

}  // namespace quillorn
