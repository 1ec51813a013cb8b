#pragma once
// A Bosch M7.9.7 or M10 ECU on the programming line. It needs no uploaded program: it answers
// the poll's 0x00 with its family byte (0xC5 for M7.9.7 while the boot-mode line RTS is raised,
// 0xD5 for M10 while it is dropped) and serves the request frames directly over eight banks of
// 64 KiB. The low three bits of the bank byte select the bank (0x10-0x17 as the PC sends them).
#include <deque>

#include "sim/BenchOptions.hpp"
#include "sim/Ecu.hpp"
#include "sim/FrameReader.hpp"

namespace quillorn::sim {

class TBoschEcu : public TEcu {
 public:
  explicit TBoschEcu(const TBenchOptions& options);

  void SetReset(bool held, bool bootLoader, TLineClock::time_point now) override;
  void SetModeLine(std::optional<bool> raised) override { modeLine_ = raised; }
  void PowerOff() override;
  void PowerOn(TLineClock::time_point now) override;
  void Receive(uint8_t byte, const TUartFrame& pcFrame, TLineClock::time_point at) override;
  void AdvanceTo(TLineClock::time_point now, const TUartFrame& pcFrame, std::vector<uint8_t>& toPc) override;
  TLineClock::time_point NextWake(TLineClock::time_point now) const override;
  bool ServesFrames() const override { return powered_ && !inReset_; }
  std::vector<uint8_t>& Flash() override { return flash_; }
  std::vector<uint8_t>& Eeprom() override { return eeprom_; }
  TEcuCounters Counters() const override { return counters_; }

 private:
  struct TReply {
    TLineClock::time_point due;
    std::vector<uint8_t> bytes;
  };

  void Serve(const std::vector<uint8_t>& request, TLineClock::time_point at);
  void Reply(std::vector<uint8_t> payload, TLineClock::time_point at, std::chrono::nanoseconds work);
  bool AnswersPoll() const;
  std::vector<uint8_t> EraseStatus();
  std::vector<uint8_t> WriteFlash(const std::vector<uint8_t>& request);
  std::vector<uint8_t> ReadFlash(const std::vector<uint8_t>& request);
  std::vector<uint8_t> WriteEeprom(const std::vector<uint8_t>& request);
  std::vector<uint8_t> ReadEeprom(const std::vector<uint8_t>& request);

  TBenchOptions options_;
  std::vector<uint8_t> flash_;
  std::vector<uint8_t> eeprom_;
  TFrameReader reader_;
  std::deque<TReply> replies_;
  TLineClock::time_point busyUntil_{};
  std::optional<bool> modeLine_;
  bool powered_ = true;
  bool inReset_ = false;
  // Until an erase request names a word, a failed erase answers 0x0100: the word the client
  // compares the status with when it sent none.
  uint16_t eraseWord_ = 0x0100;
  uint8_t eraseByte_ = 0x03;
  TEcuCounters counters_;
};

}  // namespace quillorn::sim
