#pragma once
// Points a link's reports at one sink for as long as a scope runs and gives the previous sink
// back when it ends, however it ends: a driver must never report to a sink that is gone.
#include "report/JobReport.hpp"
#include "protocol/LinkState.hpp"

namespace quillorn {

class TReportScope {
 public:
  TReportScope(TLinkState& link, IJobReport& report) : link_(link), previous_(link.Report) { link.Report = &report; }
  ~TReportScope() { link_.Report = previous_; }
  TReportScope(const TReportScope&) = delete;
  TReportScope& operator=(const TReportScope&) = delete;

 private:
  TLinkState& link_;
  IJobReport* const previous_;
};

}  // namespace quillorn
