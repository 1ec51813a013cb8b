#include <atomic>
#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>

#include "tests/app/TestSettingsLocation.hpp"

namespace quillorn::test {

namespace {
std::atomic<int> counter{0};
std::string BaseDirectory() {
  const char* tmp = std::getenv("TMPDIR");
  return std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp");
}
}  // namespace

std::string FreshSettingsLocation() {
  return BaseDirectory() + "/quillorn-app-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++) +
         "/Orvik/Quillorn.conf";
}

std::string UnusableSettingsLocation() { return "/proc/quillorn-no-such/Orvik/Quillorn.conf"; }

void RemoveSettingsLocation(const std::string& location) {
  std::remove(location.c_str());
  const std::string orvik = location.substr(0, location.find_last_of('/'));
  rmdir(orvik.c_str());
  rmdir(orvik.substr(0, orvik.find_last_of('/')).c_str());
}

void WriteTextValue(const std::string& location, const std::string& name, const std::string& text) {
  std::ofstream(location, std::ios::app) << name << "=" << text << "\n";
}

}  // namespace quillorn::test
