#pragma once
// The one way a job's result becomes what the user reads: the window shows it in a message
// box, the command-line client prints it.
#include <cstdint>
#include <string>

#include "report/ResultCodes.hpp"

namespace quillorn {

// Message-box flags as the window passes them on.
inline constexpr unsigned kBoxPlain = 0, kBoxError = 16, kBoxInformation = 64, kBoxYesNoInformation = 0x44;

struct TResultMessage {
  std::string text;     // UTF-8
  std::string caption;  // UTF-8; "Error 0x21" for failures, empty for success and cancellation
  unsigned flags = kBoxPlain;
};

// The message of a flash/EEPROM job's result. A failure's detail (what the job found: which
// file, which address) follows the code's own text on a line of its own.
TResultMessage MessageForJobResult(ResultCode result, const std::string& detailUtf8 = "");

// "Резервная копия: PATH", the line that tells where the job kept the ECU's memory before it
// changed it; empty without a backup.
std::string BackupNote(const std::string& backupFileUtf8);
// The message with that line under it: the backup is named whatever the job's end, since a
// failed write is exactly when the user needs it.
TResultMessage WithBackupNote(TResultMessage message, const std::string& backupFileUtf8);

// The message of an identification job's result: the report (UTF-8) under "Данные
// диагностики" for every result but a missing programmer (33) and a cancellation (42).
TResultMessage MessageForIdentificationResult(ResultCode result, const std::string& reportUtf8);

// "Error 0x%02X": upper-case hexadecimal, at least two digits (256 gives Error 0x100).
std::string ErrorCaption(ResultCode result);

}  // namespace quillorn
