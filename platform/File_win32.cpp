#include <windows.h>

#include <cstdio>
#include <cwctype>
#include <string>
#include <sys/stat.h>

#include "platform/File.hpp"
#include "platform/WideText_win32.hpp"

namespace quillorn {

namespace {

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
  const std::wstring widePath = WidenExact(pathUtf8);
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
  const std::wstring source = WidenExact(sourceUtf8);
  const std::wstring target = WidenExact(targetUtf8);
  if (source.empty() || target.empty()) return false;
  return MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool RemoveFileUtf8(const std::string& pathUtf8) {
  const std::wstring widePath = WidenExact(pathUtf8);
  return !widePath.empty() && DeleteFileW(widePath.c_str()) != 0;
}

}  // namespace quillorn

namespace quillorn {

namespace {

bool FileIdentity(const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
  const HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool known = GetFileInformationByHandle(file, &info) != 0;
  CloseHandle(file);
  return known;
}

std::wstring FullPath(const std::wstring& path) {
  const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return path;
  std::wstring full(size, L'\0');
  const DWORD written = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
  if (written == 0 || written >= size) return path;
  full.resize(written);
  return full;
}

}  // namespace

TFileKind FileKindOf(const std::string& pathUtf8) {
  const std::wstring path = WidenExact(pathUtf8);
  if (path.empty()) return TFileKind::Missing;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return TFileKind::Missing;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return TFileKind::Directory;
  if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return TFileKind::Other;
  return TFileKind::Regular;
}

std::string ResolvedPath(const std::string& pathUtf8) {
  const std::wstring path = WidenExact(pathUtf8);
  if (path.empty()) return pathUtf8;
  return Narrow(FullPath(path));
}

bool IsSameFile(const std::string& firstUtf8, const std::string& secondUtf8) {
  const std::wstring first = WidenExact(firstUtf8), second = WidenExact(secondUtf8);
  if (first.empty() || second.empty()) return false;
  BY_HANDLE_FILE_INFORMATION a{}, b{};
  if (FileIdentity(first, a) && FileIdentity(second, b))
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
  std::wstring x = FullPath(first), y = FullPath(second);
  for (auto& c : x) c = static_cast<wchar_t>(std::towupper(c));
  for (auto& c : y) c = static_cast<wchar_t>(std::towupper(c));
  return x == y;
}

}  // namespace quillorn
