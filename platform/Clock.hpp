#pragma once
#include <cstdint>

namespace quillorn {

// Milliseconds since an arbitrary start, wrapping at 2^32 like the Windows tick count.
// Differences of two readings are exact while they stay below 49 days.
uint32_t GetTickCount();

// Microseconds of a steady clock since an arbitrary start: for measuring short spans (an
// adapter's echo delay), where the millisecond tick is too coarse.
uint64_t MonotonicMicros();

// Blocks the calling thread for at least ms milliseconds.
void SleepMs(uint32_t ms);

}  // namespace quillorn
