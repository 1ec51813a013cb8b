#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/File.hpp"

namespace quillorn {

namespace {

bool IsDirectory(std::FILE* file) {
  struct stat info {};
  return fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

std::FILE* OpenFileUtf8(const std::string& pathUtf8, const char* mode) {
  std::FILE* file = std::fopen(pathUtf8.c_str(), mode);
  if (file != nullptr && IsDirectory(file)) {
    std::fclose(file);
    return nullptr;
  }
  return file;
}

bool GetFileLength(const std::string& pathUtf8, uint64_t& length) {
  TFile file(pathUtf8, "rb");
  if (!file.IsOpen()) return false;
  struct stat info {};
  if (fstat(fileno(file.Get()), &info) != 0) return false;
  length = static_cast<uint64_t>(info.st_size);
  return true;
}

bool SeekFileTo(std::FILE* file, uint64_t offset) {
  return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

uint64_t TellFile(std::FILE* file) {
  const off_t position = ftello(file);
  return position < 0 ? 0 : static_cast<uint64_t>(position);
}

bool ReplaceFileAtomically(const std::string& sourceUtf8, const std::string& targetUtf8) {
  return std::rename(sourceUtf8.c_str(), targetUtf8.c_str()) == 0;
}

bool RemoveFileUtf8(const std::string& pathUtf8) { return std::remove(pathUtf8.c_str()) == 0; }

}  // namespace quillorn
