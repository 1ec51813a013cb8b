#include <climits>
#include <cstdio>
#include <cstdlib>
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

TFileKind FileKindOf(const std::string& pathUtf8) {
  struct stat info {};
  if (stat(pathUtf8.c_str(), &info) != 0) return TFileKind::Missing;
  if (S_ISREG(info.st_mode)) return TFileKind::Regular;
  if (S_ISDIR(info.st_mode)) return TFileKind::Directory;
  return TFileKind::Other;
}

namespace {

bool RealPath(const std::string& path, std::string& resolved) {
  char buffer[PATH_MAX];
  if (realpath(path.c_str(), buffer) == nullptr) return false;
  resolved = buffer;
  return true;
}

// Where a symbolic link points, a relative link taken from the link's folder; empty for a
// path that is not a link.
std::string LinkTarget(const std::string& path) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return "";
  char buffer[PATH_MAX];
  const ssize_t length = readlink(path.c_str(), buffer, sizeof buffer - 1);
  if (length <= 0) return "";
  const std::string target(buffer, static_cast<size_t>(length));
  const size_t slash = path.find_last_of('/');
  if (target[0] == '/' || slash == std::string::npos) return target;
  return path.substr(0, slash + 1) + target;
}

// The folder resolved and the name kept, for a file that does not exist (yet).
std::string ResolvedFolderOf(const std::string& path) {
  std::string resolved;
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty() || !RealPath(folder, resolved)) return path;
  return resolved == "/" ? "/" + name : resolved + "/" + name;
}

}  // namespace

std::string ResolvedPath(const std::string& pathUtf8) {
  std::string resolved;
  if (RealPath(pathUtf8, resolved)) return resolved;
  // A link whose file does not exist yet: the file it names is the one to create.
  std::string path = pathUtf8;
  for (int hops = 0; hops < 8; ++hops) {
    const std::string target = LinkTarget(path);
    if (target.empty()) break;
    path = target;
  }
  return ResolvedFolderOf(path);
}

bool IsSameFile(const std::string& firstUtf8, const std::string& secondUtf8) {
  struct stat first {}, second {};
  if (stat(firstUtf8.c_str(), &first) == 0 && stat(secondUtf8.c_str(), &second) == 0)
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
  return ResolvedPath(firstUtf8) == ResolvedPath(secondUtf8);
}

}  // namespace quillorn
