#include "tests/image/ImageTestSupport.hpp"

#include "platform/File.hpp"

namespace quillorn::test {

::testing::AssertionResult FileIsClosed(const std::string& path, int openFilesBefore) {
  const int openFilesNow = OpenFileCount();
  if (openFilesBefore >= 0 && openFilesNow != openFilesBefore) {
    return ::testing::AssertionFailure() << openFilesNow - openFilesBefore << " file(s) left open";
  }
  if (!RemoveFileUtf8(path)) return ::testing::AssertionFailure() << path << " cannot be removed: still open?";
  return ::testing::AssertionSuccess();
}

}  // namespace quillorn::test
