#pragma once

// A test that needs a program the test command installs (scripts/install-deps.sh). On a
// developer's machine a missing tool is a visible skip; where the tools are promised (CI set,
// or QUILLORN_REQUIRE_TOOLS=1 as scripts/test.sh sets it) it is a failure, so a broken
// environment can never pass for a green run.

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

namespace quillorn::test {

inline bool SetTrue(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return false;
  const std::string text = value;
  return !text.empty() && text != "0" && text != "false";
}

inline bool ToolsRequired() {
  return SetTrue("QUILLORN_REQUIRE_TOOLS") || SetTrue("CI");
}

}  // namespace quillorn::test

// Ends the test (or its SetUp) unless `present`: a skip, or a failure where tools are required.
#define QUILLORN_REQUIRE_TOOL(present, tool)                                                         \
  if (present) {                                                                                     \
  } else if (::quillorn::test::ToolsRequired())                                                      \
    FAIL() << tool << " is missing, and this run requires it: install it with scripts/install-deps.sh"; \
  else                                                                                               \
    GTEST_SKIP() << tool << " is not installed"
