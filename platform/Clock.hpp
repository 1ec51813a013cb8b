#pragma once
#include <cstdint>

namespace quillorn {

// Milliseconds since an arbitrary start, wrapping at 2^32 like the Windows tick count.
// Differences of two readings are exact while they stay below 49 days.
uint32_t GetTickCount();

// Blocks the calling thread for at least ms milliseconds.
void SleepMs(uint32_t ms);

}  // namespace quillorn
