#pragma once
// The job's reporting interface on a terminal: the stage and percentage on stderr (a redrawn
// bar on a terminal, plain lines otherwise), the passport on stdout as "caption: text".
#include <cstdio>
#include <string>

#include "jobs/FlashJob.hpp"
#include "jobs/PercentScale.hpp"
#include "report/JobReport.hpp"

namespace quillorn {

class TTerminalReport final : public IJobReport {
 public:
  // The request and session give ShowPercent what it rescales by; they outlive the report.
  TTerminalReport(const TJobRequest& request, const TLinkSession& session, const TLinkState& link, bool redraw,
                  std::FILE* progress = stderr, std::FILE* passport = stdout);

  void ShowStage(const std::string& textUtf8) override;
  void ShowWaitNotice() override {}
  void ShowPercent(int32_t percent) override;
  void ShowPassportField(TPassportField field, const uint8_t* bytes, int8_t length) override;
  void ShowPassportCaption(const std::string& textUtf8) override;

  // Ends a redrawn line so later output starts on a line of its own.
  void Finish();

 private:
  void Redraw();
  const TJobRequest& request_;
  const TLinkSession& session_;
  const TLinkState& link_;
  bool redraw_;
  std::FILE* progress_;
  std::FILE* passport_;
  std::string stage_;
  int32_t percent_ = 0;
  int32_t lastPrinted_ = -1;
  bool lineOpen_ = false;
};

// The captions the window shows above the passport fields for a family.
std::string PassportCaption(TEcuFamily family, TPassportField field);

}  // namespace quillorn
