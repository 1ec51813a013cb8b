#pragma once
// The Микас 7.1 / 7.2 request link as the ECU serves it: frames of escaped payload bytes, a
// checksum that makes them add up to 0 and a closing 0x0D; each known request is answered by
// its text in the same framing, anything else is left unanswered.
#include "sim/diag/DiagnosticSoftware.hpp"
#include "sim/diag/IdentificationTexts.hpp"
#include "sim/diag/ReplyQueue.hpp"

namespace quillorn::sim {

// One payload framed for the link: escaped bytes, checksum (escaped too), terminator.
std::vector<uint8_t> MikasFrame(const std::vector<uint8_t>& payload);

class TMikasDiagnostics final : public TDiagnosticSoftware {
 public:
  static constexpr uint32_t kRate = 9600;

  explicit TMikasDiagnostics(TMikasTexts texts);

  void Start(TLineClock::time_point at) override;
  void Break(bool, TLineClock::time_point) override {}
  void Receive(uint8_t byte, TLineClock::time_point at) override;
  void AdvanceTo(TLineClock::time_point now, std::vector<uint8_t>& sent) override;
  TLineClock::time_point NextWake() const override;
  uint32_t LineRate() const override { return kRate; }

 private:
  void HandleFrame(TLineClock::time_point at);

  TMikasTexts texts_;
  std::vector<uint8_t> raw_;
  TLineClock::time_point lastByte_{};
  TReplyQueue replies_;
};

}  // namespace quillorn::sim
