#pragma once
// The user's own folder for the copies a job keeps of the ECU's memory before it changes it.
// Windows: Documents\Quillorn\Резервные копии; POSIX: $XDG_DATA_HOME/quillorn/backups,
// ~/.local/share/quillorn/backups by default.
#include <string>

namespace quillorn {

// The folder as UTF-8; empty when the platform does not say where the user's files go.
std::string DefaultBackupFolder();

// Creates the folder and every missing folder above it; true when it exists afterwards.
bool CreateFolderTree(const std::string& pathUtf8);

// The folder and a file name joined by the platform's separator.
std::string JoinPath(const std::string& folderUtf8, const std::string& nameUtf8);

}  // namespace quillorn
