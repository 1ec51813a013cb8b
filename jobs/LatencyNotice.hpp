#pragma once
// What the user is told about a slow adapter: the echo delay measured while connecting, what
// it costs and how to lower it. Said once per port, by the poll; the front ends show it.
#include <cstdint>
#include <string>

#include "serial/AdapterLatency.hpp"

namespace quillorn {

// Delays up to this cost little (a 64 KiB read grows by a few seconds): nothing is said.
inline constexpr uint32_t kLatencyNoticeAboveMs = 4;

struct TLatencyFacts {
  std::string portName;     // as the user knows the port: "COM3", or a device path
  uint32_t echoMicros = 0;  // measured beyond the bytes' own wire time
  TAdapterLatency adapter;
};

// One line of Russian text, or empty when the delay is not worth a word.
std::string LatencyNotice(const TLatencyFacts& facts);

}  // namespace quillorn
