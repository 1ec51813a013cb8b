#pragma once
// Port discovery: which "COM" n can be opened right now.
#include <cstdint>
#include <vector>

namespace quillorn {

// Every n from 1 to 254 (never 255) whose device opens, in ascending order. A port that is
// missing or held by another program is left out.
std::vector<uint8_t> ScanPorts();

}  // namespace quillorn
