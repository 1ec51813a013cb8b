#pragma once
// Image files by UTF-8 path, the same on every platform: Cyrillic names and blanks work on
// Windows too (the backend converts to UTF-16). A TFile closes its stream on every way out.
#include <cstdint>
#include <cstdio>
#include <string>

namespace quillorn {

// Opens a regular file with a C stdio mode ("rb", "wb", "ab"); null when it cannot be opened
// or names a directory.
std::FILE* OpenFileUtf8(const std::string& pathUtf8, const char* mode);

// Length in bytes of a regular file; false when it cannot be opened.
bool GetFileLength(const std::string& pathUtf8, uint64_t& length);

// Positions a stream at an absolute 64-bit offset; false on failure.
bool SeekFileTo(std::FILE* file, uint64_t offset);

// Current position of a stream; 0 when it cannot be told.
uint64_t TellFile(std::FILE* file);

// Replaces target by source in one step, so target is either the old or the new file, never a
// half-written one. Source and target must be on the same volume.
bool ReplaceFileAtomically(const std::string& sourceUtf8, const std::string& targetUtf8);

// Removes a file; false when it did not exist or could not be removed.
bool RemoveFileUtf8(const std::string& pathUtf8);

// What a path names, told without opening it: opening a FIFO for reading would block, and
// opening a device may have effects of its own.
enum class TFileKind { Missing, Regular, Directory, Other };
TFileKind FileKindOf(const std::string& pathUtf8);

// The file a path finally names: symbolic links followed, "." and ".." resolved. For a path
// that does not exist yet, its folder is resolved and the name kept. Unchanged when even the
// folder cannot be resolved.
std::string ResolvedPath(const std::string& pathUtf8);

// True when two paths name the same file, however they are spelled (links, relative paths,
// letter case where the file system ignores it), existing or not.
bool IsSameFile(const std::string& firstUtf8, const std::string& secondUtf8);

class TFile {
 public:
  TFile() = default;
  TFile(const std::string& pathUtf8, const char* mode) : file_(OpenFileUtf8(pathUtf8, mode)) {}
  ~TFile() { Close(); }
  TFile(const TFile&) = delete;
  TFile& operator=(const TFile&) = delete;

  bool IsOpen() const { return file_ != nullptr; }
  std::FILE* Get() const { return file_; }

  // Closes the stream; false when buffered data could not be written out.
  bool Close() {
    std::FILE* const file = file_;
    file_ = nullptr;
    return file == nullptr || std::fclose(file) == 0;
  }

 private:
  std::FILE* file_ = nullptr;
};

}  // namespace quillorn
