#pragma once
// The C509's built-in boot loader as the PC meets it: the sync byte, the 8-byte header, data
// blocks into the on-chip XRAM and the start header. Each call takes one byte as the loader's
// receiver assembled it and may give one answer byte. The autobaud measurement itself (which
// rate the loader takes from the sync byte) is the board's: see MeasuredLoaderRate.
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "sim/UartLine.hpp"

namespace quillorn::sim {

inline constexpr uint16_t kXramBase = 0xF400;
inline constexpr uint32_t kXramSize = 0x10000 - kXramBase;  // 3 KiB

// The rate the loader sets after measuring the sync byte: it takes the low time from the start
// bit to the first high bit as nine bit times, which is right only for 0x00.
uint32_t MeasuredLoaderRate(uint8_t syncByte, const TUartFrame& sender);

class TC509BootLoader {
 public:
  enum class TState { WaitSync, WaitHeader, LoadData };

  struct TAnswer {
    std::optional<uint8_t> byte;
    std::optional<uint16_t> startAddress;  // set with the answer to a start header: run from here
  };

  explicit TC509BootLoader(std::array<uint8_t, kXramSize>& xram) : xram_(xram) {}

  void Reset();
  TAnswer Receive(uint8_t byte);
  TState State() const { return state_; }

 private:
  TAnswer EvaluateHeader();
  TAnswer EvaluateDataBlock();
  bool Store(const uint8_t* data, uint32_t count);

  std::array<uint8_t, kXramSize>& xram_;
  TState state_ = TState::WaitSync;
  std::vector<uint8_t> block_;
  uint8_t blockLength_ = 0;
  uint32_t loadAddress_ = kXramBase;
};

}  // namespace quillorn::sim
