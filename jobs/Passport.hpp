#pragma once
// The firmware passport (software version, date, engine) shown at the start of every flash and
// EEPROM job: from the image file before a flash write, from the ECU otherwise.
#include <cstdint>
#include <string>
#include <vector>

#include "jobs/EcuFamily.hpp"

#include "jobs/PassportField.hpp"
#include "protocol/Protocol.hpp"

namespace quillorn {

// What the passport display needs to know about the job.
struct TPassportJob {
  uint8_t JobKind = 0;     // 0..6 as the job kinds go
  uint8_t IsFlashJob = 0;  // 1 flash, 0 EEPROM (kinds 0 to 3)
  uint8_t FileFormat = 0;  // 1 hex text file, 2 binary image
  std::string FileName;
};

// Shows the passport through driver.Link.Report. Reads from the ECU go through driver's
// ReadBlock in the flash space (so MemorySpace and BankByte are changed); a failed read ends
// with its code. A passport in a file that cannot be read is skipped silently. 0 otherwise.
ResultCode ShowJobPassport(const TPassportJob& job, TProtocol& driver);

// The software version in the passport of an image of the family's whole window (one page,
// two pages, eight banks), as the passport display shows it (Windows-1251); empty when the
// image holds no printable version.
std::string PassportVersionOfImage(TEcuFamily family, const std::vector<uint8_t>& image);

}  // namespace quillorn
