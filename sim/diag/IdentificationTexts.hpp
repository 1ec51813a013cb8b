#pragma once
// The identification texts of each virtual ECU model. KWP 2000 texts are Windows-1251 bytes, as
// the ECU sends them; Микас 7.1 / 7.2 texts are in the DOS code page 866.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/BenchOptions.hpp"

namespace quillorn::sim {

// ReadEcuIdentification option -> text.
using TKwpTexts = std::map<uint8_t, std::string>;
// Request payload (one or two bytes, MikasRequestKey) -> text.
using TMikasTexts = std::map<uint16_t, std::string>;
constexpr uint16_t MikasRequestKey(uint8_t first) { return first; }
constexpr uint16_t MikasRequestKey(uint8_t first, uint8_t second) {
  return static_cast<uint16_t>(first << 8 | second);
}

TKwpTexts KwpIdentificationTexts(TEcuModel model);
TMikasTexts MikasIdentificationTexts();

// UTF-8 text in code page 866, by the inverse of the program's own 866 -> 1251 table;
// characters without a place in 866 become '?'.
std::string Utf8ToOem(const std::string& utf8);

}  // namespace quillorn::sim
