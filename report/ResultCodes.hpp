#pragma once
// Result codes of jobs, drivers and file operations. 0 is success; the first failure's code
// travels unchanged to the end of a job.
namespace quillorn {

using ResultCode = int;

inline constexpr ResultCode kOk = 0;
inline constexpr ResultCode kNoPort = 6;
inline constexpr ResultCode kBadChecksum = 32;
inline constexpr ResultCode kNoProgrammer = 33;       // echo missing or wrong, TX wait failed
inline constexpr ResultCode kWrongCommand = 34;
inline constexpr ResultCode kCannotRead = 37;
inline constexpr ResultCode kBadMemorySpace = 38;
inline constexpr ResultCode kNotOffered = 39;
inline constexpr ResultCode kTimeout = 40;
inline constexpr ResultCode kWriteFailed = 41;
inline constexpr ResultCode kAborted = 42;
inline constexpr ResultCode kBadPrefix = 96;
inline constexpr ResultCode kBadLength = 97;
inline constexpr ResultCode kMemoryWriteFailed = 98;
inline constexpr ResultCode kEepromNoAnswer = 99;        // the EEPROM did not acknowledge a read
inline constexpr ResultCode kMikasBadEscape = 128;
inline constexpr ResultCode kMikasNoTerminator = 129;
inline constexpr ResultCode kLoaderRejected = 160;
inline constexpr ResultCode kLoaderUnexpected = 161;
inline constexpr ResultCode kBlockTooLong = 162;
inline constexpr ResultCode kFlashWriteFailed = 192;
inline constexpr ResultCode kVerifyMismatch = 193;    // the ECU's memory differs from the plan
inline constexpr ResultCode kEraseWordMismatch = 194;
inline constexpr ResultCode kEraseByteMismatch = 195;
inline constexpr ResultCode kEraseFailed = 196;
inline constexpr ResultCode kEraseWrongSpace = 197;
inline constexpr ResultCode kKwpWrongTester = 224;
inline constexpr ResultCode kFileOpenFailed = 256;
inline constexpr ResultCode kFileWriteFailed = 257;
inline constexpr ResultCode kFileDamaged = 258;
inline constexpr ResultCode kFileDoesNotFit = 259;    // the file does not fit the family's memory
inline constexpr ResultCode kBackupFailed = 260;      // the memory could not be kept before a write

}  // namespace quillorn
