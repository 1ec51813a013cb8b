#pragma once
// A parallel NOR flash chip with the JEDEC command set, as it sits on the ECU's external bus.
// Time is the board's own clock in nanoseconds, passed with every access, so the chip's busy
// periods follow the processor's cycles however fast the host runs them.
//
// Two kinds: device 0x20 decodes A0-A14 for its command cycles (unlock 0xAA at 0x5555, 0x55
// at 0x2AAA); the byte-mode chip 0x51 decodes A0-A11, so only the alternate cycles (0xAA at
// 0xAAAA, 0x55 at 0x5555) unlock it, and its device code sits at address 2.
#include <cstdint>
#include <optional>
#include <vector>

#include "sim/BenchOptions.hpp"

namespace quillorn::sim {

struct TFlashTiming {
  uint64_t programNs = 10'000;          // one byte
  uint64_t eraseNs = 1'000'000'000;     // the whole chip
  uint64_t programLimitNs = 100'000;    // a byte that cannot be programmed raises DQ5 after this
};

struct TFlashFaults {
  bool eraseFail = false;                        // erase never completes: DQ5 after the erase time
  std::optional<uint32_t> programFailAddress;    // programming this chip address never completes
};

class TFlashChip {
 public:
  TFlashChip(TFlashChipKind kind, uint32_t size, TFlashTiming timing, TFlashFaults faults);

  // Bus cycles. address is the chip address (the page line already applied).
  uint8_t Read(uint32_t address, uint64_t nowNs);
  void Write(uint32_t address, uint8_t value, uint64_t nowNs);

  // The reset pin: back to reading the array; an operation in progress ends at once with the
  // result it was heading for.
  void HardwareReset(uint64_t nowNs);

  bool Busy(uint64_t nowNs);
  std::vector<uint8_t>& Array() { return array_; }
  const std::vector<uint8_t>& Array() const { return array_; }

 private:
  enum class TMode { Read, Autoselect, Busy, Failed };
  enum class TOperation { None, Program, Erase };

  uint32_t CommandAddress(uint32_t address) const;
  bool IsFirstUnlock(uint32_t address) const;
  bool IsSecondUnlock(uint32_t address) const;
  void Settle(uint64_t nowNs);
  void FinishOperation();
  void StartProgram(uint32_t address, uint8_t value, uint64_t nowNs);
  void StartErase(uint64_t nowNs);
  uint8_t StatusByte();
  uint8_t AutoselectByte(uint32_t address) const;

  TFlashChipKind kind_;
  TFlashTiming timing_;
  TFlashFaults faults_;
  std::vector<uint8_t> array_;

  TMode mode_ = TMode::Read;
  int unlockStep_ = 0;         // command cycles seen of the current sequence
  bool eraseArmed_ = false;    // 0x80 seen: the next unlocked command may be the chip erase 0x10
  bool programArmed_ = false;  // 0xA0 seen: the next write is the byte to program

  TOperation operation_ = TOperation::None;
  bool operationFails_ = false;
  uint64_t doneAtNs_ = 0;
  uint32_t programAddress_ = 0;
  uint8_t programValue_ = 0;
  bool toggle_ = false;
};

}  // namespace quillorn::sim
