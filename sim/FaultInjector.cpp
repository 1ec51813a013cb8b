#include "sim/FaultInjector.hpp"

namespace quillorn::sim {

bool TFaultInjector::Happens(double probability) {
  if (probability <= 0) return false;
  // Our own scaling: the standard distributions differ between library implementations.
  const double draw = static_cast<double>(random_()) / 4294967296.0;
  return draw < probability;
}

std::optional<uint8_t> TFaultInjector::Pass(uint8_t byte) {
  if (Happens(drop_)) {
    ++dropped_;
    return std::nullopt;
  }
  if (Happens(noise_)) {
    ++flipped_;
    byte ^= static_cast<uint8_t>(1u << (random_() % 8));
  }
  return byte;
}

}  // namespace quillorn::sim
