#pragma once
// What the link poll and the jobs share about the link beyond the drivers' own state: how far
// the ECU has been reached and which programmer model answered.
#include <cstdint>

namespace quillorn {

// LinkState values.
inline constexpr int8_t kLinkStartOver = 0;
inline constexpr int8_t kLinkDtrRaised = 1;
inline constexpr int8_t kLinkModelKnown = 2;
inline constexpr int8_t kLinkLoaderAnswers = 3;
inline constexpr int8_t kLinkUnused = 4;
inline constexpr int8_t kLinkBootstrapRunning = 5;
inline constexpr int8_t kLinkBanksEcuAnswers = 6;

struct TLinkSession {
  int8_t LinkState = kLinkStartOver;
  uint8_t Model4Detected = 0;  // 1: the last poll found a "ЖВ-4"
};

}  // namespace quillorn
