#pragma once
// How the bench saw each break from the PC: the idle line before it (since the PC's last
// byte), its low time, and the high time until the PC's next byte. These are the figures a
// fast initialisation is judged by; quillorn-sim prints one line per break on standard error.
#include <cstdio>
#include <optional>

#include "sim/link/InProcLine.hpp"

namespace quillorn::sim {

class TBreakTimingLog {
 public:
  explicit TBreakTimingLog(std::FILE* out) : out_(out) {}
  void Note(const TLineEvent& event);

 private:
  void Print(std::optional<TLineClock::time_point> nextByte);

  std::FILE* out_;
  std::optional<TLineClock::time_point> lastByte_, breakOn_, breakOff_;
};

}  // namespace quillorn::sim
