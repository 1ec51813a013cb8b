#include "jobs/PercentScale.hpp"

#include <algorithm>

#include "jobs/EcuFamily.hpp"

namespace quillorn {

namespace {
int32_t ScaleForPages(int32_t p, const TPercentContext& c) {
  const bool twoPasses = c.dualProg || (c.secondPage && c.jobKind != kJobRead);
  return twoPasses ? p / 2 + c.bankByte * 50 : p;
}

int32_t ScaleForBanks(int32_t p, const TPercentContext& c) {
  if (c.bankByte < 16) return 0;
  return static_cast<int32_t>((p + (c.bankByte - 16) * 100) * 0.125);
}
}  // namespace

int32_t RescalePercent(int32_t p, const TPercentContext& c) {
  if (c.linkState == 5 && c.isFlashJob == 1) {
    if (c.jobKind == kJobWrite || c.jobKind == kJobRead) p = ScaleForPages(p, c);
    else if (c.jobKind == kJobBanksWrite || c.jobKind == kJobBanksRead) p = ScaleForBanks(p, c);
  }
  return std::clamp(p, 0, 100);
}

}  // namespace quillorn
