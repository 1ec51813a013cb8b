#pragma once
// The reporting interface jobs, drivers and file operations talk to. The window implements it
// for its controls, the command-line client for a terminal; neither is known below this line.
#include <cstdint>
#include <string>

namespace quillorn {

enum class TPassportField { SoftwareVersion, Date, Engine };

class IJobReport {
 public:
  virtual ~IJobReport() = default;
  virtual void ShowStage(const std::string& textUtf8) = 0;
  virtual void ShowWaitNotice() = 0;
  // The raw percentage of the current part; the front end rescales it (one shared function).
  virtual void ShowPercent(int32_t percent) = 0;
  // A passport field as the ECU or file holds it: Windows-1251 bytes, already converted from
  // the OEM code page where that applies. The front end decides whether it is printable.
  virtual void ShowPassportField(TPassportField field, const uint8_t* bytes, int8_t length) = 0;
  virtual void ShowPassportCaption(const std::string& textUtf8) = 0;

  // done * 100 / total in floating point, truncated toward zero.
  void ShowProgressOf(float done, float total) {
    ShowPercent(static_cast<int32_t>(static_cast<double>(done) * 100.0 / static_cast<double>(total)));
  }
};

// Reports nothing: the default until a front end installs its own.
class TSilentReport final : public IJobReport {
 public:
  void ShowStage(const std::string&) override {}
  void ShowWaitNotice() override {}
  void ShowPercent(int32_t) override {}
  void ShowPassportField(TPassportField, const uint8_t*, int8_t) override {}
  void ShowPassportCaption(const std::string&) override {}
};

}  // namespace quillorn
