#pragma once
// Progress of the image-file operations: a done value of a total, as a percentage.
#include <cstdint>

#include "report/JobReport.hpp"

namespace quillorn {

// An empty total (an empty file) shows 0 % instead of dividing zero by zero.
inline void ReportProgressOf(IJobReport& report, uint64_t done, uint64_t total) {
  if (total == 0) {
    report.ShowPercent(0);
    return;
  }
  report.ShowProgressOf(static_cast<float>(done), static_cast<float>(total));
}

inline void ReportComplete(IJobReport& report) { report.ShowProgressOf(100.0f, 100.0f); }

}  // namespace quillorn
