#pragma once
// A test board for the bootstrap images: the 8051 core running a built image from its XRAM
// at 0xF400, the boot ROM's two vectors, a flash chip on the external bus with the page line
// P1.4 as A16, an EEPROM on one of the three I2C wirings, the periodic output register, and
// a serial line driven with the timing of 57600 bit/s.

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "sim/cpu/Cpu8051.hpp"
#include "tests/bootstrap/TestEeprom.hpp"
#include "tests/bootstrap/TestFlash.hpp"

namespace quillorn::bootstraptests {

// Machine cycles of 375 ns.
inline constexpr std::uint64_t TickCycles = 4'607;
// One character of 11 bits at 57600 bit/s.
inline constexpr std::uint32_t CharCycles = 509;

enum class TWiring { First, Second, Third };

std::vector<std::uint8_t> Request(std::vector<std::uint8_t> body);  // "F", L + 0x55, body, checksum

class TBootstrapRig : private sim::ICpuBus {
 public:
  TBootstrapRig(std::span<const std::uint8_t> image, TTestFlashConfig flash = {},
                TWiring eepromWiring = TWiring::First);

  // Queues bytes on the line, back to back, the first one `gapBefore` cycles from now.
  void Send(std::span<const std::uint8_t> bytes, std::uint64_t gapBefore = 0);
  void Run(std::uint64_t cycles);
  // Runs until a complete reply frame has arrived after the queued bytes were delivered,
  // or `limit` cycles have passed. Returns the reply frame, empty if none came.
  std::vector<std::uint8_t> AwaitReply(std::uint64_t limit = 40 * TickCycles);
  std::vector<std::uint8_t> Exchange(const std::vector<std::uint8_t>& request,
                                     std::uint64_t limit = 40 * TickCycles);

  sim::TCpu8051& Cpu() { return *cpu_; }
  TTestFlash& Flash() { return flash_; }
  TTestEeprom& Eeprom() { return eeprom_; }
  const std::vector<std::uint8_t>& Received() const { return received_; }
  void ClearReceived() { received_.clear(); }
  int BytesLost() const { return bytesLost_; }
  bool PageLine() const { return (cpu_->Sfr(sim::sfr::P1) & 0x10) != 0; }
  struct TOutputStep {
    std::uint64_t cycle;
    std::uint8_t value;
  };
  const std::vector<TOutputStep>& OutputSteps() const { return outputSteps_; }
  // Cycle at which the last request byte reached the processor and the first reply byte
  // left it.
  std::uint64_t LastDeliveryCycle() const { return lastDelivery_; }
  std::uint64_t FirstReplyCycle() const { return firstReplyByte_; }

 private:
  std::uint8_t CodeRead(std::uint16_t address) override;
  std::uint8_t XdataRead(std::uint16_t address) override;
  void XdataWrite(std::uint16_t address, std::uint8_t value) override;
  std::uint8_t PortPins(int port, std::uint8_t latch) override;
  void PortLatchWritten(int port, std::uint8_t latch) override;
  void SfrWritten(std::uint8_t address, std::uint8_t value) override;

  std::uint32_t FlashAddress(std::uint16_t address) const;
  void Deliver();

  struct TPendingByte {
    std::uint64_t at;
    std::uint8_t value;
  };

  std::vector<std::uint8_t> xram_;
  TTestFlash flash_;
  TTestEeprom eeprom_;
  int eepromPort_;
  std::uint8_t sclMask_;
  std::uint8_t sdaMask_;
  std::unique_ptr<sim::TCpu8051> cpu_;
  std::vector<TPendingByte> pending_;
  std::size_t nextPending_ = 0;
  std::vector<std::uint8_t> received_;
  int bytesLost_ = 0;
  std::vector<TOutputStep> outputSteps_;
  std::uint64_t lastDelivery_ = 0;
  std::uint64_t firstReplyByte_ = 0;
};

}  // namespace quillorn::bootstraptests
