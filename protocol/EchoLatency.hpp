#pragma once
// How long the line takes to bring back the echo of what the PC sent, beyond the bytes' own
// wire time: on a USB adapter, the time it holds received bytes before passing them on. Every
// request waits for it once, so it decides how fast a transfer can go. The link primitives
// note one sample per echoed write; opening the port starts afresh.
#include <array>
#include <cstddef>
#include <cstdint>

namespace quillorn {

class TEchoLatency {
 public:
  void Add(uint32_t micros);
  void Clear() { count_ = 0; }
  size_t Count() const { return count_ < kKept ? count_ : kKept; }
  // The upper median of the samples kept, in microseconds; 0 without samples. A median, so a
  // single wait stretched by a busy machine does not make a fast line look slow.
  uint32_t EstimateMicros() const;

 private:
  static constexpr size_t kKept = 7;
  std::array<uint32_t, kKept> samples_{};
  size_t count_ = 0;  // samples added since Clear; the newest kKept are kept
};

}  // namespace quillorn
