#pragma once
// KWP 2000 diagnostic software (ISO 14230 framing): woken by the fast initialisation, it
// answers StartCommunication with its key bytes, StartDiagnosticSession, and
// ReadEcuIdentification with its texts; everything else gets a negative response.
#include <optional>

#include "sim/diag/DiagnosticSoftware.hpp"
#include "sim/diag/IdentificationTexts.hpp"
#include "sim/diag/ReplyQueue.hpp"

namespace quillorn::sim {

// The pattern's tolerances. The PC times its edges on a millisecond tick count, and on some
// systems that count moves in steps of 10 to 16 ms, so the edges are taken generously.
struct TFastInitTiming {
  std::chrono::milliseconds minIdle{250};
  std::chrono::milliseconds minLow{15}, maxLow{60};
  std::chrono::milliseconds minHigh{10}, maxHigh{150};
};

class TKwpEcu final : public TDiagnosticSoftware {
 public:
  static constexpr uint8_t kEcuAddress = 0x10;
  static constexpr uint32_t kRate = 10400;

  explicit TKwpEcu(TKwpTexts texts, TFastInitTiming timing = {});

  void Start(TLineClock::time_point at) override;
  void Break(bool low, TLineClock::time_point at) override;
  void Receive(uint8_t byte, TLineClock::time_point at) override;
  void AdvanceTo(TLineClock::time_point now, std::vector<uint8_t>& sent) override;
  TLineClock::time_point NextWake() const override;
  uint32_t LineRate() const override { return kRate; }
  void SetBreakVisible(bool visible) override { breakVisible_ = visible; }

  enum class TState { Asleep, Initialised, InSession };
  TState State() const { return state_; }

 private:
  void HandleFrame(TLineClock::time_point at);
  std::vector<uint8_t> Answer(const std::vector<uint8_t>& request);
  void Respond(uint8_t tester, const std::vector<uint8_t>& data, TLineClock::time_point at);
  // Expected frame length so far known from the header, or 0 while the header is incomplete.
  size_t ExpectedLength() const;

  TKwpTexts texts_;
  TFastInitTiming timing_;
  bool breakVisible_ = true;
  TState state_ = TState::Asleep;

  TLineClock::time_point lastActivity_{};   // last character on the line, either way
  std::optional<TLineClock::time_point> breakStart_;
  TLineClock::duration idleBeforeBreak_{};
  std::optional<TLineClock::time_point> patternEnd_;  // when the line went high again
  TLineClock::time_point lastRequest_{};

  std::vector<uint8_t> frame_;
  TLineClock::time_point lastByte_{};

  TReplyQueue replies_;
};

}  // namespace quillorn::sim
