#include "tests/image/ImageTestSupport.hpp"

#include "platform/File.hpp"

namespace quillorn::test {

int OpenFileCount() {
  std::error_code error;
  const std::filesystem::path fds("/proc/self/fd");
  if (!std::filesystem::exists(fds, error)) return -1;
  int count = 0;
  for (auto it = std::filesystem::directory_iterator(fds, error); !error && it != std::filesystem::directory_iterator();
       it.increment(error)) {
    ++count;
  }
  return count;
}

::testing::AssertionResult FileIsClosed(const std::string& path, int openFilesBefore) {
  const int openFilesNow = OpenFileCount();
  if (openFilesBefore >= 0 && openFilesNow != openFilesBefore) {
    return ::testing::AssertionFailure() << openFilesNow - openFilesBefore << " file(s) left open";
  }
  if (!RemoveFileUtf8(path)) return ::testing::AssertionFailure() << path << " cannot be removed: still open?";
  return ::testing::AssertionSuccess();
}

}  // namespace quillorn::test
