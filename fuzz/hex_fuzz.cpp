// The hex reader on arbitrary text: it must never read out of bounds, every record it accepts
// must split into writes that stay inside their record and their 64 KiB bank, and the file
// check must agree with a record-by-record read.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "image/HexReader.hpp"

using namespace quillorn;

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

ResultCode ReadAll(std::FILE* file) {
  THexReader reader(file);
  THexRecord record;
  for (int records = 0; records < 100000; ++records) {
    if (const ResultCode r = reader.Next(record)) return r;
    if (record.Kind == THexRecordKind::End) return kOk;
    if (record.Kind != THexRecordKind::Data) continue;
    Require(record.Length <= kHexMaxData);
    uint32_t covered = 0;
    for (const THexPiece& piece : SplitHexRecord(record)) {
      Require(piece.Count <= kHexPieceLimit);
      Require(piece.Offset == covered);
      Require(uint32_t{piece.Offset} + piece.Count <= record.Length);
      Require((piece.Address & 0xFFFF) + piece.Count <= 0x10000);
      covered += piece.Count;
    }
    Require(covered == record.Length);
  }
  return kOk;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const int fd = memfd_create("hex", 0);
  Require(fd >= 0);
  Require(ftruncate(fd, 0) == 0);
  Require(pwrite(fd, data, size, 0) == static_cast<ssize_t>(size));
  const std::string path = "/proc/self/fd/" + std::to_string(fd);

  std::FILE* file = std::fopen(path.c_str(), "rb");
  Require(file != nullptr);
  const ResultCode read = ReadAll(file);
  std::fclose(file);
  const ResultCode checked = CheckHexFile(path);
  Require(checked == read);
  return 0;
}
