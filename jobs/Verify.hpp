#pragma once
// After a write the job compares the ECU's memory with the plan: success means the data is
// where the user wanted it, not just that every request was answered. The write request's
// additive checksum lets two cancelling changes through; this comparison does not.
#include <string>

#include "jobs/JobRequest.hpp"
#include "protocol/FlashPro.hpp"

namespace quillorn {

// The most bytes one read request of the job's ECU returns.
uint8_t ReadPieceFor(const TJobRequest& request);
// True when the ECU sums a flash range itself (the Январь bootstrap's range checksum).
bool SumsOnTheEcu(const TJobRequest& request);

// Compares every planned byte with the ECU, through the memory driver in the job's memory
// space. 0 when all match; 193 with detail naming the first differing place; otherwise the
// link's code. erasedBefore: the job erased the flash, so bytes between planned runs hold
// 0xFF and may be checked with them.
ResultCode VerifyPlan(const TJobRequest& request, const TJobPlan& plan, TFlashPro& memory, bool erasedBefore,
                      std::string& detailUtf8);

}  // namespace quillorn
