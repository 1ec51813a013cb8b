#include "serial/PortMap.hpp"

#include <cctype>

namespace quillorn {

uint8_t PortNumberFromName(const std::string& portName) {
  if (portName.size() < 4) return 0;
  for (size_t i = 0; i < 3; ++i) {
    if (std::toupper(static_cast<unsigned char>(portName[i])) != "COM"[i]) return 0;
  }
  size_t end = portName.size();
  if (portName[end - 1] == ':') --end;
  if (end <= 3 || end - 3 > 3) return 0;
  unsigned value = 0;
  for (size_t i = 3; i < end; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(portName[i]))) return 0;
    value = value * 10 + static_cast<unsigned>(portName[i] - '0');
  }
  if (value == 0 || value > 255) return 0;
  return static_cast<uint8_t>(value);
}

TPortMap& TPortMap::Instance() {
  static TPortMap instance;
  return instance;
}

void TPortMap::SetOverride(uint8_t portNumber, const std::string& devicePath) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (devicePath.empty()) {
    overrides_.erase(portNumber);
  } else {
    overrides_[portNumber] = devicePath;
  }
}

void TPortMap::ClearOverrides() {
  std::lock_guard<std::mutex> lock(mutex_);
  overrides_.clear();
}

std::string TPortMap::DevicePath(uint8_t portNumber) const {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = overrides_.find(portNumber);
    if (found != overrides_.end()) return found->second;
  }
  return DefaultDevicePath(portNumber);
}

uint8_t TPortMap::AssignPort(const std::string& devicePath) {
  if (devicePath.empty()) return 0;
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& [number, path] : overrides_) {
    if (path == devicePath) return number;
  }
  // Numbers the platform has no device for first; where it has one for every number
  // (Windows), the highest free one, which a real port rarely uses.
  for (const bool allowShadowing : {false, true}) {
    for (unsigned n = 254; n >= 1; --n) {
      const auto number = static_cast<uint8_t>(n);
      if (overrides_.count(number) != 0) continue;
      if (!allowShadowing && !DefaultDevicePath(number).empty()) continue;
      overrides_[number] = devicePath;
      return number;
    }
  }
  return 0;
}

}  // namespace quillorn
