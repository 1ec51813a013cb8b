// Loading a hex file into ECU memory. The file is checked whole first, so a damaged file ends
// with 258 before a single byte is written; then each data record goes out in file order as
// one or more WriteBlock calls, with progress by file position and a look for an abort after
// every record.
#include "image/HexReader.hpp"
#include "image/ImageFiles.hpp"
#include "image/ImageProgress.hpp"
#include "platform/File.hpp"

namespace quillorn {

namespace {

ResultCode WriteHexRecord(IBlockTransfer& blocks, const THexRecord& record) {
  for (const THexPiece& piece : SplitHexRecord(record)) {
    blocks.SelectBank(piece.Bank);
    const ResultCode written = blocks.WriteBlock(piece.Address, record.Data + piece.Offset, piece.Count);
    if (written != kOk) return written;
  }
  return kOk;
}

}  // namespace

ResultCode LoadHexImage(IBlockTransfer& blocks, const std::string& fileName) {
  uint64_t length = 0;
  if (!GetFileLength(fileName, length)) return kFileOpenFailed;
  const ResultCode checked = CheckHexFile(fileName);
  if (checked != kOk) return checked;

  TFile file(fileName, "rb");
  if (!file.IsOpen()) return kFileOpenFailed;
  IJobReport& report = blocks.Progress();
  ReportProgressOf(report, 0, length);

  THexReader reader(file.Get());
  THexRecord record;
  ResultCode result = kOk;
  for (;;) {
    const ResultCode read = reader.Next(record);
    if (read != kOk) {
      result = read;  // the file changed since it was checked
      break;
    }
    if (record.Kind == THexRecordKind::End) break;
    if (record.Kind == THexRecordKind::Skipped) continue;
    const ResultCode written = WriteHexRecord(blocks, record);
    if (written != kOk) {
      result = written;
      break;
    }
    ReportProgressOf(report, TellFile(file.Get()), length);
    if (blocks.AbortRequested()) return kAborted;
  }
  if (result == kOk) ReportComplete(report);
  return result;
}

}  // namespace quillorn
