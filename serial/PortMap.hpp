#pragma once
// Port numbers as the user sees them ("COM" n) and the device paths behind them. Windows opens
// "\\.\COMn" (the plain name fails from COM10 upward); POSIX has no COM ports, so a fixed
// default table maps number ranges to the usual tty families, and overrides (from the settings
// file, or a path the user typed) take precedence over it.
//
// POSIX defaults: COM1-32 -> /dev/ttyS0-31, COM33-64 -> /dev/ttyUSB0-31,
// COM65-96 -> /dev/ttyACM0-31, every other number has no device unless overridden.
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace quillorn {

// The platform's own device path for port n, or "" when the platform has none.
std::string DefaultDevicePath(uint8_t portNumber);

// "COM12" -> 12 (an optional trailing ':' is accepted, "com" in any case). 0 for anything
// that is not a port name or names a number outside 1..255.
uint8_t PortNumberFromName(const std::string& portName);

class TPortMap {
 public:
  static TPortMap& Instance();

  // Port n opens devicePath from now on; an empty path removes the override.
  void SetOverride(uint8_t portNumber, const std::string& devicePath);
  void ClearOverrides();
  // The override when there is one, else the platform default ("" when neither).
  std::string DevicePath(uint8_t portNumber) const;
  // A port number that opens devicePath: an existing override with this path, or else a new
  // override on the highest number from 254 down without one, preferring numbers the platform
  // has no device for. 0 when every number is taken.
  uint8_t AssignPort(const std::string& devicePath);

 private:
  TPortMap() = default;
  mutable std::mutex mutex_;
  std::map<uint8_t, std::string> overrides_;
};

}  // namespace quillorn
