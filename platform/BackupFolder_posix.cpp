#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

#include "platform/BackupFolder.hpp"

namespace quillorn {

std::string DefaultBackupFolder() {
  // A relative XDG path is to be ignored, as for the settings file.
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/')
    return std::string(xdg) + "/quillorn/backups";
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0')
    return std::string(home) + "/.local/share/quillorn/backups";
  return "";
}

bool CreateFolderTree(const std::string& pathUtf8) {
  if (pathUtf8.empty()) return false;
  for (size_t slash = pathUtf8.find('/', 1); slash != std::string::npos; slash = pathUtf8.find('/', slash + 1))
    ::mkdir(pathUtf8.substr(0, slash).c_str(), 0777);
  if (::mkdir(pathUtf8.c_str(), 0777) != 0 && errno != EEXIST) return false;
  struct stat info {};
  return ::stat(pathUtf8.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string JoinPath(const std::string& folderUtf8, const std::string& nameUtf8) {
  if (folderUtf8.empty() || folderUtf8.back() == '/') return folderUtf8 + nameUtf8;
  return folderUtf8 + "/" + nameUtf8;
}

}  // namespace quillorn
