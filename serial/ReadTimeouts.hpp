#pragma once
// How the Windows read timeouts (COMMTIMEOUTS) end one read of count bytes, for the backends
// that emulate them:
// - interval MAXDWORD with both totals 0: at once, with whatever has arrived;
// - interval and multiplier MAXDWORD with a constant between 0 and MAXDWORD: as soon as
//   anything has arrived, waiting up to the constant for it;
// - otherwise a total (multiplier * count + constant, when either is set) and an interval (the
//   longest gap between two bytes, from the first byte on) end the read, whichever comes first;
//   with neither the read waits for all count bytes.
#include <chrono>
#include <cstdint>
#include <optional>

#include "serial/SerialDevice.hpp"

namespace quillorn {

struct TReadTimeoutPlan {
  using TClock = std::chrono::steady_clock;

  bool immediate = false;    // return with whatever is there
  bool anyByteEnds = false;  // the first byte(s) end the read
  std::optional<TClock::time_point> totalDeadline;
  std::optional<std::chrono::milliseconds> interval;

  TReadTimeoutPlan(const TCommTimeouts& t, uint32_t count, TClock::time_point start) {
    constexpr uint32_t kMaxDword = 0xFFFFFFFFu;
    using std::chrono::milliseconds;
    immediate = t.ReadIntervalTimeout == kMaxDword && t.ReadTotalTimeoutMultiplier == 0 &&
                t.ReadTotalTimeoutConstant == 0;
    anyByteEnds = t.ReadIntervalTimeout == kMaxDword && t.ReadTotalTimeoutMultiplier == kMaxDword &&
                  t.ReadTotalTimeoutConstant != 0 && t.ReadTotalTimeoutConstant != kMaxDword;
    if (anyByteEnds) {
      totalDeadline = start + milliseconds(t.ReadTotalTimeoutConstant);
    } else if (t.ReadTotalTimeoutMultiplier != 0 || t.ReadTotalTimeoutConstant != 0) {
      totalDeadline = start + milliseconds(uint64_t{t.ReadTotalTimeoutMultiplier} * count + t.ReadTotalTimeoutConstant);
    }
    if (!immediate && !anyByteEnds && t.ReadIntervalTimeout != 0 && t.ReadIntervalTimeout != kMaxDword)
      interval = milliseconds(t.ReadIntervalTimeout);
  }

  // The deadline in force for the next byte: the total, or the interval once a byte came.
  std::optional<TClock::time_point> DeadlineAfter(uint32_t received, TClock::time_point lastByte) const {
    std::optional<TClock::time_point> deadline = totalDeadline;
    if (interval && received > 0 && (!deadline || lastByte + *interval < *deadline)) deadline = lastByte + *interval;
    return deadline;
  }
};

}  // namespace quillorn
