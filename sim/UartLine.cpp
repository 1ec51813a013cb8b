#include "sim/UartLine.hpp"

namespace quillorn::sim {

namespace {

// Level of the sender's line in bit slot `slot` (0 = start bit); idle and stop bits are high.
bool SenderLevel(uint8_t value, const TUartFrame& sender, uint32_t slot) {
  if (slot == 0) return false;
  if (slot <= sender.dataBits) return ((value >> (slot - 1)) & 1) != 0;
  if (slot == sender.dataBits + 1u && sender.parity != kNoParity) {
    uint32_t ones = 0;
    for (uint32_t bit = 0; bit < sender.dataBits; ++bit) ones += (value >> bit) & 1;
    switch (sender.parity) {
      case kOddParity: return (ones & 1) == 0;
      case kEvenParity: return (ones & 1) != 0;
      case kMarkParity: return true;
      default: return false;
    }
  }
  return true;
}

}  // namespace

uint8_t ResampleCharacter(uint8_t value, const TUartFrame& sender, const TUartFrame& receiver) {
  const uint64_t senderBaud = sender.baud == 0 ? 1 : sender.baud;
  const uint64_t receiverBaud = receiver.baud == 0 ? 1 : receiver.baud;
  uint8_t result = 0;
  for (uint32_t bit = 0; bit < receiver.dataBits && bit < 8; ++bit) {
    // Sample in the middle of the receiver's bit: (bit + 1.5) receiver bit times after the edge,
    // expressed in sender bit slots without floating point.
    const uint64_t slot = ((2 * bit + 3) * senderBaud) / (2 * receiverBaud);
    if (SenderLevel(value, sender, static_cast<uint32_t>(slot))) result |= static_cast<uint8_t>(1u << bit);
  }
  return result;
}

uint32_t LowRunSlots(uint8_t value, const TUartFrame& sender) {
  uint32_t slot = 0;
  while (slot < 16 && !SenderLevel(value, sender, slot)) ++slot;
  return slot;
}

bool FramesAgree(const TUartFrame& sender, const TUartFrame& receiver) {
  if (sender.dataBits != receiver.dataBits || sender.baud == 0 || receiver.baud == 0) return false;
  // The last data bit is sampled furthest from the edge: if it lands in its own slot, all do.
  const uint64_t slot = ((2 * (receiver.dataBits - 1) + 3) * uint64_t{sender.baud}) / (2 * uint64_t{receiver.baud});
  return slot == receiver.dataBits;
}

uint32_t CharacterCycles(uint32_t baud, uint32_t bits) {
  const uint64_t rate = baud == 0 ? 1 : baud;
  const uint64_t cycles = (uint64_t{bits} * kMachineCyclesPerSecond + rate / 2) / rate;
  return static_cast<uint32_t>(cycles == 0 ? 1 : cycles);
}

}  // namespace quillorn::sim
