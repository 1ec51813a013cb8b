#include <filesystem>

#include "tests/image/ImageTestSupport.hpp"

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

}  // namespace quillorn::test
