#pragma once
// Line faults between the programmer box and the ECU, from a seeded generator so a failing
// run can be repeated: a byte may lose one bit (noise) or vanish (drop).
#include <cstdint>
#include <optional>
#include <random>

namespace quillorn::sim {

class TFaultInjector {
 public:
  TFaultInjector(double noise, double drop, uint32_t seed) : noise_(noise), drop_(drop), random_(seed) {}

  // The byte as it arrives at the other end, or nothing when it is lost.
  std::optional<uint8_t> Pass(uint8_t byte);
  uint64_t Flipped() const { return flipped_; }
  uint64_t Dropped() const { return dropped_; }

 private:
  bool Happens(double probability);

  double noise_;
  double drop_;
  std::mt19937 random_;  // the same sequence on every platform for a given seed
  uint64_t flipped_ = 0;
  uint64_t dropped_ = 0;
};

}  // namespace quillorn::sim
