#include "jobs/Verify.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>

#include "image/ImageProgress.hpp"
#include "jobs/PreFlight.hpp"
#include "platform/AbortMailbox.hpp"
#include "protocol/RangeChecksum.hpp"

namespace quillorn {

// Our bootstrap answers reads of up to 32 bytes; the eight-bank ECUs' own command set is only
// known to take 16.
uint8_t ReadPieceFor(const TJobRequest& rq) { return IsEightBankFamily(rq.Family) ? 16 : 32; }

// The Январь bootstrap sums a flash range on the ECU, a few percent of a write's time; the
// Микас image has no room for that request and the eight-bank ECUs do not know it.
bool SumsOnTheEcu(const TJobRequest& rq) { return rq.JobKind == kJobWrite && rq.IsFlashJob == 1; }

namespace {

// Below this a located difference is read back byte by byte.
constexpr uint32_t kLocateReadBytes = 32;

std::string Hex2(uint8_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value);
  return text;
}

class TVerifier {
 public:
  TVerifier(const TJobRequest& rq, const TJobPlan& plan, TFlashPro& memory, std::string& detail)
      : rq_(rq), plan_(plan), memory_(memory), link_(memory.Link), report_(*memory.Link.Report), detail_(detail) {}

  ResultCode Run(const std::vector<TPlanRange>& ranges, bool sums) {
    std::map<uint8_t, uint64_t> bankTotals;
    for (const TPlanRange& r : ranges) bankTotals[r.Bank] += r.Size;
    link_.MemorySpace = JobWindowOf(rq_).IsEeprom ? kEepromSpace : kFlashSpace;
    ResultCode result = kOk;
    for (const TPlanRange& r : ranges) {
      if (r.Bank != bank_) bankDone_ = 0;
      bank_ = r.Bank;
      bankTotal_ = bankTotals[r.Bank];
      link_.BankByte = r.Bank;
      result = sums ? CheckSum(r) : ReadBack(r);
      if (result != kOk) break;
    }
    link_.BankByte = 0;
    if (result == kOk) ReportComplete(report_);
    return result;
  }

 private:
  ResultCode ReadBack(const TPlanRange& range) {
    const uint8_t piece = ReadPieceFor(rq_);
    std::array<uint8_t, 255> buffer{};
    for (uint32_t offset = 0; offset < range.Size; offset += piece) {
      const uint32_t address = range.Address + offset;
      const auto count = static_cast<uint8_t>(std::min<uint32_t>(piece, range.Size - offset));
      if (ResultCode r = memory_.ReadBlock(address, buffer.data(), count)) return r;
      for (uint32_t i = 0; i < count; ++i) {
        const uint8_t expected = plan_.ByteAt(range.Bank, address + i);
        if (buffer[i] != expected) return Mismatch(range.Bank, address + i, buffer[i], expected);
      }
      bankDone_ += count;
      ReportProgressOf(report_, bankDone_, bankTotal_);
      if (PeekAbortMessage()) return kAborted;
    }
    return kOk;
  }

  ResultCode SumOfEcu(const TPlanRange& range, bool& equal) {
    uint16_t found = 0;
    if (ResultCode r = memory_.RangeChecksum(range.Address, range.Size, found)) return r;
    const std::vector<uint8_t> expected = plan_.Bytes(range.Bank, range.Address, range.Size);
    equal = found == RangeChecksumOf(expected.data(), expected.size());
    return kOk;
  }

  ResultCode CheckSum(const TPlanRange& range) {
    bool equal = false;
    if (ResultCode r = SumOfEcu(range, equal)) return r;
    if (!equal) return Locate(range);
    bankDone_ += range.Size;
    ReportProgressOf(report_, bankDone_, bankTotal_);
    return PeekAbortMessage() ? kAborted : kOk;
  }

  // Halves the range while its first half sums right, so the first difference is found with
  // a few more sums, then read back to name the byte.
  ResultCode Locate(TPlanRange range) {
    while (range.Size > kLocateReadBytes) {
      const TPlanRange first{range.Bank, range.Address, range.Size / 2};
      bool equal = false;
      if (ResultCode r = SumOfEcu(first, equal)) return r;
      if (equal) {
        range.Address += first.Size;
        range.Size -= first.Size;
      } else {
        range = first;
      }
    }
    if (ResultCode r = ReadBack(range); r != kOk) return r;
    detail_ = "Различие в области: " + DescribeJobAddress(rq_, range.Bank, range.Address) + " и далее.";
    return kVerifyMismatch;
  }

  ResultCode Mismatch(uint8_t bank, uint32_t address, uint8_t found, uint8_t expected) {
    detail_ = "Первое различие: " + DescribeJobAddress(rq_, bank, address) + ": в ЭБУ " + Hex2(found) +
              ", в файле " + Hex2(expected) + ".";
    return kVerifyMismatch;
  }

  const TJobRequest& rq_;
  const TJobPlan& plan_;
  TFlashPro& memory_;
  TLinkState& link_;
  IJobReport& report_;
  std::string& detail_;
  uint8_t bank_ = 0;
  uint64_t bankDone_ = 0, bankTotal_ = 0;
};

}  // namespace

ResultCode VerifyPlan(const TJobRequest& request, const TJobPlan& plan, TFlashPro& memory, bool erasedBefore,
                      std::string& detailUtf8) {
  memory.Link.Report->ShowStage("Проверка...");
  memory.Link.Report->ShowPercent(0);
  const bool sums = SumsOnTheEcu(request);
  // After an erase the gaps between planned runs hold 0xFF, so one sum covers a whole page.
  const std::vector<TPlanRange> ranges = sums && erasedBefore ? plan.Spans() : plan.Ranges();
  const ResultCode result = TVerifier(request, plan, memory, detailUtf8).Run(ranges, sums);
  return memory.Link.LastResult = result;
}

}  // namespace quillorn
