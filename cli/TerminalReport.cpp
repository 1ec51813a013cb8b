#include "cli/TerminalReport.hpp"

#include "jobs/PassportField.hpp"
#include "platform/CodePage.hpp"

namespace quillorn {

namespace {
constexpr int kBarWidth = 30;
constexpr int32_t kPlainStep = 10;  // plain output: one line per ten percent
}  // namespace

std::string PassportCaption(TEcuFamily family, TPassportField field) {
  const bool mikas = family == TEcuFamily::Mikas7;
  switch (field) {
    case TPassportField::SoftwareVersion: return mikas ? "Программа" : "Версия ПО";
    case TPassportField::Date: return "Дата";
    case TPassportField::Engine: return mikas ? "Регулировки" : "Двигатель";
  }
  return "";
}

TTerminalReport::TTerminalReport(const TJobRequest& request, const TLinkSession& session, const TLinkState& link,
                                 bool redraw, std::FILE* progress, std::FILE* passport)
    : request_(request), session_(session), link_(link), redraw_(redraw), progress_(progress), passport_(passport) {}

void TTerminalReport::ShowStage(const std::string& textUtf8) {
  stage_ = textUtf8;
  lastPrinted_ = -1;
  if (redraw_) {
    Redraw();
  } else if (!stage_.empty()) {
    std::fprintf(progress_, "%s\n", stage_.c_str());
  }
}

void TTerminalReport::ShowPercent(int32_t percent) {
  TPercentContext context{session_.LinkState, request_.IsFlashJob, request_.JobKind, request_.DualProg,
                          request_.SecondPage, link_.BankByte};
  percent_ = RescalePercent(percent, context);
  if (redraw_) {
    Redraw();
  } else if (lastPrinted_ < 0 ? percent_ > 0 : percent_ >= lastPrinted_ + kPlainStep) {
    std::fprintf(progress_, "%s %d%%\n", stage_.c_str(), percent_);
    lastPrinted_ = percent_ - percent_ % kPlainStep;
  }
}

void TTerminalReport::Redraw() {
  const int filled = percent_ * kBarWidth / 100;
  std::string bar(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(kBarWidth - filled), '.');
  std::fprintf(progress_, "\r\033[K%-24s [%s] %3d%%", stage_.c_str(), bar.c_str(), percent_);
  std::fflush(progress_);
  lineOpen_ = true;
}

void TTerminalReport::ShowPassportField(TPassportField field, const uint8_t* bytes, int8_t length) {
  const std::string text = AnsiToUtf8(PassportFieldText(bytes, length));
  Finish();
  std::fprintf(passport_, "%s: %s\n", PassportCaption(request_.Family, field).c_str(), text.c_str());
  std::fflush(passport_);
}

void TTerminalReport::ShowPassportCaption(const std::string& textUtf8) {
  Finish();
  std::fprintf(passport_, "%s\n", textUtf8.c_str());
  std::fflush(passport_);
}

void TTerminalReport::Finish() {
  if (!lineOpen_) return;
  std::fputc('\n', progress_);
  lineOpen_ = false;
}

}  // namespace quillorn
