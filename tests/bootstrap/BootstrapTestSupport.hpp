#pragma once
// Shared helpers of the bootstrap tests: the two built images and frame notation.

#include <cstdint>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "resources/BootstrapImages.hpp"
#include "tests/bootstrap/BootstrapRig.hpp"

namespace quillorn::bootstraptests {

inline std::span<const std::uint8_t> January() {
  return {JanuaryBootstrap, sizeof JanuaryBootstrap};
}

inline std::span<const std::uint8_t> Mikas() { return {MikasBootstrap, sizeof MikasBootstrap}; }

// "50 59 90" -> bytes.
inline std::vector<std::uint8_t> Bytes(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::uint8_t> out;
  unsigned value = 0;
  while (in >> std::hex >> value) {
    out.push_back(static_cast<std::uint8_t>(value));
  }
  return out;
}

// A reply frame: "P", L + 0x55, body, checksum.
inline std::vector<std::uint8_t> Reply(std::vector<std::uint8_t> body) {
  std::vector<std::uint8_t> frame = Request(std::move(body));
  const std::uint8_t oldSum = static_cast<std::uint8_t>(frame.back());
  frame.front() = 0x50;
  frame.back() = static_cast<std::uint8_t>(oldSum - (0x50 - 0x46));
  return frame;
}

}  // namespace quillorn::bootstraptests
