#pragma once
// Hex image files: Motorola S-records (S1/S2/S3 data) and Intel hexadecimal records, also
// mixed in one file. Every record is checked whole (hex digits, count, checksum, nothing after
// the checksum but blanks) so a damaged file is refused before anything reaches the ECU.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "report/ResultCodes.hpp"

namespace quillorn {

enum class THexRecordKind : uint8_t {
  Data,     // data bytes to write
  Skipped,  // header, count, start address or extended address: nothing to write
  End,      // the load ends here: end of file, a count of 0, or an Intel end-of-file record
};

// How a record's address becomes a WriteBlock address and a BankByte.
enum class THexAddressStyle : uint8_t {
  S1,     // 16-bit address, bank 0
  S2,     // bits 16-23 are the bank, bits 0-15 the address
  S3,     // bits 16-23 are the bank, or bits 24-31 when 16-23 are clear; bits 0-15 the address
  Intel,  // bits 16-23 (from an extended address record) are the bank, bits 0-15 the address
};

// The largest data record: the count byte covers at most 255 bytes.
inline constexpr size_t kHexMaxData = 255;
// The most data bytes one WriteBlock carries; the bootstrap accepts no more.
inline constexpr uint8_t kHexPieceLimit = 32;

struct THexRecord {
  THexRecordKind Kind = THexRecordKind::End;
  THexAddressStyle Style = THexAddressStyle::S1;
  uint32_t Address = 0;  // full address of the first data byte
  uint16_t Length = 0;
  uint8_t Data[kHexMaxData] = {};
};

// One WriteBlock of a data record.
struct THexPiece {
  uint32_t Address = 0;  // as passed to WriteBlock
  uint8_t Bank = 0;      // BankByte for this write
  uint16_t Offset = 0;   // first byte in the record's data
  uint8_t Count = 0;
};

// A record's data as writes of at most kHexPieceLimit bytes at consecutive addresses; no piece
// crosses a 64 KiB boundary, so each has one bank. A record without data gives one empty piece.
std::vector<THexPiece> SplitHexRecord(const THexRecord& record);

// Reads records line by line; keeps the Intel extended address between records.
class THexReader {
 public:
  explicit THexReader(std::FILE* file) : file_(file) {}

  // Fills record. Returns 0 (record valid; End at the end of the file), 258 for a damaged
  // line, 256 when the file cannot be read.
  ResultCode Next(THexRecord& record);

 private:
  // False at the end of the file. longLine is set when a line runs past any valid record
  // with something other than blanks.
  bool ReadLine(std::string& line, bool& longLine);
  ResultCode ParseSRecord(const std::string& line, THexRecord& record);
  ResultCode ParseIntelRecord(const std::string& line, THexRecord& record);

  std::FILE* file_;
  uint32_t intelBase_ = 0;
  uint32_t dataRecordsSeen_ = 0;  // S1/S2/S3 records, for the S5/S6 count records
};

// Reads a whole hex file as a load would, writing nothing: 0 when every record up to the end
// of the load is sound, 256 when the file cannot be opened or read, 258 when it is damaged.
ResultCode CheckHexFile(const std::string& fileName);

}  // namespace quillorn
