#include "protocol/EchoLatency.hpp"

#include <algorithm>

namespace quillorn {

void TEchoLatency::Add(uint32_t micros) {
  samples_[count_ % kKept] = micros;
  ++count_;
}

uint32_t TEchoLatency::EstimateMicros() const {
  const size_t n = Count();
  if (n == 0) return 0;
  std::array<uint32_t, kKept> sorted = samples_;
  std::sort(sorted.begin(), sorted.begin() + static_cast<long>(n));
  return sorted[n / 2];
}

}  // namespace quillorn
