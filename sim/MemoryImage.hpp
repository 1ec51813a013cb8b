#pragma once
// Flash and EEPROM contents kept in files between two runs of a bench. A missing file means
// erased memory (0xFF); saving writes a temporary file beside the target and renames it over
// the target, so an interrupted save never leaves a half-written image.
#include <cstdint>
#include <string>
#include <vector>

namespace quillorn::sim {

// Fills memory from path when the file exists; memory keeps its size. False with *error set
// when the file exists but cannot be read or its size differs from the memory's.
bool LoadMemoryImage(const std::string& path, std::vector<uint8_t>& memory, std::string* error);

bool SaveMemoryImage(const std::string& path, const std::vector<uint8_t>& memory, std::string* error);

}  // namespace quillorn::sim
