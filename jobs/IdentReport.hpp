#pragma once
// The identification report: the family tests of a KWP 2000 firmware identifier and the
// report each family gets. The report is held as Windows-1251 bytes, the way the ECU's texts
// arrive (KWP 2000) or are converted (the Микас link), and offered as UTF-8 to the front ends.
#include <cstddef>
#include <string>

#include "jobs/MikasLink.hpp"
#include "protocol/KW2000Pro.hpp"

namespace quillorn {

// The report is at most this many characters; every piece appended beyond it is cut.
inline constexpr size_t kIdentReportCapacity = 999;
// Each answer text the job receives.
inline constexpr size_t kIdentTextSize = 200;

class TIdentReport {
 public:
  TIdentReport() { SetDefault(); }

  // "Тип контроллера не определен, ...": what the user reads until a family is recognised.
  void SetDefault();
  // Replaces the whole content with a piece (Windows-1251 bytes).
  void Replace(const std::string& ansi);
  // Appends a piece, as much of it as the report still holds.
  void Append(const std::string& ansi);
  // The same with the system's own texts, written in UTF-8.
  void ReplaceText(const std::string& utf8);
  void AppendText(const std::string& utf8);

  const std::string& Ansi() const { return text_; }
  std::string Utf8() const;

 private:
  std::string text_;
};

std::string DefaultIdentReportUtf8();

// The family tests, applied in this order (identifier as received, at least 8 characters).
bool IsJanuary5Id(const char* text);
bool IsJanuary72Id(const char* text);
bool IsVs51Id(const char* text);

enum class TKwpFamily { January5, January72, Vs51 };
// The family whose test the identifier passes first, if any.
bool RecogniseKwpFamily(const char* identifier, TKwpFamily& family);

// Микас 7.6 is recognised by its software code (option 0x93), Микас 7.1 / 7.2 by its answer to
// request 0x51 after conversion from the OEM code page.
bool IsMikas76SoftwareCode(const char* text);
bool IsMikas7xId(const char* ansiText);

// Each composer asks its own items and leaves out every item whose request fails.
void ComposeJanuaryReport(TIdentReport& report, TKW2000Pro& kwp, TKwpFamily header, const char* identifier);
void ComposeMikas76Report(TIdentReport& report, TKW2000Pro& kwp);
// Composes only when identifier is the Микас 7.1 / 7.2 identifier; otherwise leaves the report.
void ComposeMikas7xReport(TIdentReport& report, TMikasLink& mikas, const char* identifier);

}  // namespace quillorn
