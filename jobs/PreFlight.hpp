#pragma once
// The pre-flight: before a port is opened, a job proves that its file and its target fit the
// family's memory. A write's file is read once into a plan of what goes where; a read's target
// folder is proven writable. A refusal touches nothing and says, in the user's words, which
// file, what was expected and what was found.
#include <string>
#include <vector>

#include "jobs/JobRequest.hpp"
#include "report/ResultCodes.hpp"

namespace quillorn {

// A question the user answers before the job starts; any "no" starts nothing.
struct TLaunchQuestion {
  std::string TextUtf8;
  std::string CaptionUtf8;
};

struct TPreflight {
  ResultCode Result = kOk;   // nonzero: refused
  std::string RefusalUtf8;   // why, naming the file
  std::vector<TLaunchQuestion> Questions;
  std::shared_ptr<const TJobPlan> Plan;  // the write's plan (the whole EEPROM for a clear)
  uint8_t FileFormat = 0;                // kFormatHex or kFormatBinary, for a write
  std::string TargetFile;                // a read's target with links followed
};

TPreflight PreflightJob(const TJobRequest& request);

// Where the job's memory lies, for the plan and for the words that name an address.
struct TJobWindow {
  bool IsEeprom = false;
  uint8_t FirstBank = 0, LastBank = 0;  // banks a hex file may write
  uint32_t FirstAddress = 0;            // in each bank
  uint32_t BankBytes = kPageSize;       // addresses per bank from FirstAddress
  uint32_t ImageBytes = kPageSize;      // the largest binary image
};
TJobWindow JobWindowOf(const TJobRequest& request);

// "страница 1, адрес 0x1234", "банк 0x12, адрес 0x0000" or "EEPROM, адрес 0x8001".
std::string DescribeJobAddress(const TJobRequest& request, uint8_t bank, uint32_t address);

// True when the file's first line has the shape of an S-record or an Intel hex record: the
// content, not the name, tells a hex file.
bool LooksLikeHexText(std::FILE* file);

// The file's own name without its folders, which may hold anything (".hex" included).
std::string OwnFileName(const std::string& path);

// "65 536": digits grouped by thousands, as Russian text writes them.
std::string GroupedCount(uint64_t count);

}  // namespace quillorn
