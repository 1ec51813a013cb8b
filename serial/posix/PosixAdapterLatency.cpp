// Linux: the usb-serial drivers (FTDI among them) publish the latency timer of each port in
// sysfs, readable by every user; changing it needs root.
#include <climits>
#include <cstdlib>
#include <fstream>

#include "serial/AdapterLatency.hpp"

namespace quillorn {

namespace {

// "/dev/serial/by-id/usb-...-port0" -> "ttyUSB0": the kernel's name behind any link.
std::string KernelName(const std::string& devicePath) {
  char resolved[PATH_MAX];
  if (realpath(devicePath.c_str(), resolved) == nullptr) return {};
  const std::string path(resolved);
  return path.substr(path.find_last_of('/') + 1);
}

}  // namespace

TAdapterLatency QueryAdapterLatency(const std::string& devicePath) {
  TAdapterLatency found;
  const std::string name = KernelName(devicePath);
  if (name.empty()) return found;
  const std::string file = "/sys/bus/usb-serial/devices/" + name + "/latency_timer";
  std::ifstream in(file);
  if (!in.is_open()) return found;  // not a usb-serial port, or no such setting
  found.setting = TLatencySetting::SysfsFile;
  found.location = file;
  uint32_t value = 0;
  if (in >> value) found.timerMs = value;
  return found;
}

}  // namespace quillorn
