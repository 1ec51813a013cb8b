#pragma once
// A processor-based ECU (Январь 5.x, VS 5.1, Январь 7.2, Микас 7.1/7.2, the Микас 7.6 bench):
// the C509 with its boot loader, the ECU's own diagnostic software (when it starts without the
// boot-mode line), the 8051 core that runs the uploaded image from the on-chip
// XRAM, the flash chip on the external bus with its page line, and the serial EEPROM on the
// model's pair of port pins. The wiring is the one sim/README.md documents.
#include <array>
#include <deque>
#include <memory>

#include "sim/BenchOptions.hpp"
#include "sim/BootLoader.hpp"
#include "sim/Ecu.hpp"
#include "sim/FlashChip.hpp"
#include "sim/I2cEeprom.hpp"
#include "sim/cpu/Cpu8051.hpp"
#include "sim/diag/DiagnosticSoftware.hpp"

namespace quillorn::sim {

class TEcuBoard : public TEcu, private ICpuBus {
 public:
  enum class TRunState { Off, InReset, BootLoader, Running, OwnSoftware };

  explicit TEcuBoard(const TBenchOptions& options);

  void SetReset(bool held, bool bootLoader, TLineClock::time_point now) override;
  void Break(bool low, TLineClock::time_point at) override;
  void SetBreakVisible(bool visible) override;
  void PowerOff() override;
  void PowerOn(TLineClock::time_point now) override;
  void Receive(uint8_t byte, const TUartFrame& pcFrame, TLineClock::time_point at) override;
  void AdvanceTo(TLineClock::time_point now, const TUartFrame& pcFrame, std::vector<uint8_t>& toPc) override;
  TLineClock::time_point NextWake(TLineClock::time_point now) const override;
  bool ServesFrames() const override { return state_ == TRunState::Running; }
  std::vector<uint8_t>& Flash() override { return flash_.Array(); }
  std::vector<uint8_t>& Eeprom() override { return eeprom_.Memory(); }
  TEcuCounters Counters() const override;

  TRunState RunState() const { return state_; }
  uint32_t UartRate() const { return uartFrame_.baud; }
  uint8_t OutputServiceValue() const { return outputService_; }
  const TCpu8051& Cpu() const { return *cpu_; }
  TFlashChip& FlashChip() { return flash_; }

 private:
  struct TPendingByte {
    uint8_t byte;
    uint64_t deliverAtCycle;
  };

  // ICpuBus
  uint8_t CodeRead(uint16_t address) override;
  uint8_t XdataRead(uint16_t address) override;
  void XdataWrite(uint16_t address, uint8_t value) override;
  uint8_t PortPins(int port, uint8_t latch) override;
  void PortLatchWritten(int port, uint8_t latch) override;
  void SfrWritten(uint8_t address, uint8_t value) override;

  void HoldInReset();
  void StartProcessor(uint16_t address, TLineClock::time_point now);
  void LoaderReceive(uint8_t byte, const TUartFrame& pcFrame, TLineClock::time_point at);
  void SendToPc(uint8_t byte);
  TUartFrame DiagnosticFrame() const;
  uint64_t NowNs() const { return cpu_->Cycles() * kNanosPerMachineCycle; }
  uint64_t CycleAt(TLineClock::time_point at) const;
  uint32_t ChipAddress(uint16_t address) const;
  void UpdateEepromLines();

  TEcuModel model_;
  TFlashChip flash_;
  TI2cEeprom eeprom_;
  std::array<uint8_t, kXramSize> xram_{};
  TC509BootLoader loader_;
  std::unique_ptr<TCpu8051> cpu_;
  std::unique_ptr<TDiagnosticSoftware> diagnostics_;  // the ECU's own software; may be absent

  TRunState state_ = TRunState::BootLoader;
  TUartFrame uartFrame_{57600, 8, kNoParity};  // the rate the loader measured at the last sync
  const TUartFrame* outputFrame_ = nullptr;    // the PC's frame while AdvanceTo runs
  std::vector<uint8_t> toPc_;

  TLineClock::time_point anchorTime_{};
  uint64_t anchorCycle_ = 0;
  std::deque<TPendingByte> received_;
  uint64_t receiverFreeCycle_ = 0;

  uint8_t latches_[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  uint8_t outputService_ = 0;
  uint64_t lostBytes_ = 0;
};

}  // namespace quillorn::sim
