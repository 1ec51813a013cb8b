#include "sim/MemoryImage.hpp"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace quillorn::sim {

namespace {

bool Fail(std::string* error, const std::string& text) {
  if (error) *error = text;
  return false;
}

}  // namespace

bool LoadMemoryImage(const std::string& path, std::vector<uint8_t>& memory, std::string* error) {
  std::error_code code;
  if (path.empty() || !std::filesystem::exists(path, code)) return true;
  const auto size = std::filesystem::file_size(path, code);
  if (code) return Fail(error, "cannot read " + path + ": " + code.message());
  if (size != memory.size()) {
    return Fail(error, path + " holds " + std::to_string(size) + " bytes; this memory has " +
                           std::to_string(memory.size()));
  }
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return Fail(error, "cannot open " + path);
  const size_t read = std::fread(memory.data(), 1, memory.size(), file);
  std::fclose(file);
  if (read != memory.size()) return Fail(error, "cannot read " + path);
  return true;
}

bool SaveMemoryImage(const std::string& path, const std::vector<uint8_t>& memory, std::string* error) {
  if (path.empty()) return true;
  const std::string temporary = path + ".saving";
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (!file) return Fail(error, "cannot create " + temporary);
  const size_t written = std::fwrite(memory.data(), 1, memory.size(), file);
  const bool flushed = std::fflush(file) == 0;
  const bool closed = std::fclose(file) == 0;
  std::error_code code;
  if (written != memory.size() || !flushed || !closed) {
    std::filesystem::remove(temporary, code);
    return Fail(error, "cannot write " + temporary);
  }
  std::filesystem::rename(temporary, path, code);  // replaces the target, also on Windows
  if (code) {
    std::filesystem::remove(temporary, code);
    return Fail(error, "cannot replace " + path + ": " + code.message());
  }
  return true;
}

}  // namespace quillorn::sim
