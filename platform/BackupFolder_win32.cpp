#include <windows.h>
#include <shlobj.h>

#include "platform/BackupFolder.hpp"
#include "platform/WideText_win32.hpp"

namespace quillorn {

std::string DefaultBackupFolder() {
  PWSTR documents = nullptr;
  std::string folder;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Documents, KF_FLAG_CREATE, nullptr, &documents)) && documents != nullptr)
    folder = Narrow(documents) + "\\Quillorn\\Резервные копии";
  CoTaskMemFree(documents);
  return folder;
}

bool CreateFolderTree(const std::string& pathUtf8) {
  const std::wstring path = Widen(pathUtf8);
  if (path.empty()) return false;
  // Every prefix ending before a separator, the drive ("C:") and a share's root simply fail.
  for (size_t at = path.find_first_of(L"\\/", 1); at != std::wstring::npos; at = path.find_first_of(L"\\/", at + 1))
    CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
  CreateDirectoryW(path.c_str(), nullptr);
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string JoinPath(const std::string& folderUtf8, const std::string& nameUtf8) {
  if (folderUtf8.empty() || folderUtf8.back() == '\\' || folderUtf8.back() == '/') return folderUtf8 + nameUtf8;
  return folderUtf8 + "\\" + nameUtf8;
}

}  // namespace quillorn
