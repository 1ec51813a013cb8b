#pragma once
// How a part's percentage becomes the whole job's, shared by the window and the command line.
#include <cstdint>

namespace quillorn {

struct TPercentContext {
  int8_t linkState = 0;     // 5 while a job's data transfer runs
  uint8_t isFlashJob = 0;
  uint8_t jobKind = 0;
  bool dualProg = false;
  bool secondPage = false;
  uint8_t bankByte = 0;     // page (0, 1) or bank (0x10-0x17) being transferred
};

// Rescales p from a percentage of the current page or bank to one of the whole job, and keeps
// the result within 0-100 (a hex file's own bank numbers must not push the bar past its end).
int32_t RescalePercent(int32_t p, const TPercentContext& context);

}  // namespace quillorn
