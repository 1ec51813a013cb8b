#include "image/HexReader.hpp"

#include <algorithm>

#include "platform/File.hpp"

namespace quillorn {

namespace {

// Longer than any valid record (an Intel record of 255 data bytes has 521 characters); what
// comes after this may only be blanks.
constexpr size_t kLineKept = 600;

bool IsBlank(int c) { return c == ' ' || c == '\t' || c == '\r'; }

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool HexByteAt(const std::string& line, size_t pos, uint8_t& value) {
  if (pos + 2 > line.size()) return false;
  const int high = HexDigitValue(line[pos]);
  const int low = HexDigitValue(line[pos + 1]);
  if (high < 0 || low < 0) return false;
  value = static_cast<uint8_t>(high * 16 + low);
  return true;
}

// Reads count bytes of hex pairs from pos into bytes; false on a non-hex character.
bool HexBytesAt(const std::string& line, size_t pos, size_t count, uint8_t* bytes) {
  for (size_t i = 0; i < count; ++i) {
    if (!HexByteAt(line, pos + 2 * i, bytes[i])) return false;
  }
  return true;
}

uint32_t BigEndian(const uint8_t* bytes, size_t count) {
  uint32_t value = 0;
  for (size_t i = 0; i < count; ++i) value = (value << 8) | bytes[i];
  return value;
}

uint8_t SumOf(const uint8_t* bytes, size_t count) {
  unsigned sum = 0;
  for (size_t i = 0; i < count; ++i) sum += bytes[i];
  return static_cast<uint8_t>(sum);
}

// Address bytes of an S-record type; 0 for a type that does not exist.
size_t SRecordAddressBytes(char type) {
  switch (type) {
    case '0': case '1': case '5': case '9': return 2;
    case '2': case '6': case '8': return 3;
    case '3': case '7': return 4;
    default: return 0;
  }
}

// Size of the address space each style can reach; a record running past it is damaged.
uint64_t AddressSpaceOf(THexAddressStyle style) {
  switch (style) {
    case THexAddressStyle::S1: return 0x10000ull;
    case THexAddressStyle::S2: return 0x1000000ull;
    case THexAddressStyle::S3: return 0x100000000ull;
    case THexAddressStyle::Intel: return 0x1000000ull;  // the bank byte holds bits 16-23 only
  }
  return 0;
}

THexPiece MapHexAddress(THexAddressStyle style, uint32_t fullAddress) {
  THexPiece piece;
  switch (style) {
    case THexAddressStyle::S1:
      piece.Address = fullAddress & 0xFFFFu;
      break;
    case THexAddressStyle::S2:
    case THexAddressStyle::Intel:
      piece.Address = fullAddress & 0xFFFFu;
      piece.Bank = static_cast<uint8_t>(fullAddress >> 16);
      break;
    case THexAddressStyle::S3:
      // The wire carries a 16-bit address and a bank byte. Files made for a flat memory put the
      // bank in bits 16-23; older ones put it in bits 24-31 and leave 16-23 clear.
      piece.Address = fullAddress & 0xFFFFu;
      piece.Bank = static_cast<uint8_t>((fullAddress >> 24) != 0 ? fullAddress >> 24 : fullAddress >> 16);
      break;
  }
  return piece;
}

// An S3 address whose bits 24-31 and 16-23 are both set names no bank the wire can carry.
bool HasTwoBanks(THexAddressStyle style, uint64_t address, size_t length) {
  if (style != THexAddressStyle::S3 || (address >> 24) == 0) return false;
  const uint64_t last = address + (length == 0 ? 0 : length - 1);
  return ((address >> 16) & 0xFF) != 0 || ((last >> 16) & 0xFF) != 0;
}

ResultCode SetData(THexRecord& record, THexAddressStyle style, uint64_t address, const uint8_t* data,
                   size_t length) {
  if (address + length > AddressSpaceOf(style)) return kFileDamaged;
  if (HasTwoBanks(style, address, length)) return kFileDamaged;
  record.Kind = THexRecordKind::Data;
  record.Style = style;
  record.Address = static_cast<uint32_t>(address);
  record.Length = static_cast<uint16_t>(length);
  std::copy(data, data + length, record.Data);
  return kOk;
}

}  // namespace

std::vector<THexPiece> SplitHexRecord(const THexRecord& record) {
  std::vector<THexPiece> pieces;
  if (record.Length == 0) {
    pieces.push_back(MapHexAddress(record.Style, record.Address));
    return pieces;
  }
  uint16_t offset = 0;
  while (offset < record.Length) {
    const uint32_t fullAddress = record.Address + offset;
    const uint32_t toBoundary = 0x10000u - (fullAddress & 0xFFFFu);
    const auto count = static_cast<uint8_t>(
        std::min<uint32_t>({kHexPieceLimit, static_cast<uint32_t>(record.Length - offset), toBoundary}));
    THexPiece piece = MapHexAddress(record.Style, fullAddress);
    piece.Offset = offset;
    piece.Count = count;
    pieces.push_back(piece);
    offset = static_cast<uint16_t>(offset + count);
  }
  return pieces;
}

bool THexReader::ReadLine(std::string& line, bool& longLine) {
  line.clear();
  longLine = false;
  bool any = false;
  for (int c = std::fgetc(file_); c != EOF; c = std::fgetc(file_)) {
    any = true;
    if (c == '\n') break;
    if (line.size() < kLineKept) {
      line.push_back(static_cast<char>(c));
    } else if (!IsBlank(c)) {
      longLine = true;
    }
  }
  while (!line.empty() && IsBlank(static_cast<unsigned char>(line.back()))) line.pop_back();
  return any;
}

ResultCode THexReader::ParseSRecord(const std::string& line, THexRecord& record) {
  if (line.size() < 4) return kFileDamaged;
  const char type = line[1];
  const size_t addressBytes = SRecordAddressBytes(type);
  if (addressBytes == 0) return kFileDamaged;  // S4 or no type digit: never silently skipped
  uint8_t count = 0;
  if (!HexByteAt(line, 2, count)) return kFileDamaged;
  const bool isData = type == '1' || type == '2' || type == '3';
  if (isData && count == 0) {
    if (line.size() != 4) return kFileDamaged;
    record.Kind = THexRecordKind::End;
    return kOk;
  }
  if (count < addressBytes + 1) return kFileDamaged;  // no room for address and checksum
  // Count and start-address records carry no data: one that does is a damaged data record.
  if (!isData && type != '0' && count != addressBytes + 1) return kFileDamaged;
  if (line.size() != 4 + 2 * size_t{count}) return kFileDamaged;
  uint8_t bytes[256];
  if (!HexBytesAt(line, 4, count, bytes)) return kFileDamaged;
  if (static_cast<uint8_t>(SumOf(bytes, count) + count) != 0xFF) return kFileDamaged;
  if (!isData) {
    // A count record must match the data records before it: a lost line shows up here.
    if ((type == '5' || type == '6') && BigEndian(bytes, addressBytes) != dataRecordsSeen_) return kFileDamaged;
    record.Kind = THexRecordKind::Skipped;
    return kOk;
  }
  ++dataRecordsSeen_;
  const THexAddressStyle style = type == '1'   ? THexAddressStyle::S1
                                 : type == '2' ? THexAddressStyle::S2
                                               : THexAddressStyle::S3;
  return SetData(record, style, BigEndian(bytes, addressBytes), bytes + addressBytes,
                 count - addressBytes - 1);
}

ResultCode THexReader::ParseIntelRecord(const std::string& line, THexRecord& record) {
  uint8_t count = 0;
  if (!HexByteAt(line, 1, count)) return kFileDamaged;
  const size_t recordBytes = size_t{count} + 5;  // count, address (2), type, data, checksum
  if (line.size() != 1 + 2 * recordBytes) return kFileDamaged;
  uint8_t bytes[260];
  if (!HexBytesAt(line, 1, recordBytes, bytes)) return kFileDamaged;
  if (SumOf(bytes, recordBytes) != 0) return kFileDamaged;
  const uint8_t type = bytes[3];
  const uint8_t* data = bytes + 4;
  if (type > 0x05) return kFileDamaged;
  if (count == 0 || type == 0x01) {
    record.Kind = THexRecordKind::End;
    return kOk;
  }
  switch (type) {
    case 0x00:
      return SetData(record, THexAddressStyle::Intel, uint64_t{intelBase_} + BigEndian(bytes + 1, 2), data,
                     count);
    case 0x02:  // extended segment address: base = segment * 16
      if (count != 2) return kFileDamaged;
      intelBase_ = BigEndian(data, 2) << 4;
      break;
    case 0x04:  // extended linear address: the upper 16 bits
      if (count != 2) return kFileDamaged;
      intelBase_ = BigEndian(data, 2) << 16;
      break;
    default:  // 03, 05: start addresses, nothing to load
      if (count != 4) return kFileDamaged;
      break;
  }
  record.Kind = THexRecordKind::Skipped;
  return kOk;
}

ResultCode THexReader::Next(THexRecord& record) {
  std::string line;
  bool longLine = false;
  if (!ReadLine(line, longLine)) {
    if (std::ferror(file_) != 0) return kFileOpenFailed;
    record.Kind = THexRecordKind::End;
    return kOk;
  }
  if (longLine || line.empty()) return kFileDamaged;
  if (line[0] == ':') return ParseIntelRecord(line, record);
  if (line[0] == 'S') return ParseSRecord(line, record);
  return kFileDamaged;
}

ResultCode CheckHexFile(const std::string& fileName) {
  TFile file(fileName, "rb");
  if (!file.IsOpen()) return kFileOpenFailed;
  THexReader reader(file.Get());
  THexRecord record;
  for (;;) {
    const ResultCode result = reader.Next(record);
    if (result != kOk) return result;
    if (record.Kind == THexRecordKind::End) return kOk;
  }
}

}  // namespace quillorn
