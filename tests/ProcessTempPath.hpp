#pragma once
// A scratch path of this test process's own. Two test runs at once (the plain and the sanitizer
// build, two checkouts on one machine) must never write, read back or delete each other's files.
#include <gtest/gtest.h>

#include <string>
#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace quillorn::test {

inline std::string ProcessTempPath(const std::string& name) {
#ifdef _WIN32
  const long pid = _getpid();
#else
  const long pid = static_cast<long>(getpid());
#endif
  return ::testing::TempDir() + "quillorn-" + std::to_string(pid) + "-" + name;
}

}  // namespace quillorn::test
