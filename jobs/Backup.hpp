#pragma once
// The copy of the ECU's memory a write or an EEPROM clear keeps before it changes anything:
// the whole window the job changes, read, read again or summed on the ECU, then saved under a
// name never used before. The file is a binary image an ordinary write puts back.
#include <ctime>
#include <string>
#include <vector>

#include "jobs/JobRequest.hpp"
#include "protocol/FlashPro.hpp"

namespace quillorn {

// True for the jobs that change the ECU's memory: writes and the EEPROM clear.
bool ChangesEcuMemory(const TJobRequest& request);

// The pages or banks the backup holds, in file order: the EEPROM; every page the flash erase
// clears (both pages of a two-page chip: the file is then a double image); the eight banks.
std::vector<TPlanRange> BackupWindowOf(const TJobRequest& request);

// "2026-12-08_153012_january5_J5V05L05_flash.bin": local time, family, the passport's version
// when there is one, and the memory ("flash", "flash-dual", "eeprom").
std::string BackupFileName(TEcuFamily family, const std::tm& localTime, const std::string& version,
                           const std::string& memory);

// Latin letters, digits, '-' and a '.' after either kept; every other run as one '_'.
std::string FileNameSafe(const std::string& text);

// folder/name, or name_2, name_3 ... before its extension when that name or its partial file
// is taken.
std::string UnusedPath(const std::string& folder, const std::string& name);

// Proves, before any port is opened, that the folder can be made and takes new files. Empty
// when it does, otherwise why not in the user's words.
std::string CheckBackupFolder(const std::string& folder);

// Reads the window, checks the read and saves it. kOk with savedPath set; kAborted when the
// user stopped it; kBackupFailed with detail saying why and what to do.
ResultCode MakeBackup(const TJobRequest& request, TFlashPro& memory, std::string& savedPath, std::string& detailUtf8);

}  // namespace quillorn
