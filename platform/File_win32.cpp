#include <windows.h>

#include <cstdio>
#include <string>
#include <sys/stat.h>

#include "platform/File.hpp"

namespace quillorn {

namespace {

std::wstring ToWide(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                       static_cast<int>(utf8.size()), nullptr, 0);
  if (size <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                      wide.data(), size);
  return wide;
}

std::wstring ToWideMode(const char* mode) {
  std::wstring wide;
  for (const char* c = mode; *c != '\0'; ++c) wide.push_back(static_cast<wchar_t>(*c));
  return wide;
}

bool IsDirectory(std::FILE* file) {
  struct _stat64 info {};
  return _fstat64(_fileno(file), &info) == 0 && (info.st_mode & _S_IFDIR) != 0;
}

}  // namespace

std::FILE* OpenFileUtf8(const std::string& pathUtf8, const char* mode) {
  const std::wstring widePath = ToWide(pathUtf8);
  if (widePath.empty()) return nullptr;
  std::FILE* file = _wfopen(widePath.c_str(), ToWideMode(mode).c_str());
  if (file != nullptr && IsDirectory(file)) {
    std::fclose(file);
    return nullptr;
  }
  return file;
}

bool GetFileLength(const std::string& pathUtf8, uint64_t& length) {
  TFile file(pathUtf8, "rb");
  if (!file.IsOpen()) return false;
  struct _stat64 info {};
  if (_fstat64(_fileno(file.Get()), &info) != 0) return false;
  length = static_cast<uint64_t>(info.st_size);
  return true;
}

bool SeekFileTo(std::FILE* file, uint64_t offset) {
  return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
}

uint64_t TellFile(std::FILE* file) {
  const __int64 position = _ftelli64(file);
  return position < 0 ? 0 : static_cast<uint64_t>(position);
}

bool ReplaceFileAtomically(const std::string& sourceUtf8, const std::string& targetUtf8) {
  const std::wstring source = ToWide(sourceUtf8);
  const std::wstring target = ToWide(targetUtf8);
  if (source.empty() || target.empty()) return false;
  return MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool RemoveFileUtf8(const std::string& pathUtf8) {
  const std::wstring widePath = ToWide(pathUtf8);
  return !widePath.empty() && DeleteFileW(widePath.c_str()) != 0;
}

}  // namespace quillorn
