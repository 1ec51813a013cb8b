#pragma once
// What a character looks like to a receiver whose frame (rate, data bits) differs from the
// sender's. The receiver starts at the falling edge of the start bit and samples every later
// bit in its middle by its own clock, so a rate off by more than a few percent or a different
// number of data bits yields another value, as on a real wire.
#include <cstdint>

#include "serial/SerialDevice.hpp"

namespace quillorn::sim {

struct TUartFrame {
  uint32_t baud = 9600;
  uint8_t dataBits = 8;
  uint8_t parity = kNoParity;
};

// The value the receiver assembles from the sender's character (its data bits only).
uint8_t ResampleCharacter(uint8_t value, const TUartFrame& sender, const TUartFrame& receiver);

// Bit slots the line stays low from the start bit on: what an autobaud receiver measures.
uint32_t LowRunSlots(uint8_t value, const TUartFrame& sender);

// True when the receiver reads every character exactly as sent.
bool FramesAgree(const TUartFrame& sender, const TUartFrame& receiver);

// The ECU processor: 16 MHz, six oscillator periods per machine cycle.
inline constexpr uint64_t kMachineCyclesPerSecond = 16'000'000 / 6;
inline constexpr uint64_t kNanosPerMachineCycle = 375;

// Machine cycles one character of `bits` bits takes at baud.
uint32_t CharacterCycles(uint32_t baud, uint32_t bits);

}  // namespace quillorn::sim
