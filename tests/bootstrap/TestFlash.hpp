#pragma once
// A small JEDEC flash chip for the bootstrap tests: unlock cycles, autoselect, byte program,
// chip erase, reset, data polling (DQ7), toggling (DQ6) and the time-limit flag (DQ5). Time
// is the processor's machine-cycle count. Kept apart from the bench's chip on purpose: the
// programs are checked against the hardware facts, not against the other model's reading of
// them.

#include <cstdint>
#include <vector>

namespace quillorn::bootstraptests {

struct TTestFlashConfig {
  std::uint8_t deviceCode = 0x20;
  // Byte-mode chip: command cycles decode A0-A11 (0xAA at 0xAAA, 0x55 at 0x555), device
  // code at address 2. Otherwise A0-A14 (0x5555 / 0x2AAA), device code at address 1.
  bool byteMode = false;
  std::uint64_t programCycles = 27;    // about 10 us
  std::uint64_t eraseCycles = 2'667;   // about 1 ms, short to keep the tests quick
  bool eraseFails = false;             // the erase ends with DQ5 instead of erased cells
  // The board drives A16 from the page line P1.4 (the Январь boards). Without it the chip's
  // first 64 KiB are all there is (the Микас boards).
  bool pageLineWired = true;
};

class TTestFlash {
 public:
  static constexpr std::uint32_t Size = 0x20000;

  explicit TTestFlash(TTestFlashConfig config);

  std::uint8_t Read(std::uint32_t address, std::uint64_t now);
  void Write(std::uint32_t address, std::uint8_t value, std::uint64_t now);

  std::vector<std::uint8_t>& Cells() { return cells_; }
  int ErasesStarted() const { return erasesStarted_; }
  int BytesProgrammed() const { return bytesProgrammed_; }
  int AutoselectsEntered() const { return autoselects_; }
  bool InReadMode() const { return mode_ == TMode::Read; }
  bool PageLineWired() const { return config_.pageLineWired; }

 private:
  enum class TMode { Read, Autoselect, ProgramNext, Busy, Failed };

  std::uint32_t CommandAddress() const;
  std::uint32_t SecondUnlockAddress() const;
  std::uint32_t Decoded(std::uint32_t address) const;
  void Settle(std::uint64_t now);
  void Command(std::uint8_t command);
  void Program(std::uint32_t address, std::uint8_t value, std::uint64_t now);

  TTestFlashConfig config_;
  std::vector<std::uint8_t> cells_;
  TMode mode_ = TMode::Read;
  int unlockStep_ = 0;
  bool eraseSetup_ = false;
  bool busyWithErase_ = false;
  bool failAtEnd_ = false;
  std::uint64_t doneAt_ = 0;
  std::uint32_t busyAddress_ = 0;
  std::uint8_t busyValue_ = 0;
  bool toggle_ = false;
  int erasesStarted_ = 0;
  int bytesProgrammed_ = 0;
  int autoselects_ = 0;
};

}  // namespace quillorn::bootstraptests
