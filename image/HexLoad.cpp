// Loading a hex file into ECU memory. The file is checked whole first, so a damaged file ends
// with 258 before a single byte is written; then each data record goes out in file order as
// one or more WriteBlock calls, with progress by file position and a look into the abort
// mailbox after every record.
#include "image/HexReader.hpp"
#include "image/ImageProgress.hpp"
#include "platform/AbortMailbox.hpp"
#include "platform/File.hpp"
#include "protocol/Protocol.hpp"

namespace quillorn {

namespace {

ResultCode WriteHexRecord(TProtocol& driver, const THexRecord& record) {
  for (const THexPiece& piece : SplitHexRecord(record)) {
    driver.Link.BankByte = piece.Bank;
    const ResultCode written = driver.WriteBlock(piece.Address, record.Data + piece.Offset, piece.Count);
    if (written != kOk) return written;
  }
  return kOk;
}

}  // namespace

ResultCode TProtocol::LoadSRecordFile(const std::string& fileName) {
  uint64_t length = 0;
  if (!GetFileLength(fileName, length)) return Store(kFileOpenFailed);
  const ResultCode checked = CheckHexFile(fileName);
  if (checked != kOk) return Store(checked);

  TFile file(fileName, "rb");
  if (!file.IsOpen()) return Store(kFileOpenFailed);
  IJobReport& report = *Link.Report;
  ReportProgressOf(report, 0, length);
  Store(kOk);

  THexReader reader(file.Get());
  THexRecord record;
  for (;;) {
    const ResultCode read = reader.Next(record);
    if (read != kOk) {
      Store(read);  // the file changed since it was checked
      break;
    }
    if (record.Kind == THexRecordKind::End) break;
    if (record.Kind == THexRecordKind::Skipped) continue;
    const ResultCode written = WriteHexRecord(*this, record);
    if (written != kOk) {
      Store(written);
      break;
    }
    ReportProgressOf(report, TellFile(file.Get()), length);
    if (PeekAbortMessage()) return Store(kAborted);
  }
  if (Link.LastResult == kOk) ReportComplete(report);
  return Link.LastResult;
}

}  // namespace quillorn
