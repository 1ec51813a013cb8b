#pragma once
// Checking whether a device path can be opened, for the port scan: the registered providers
// answer for their own paths, the platform backend for the rest.
#include <string>

namespace quillorn {

// True when the path opens now. The platform probe opens with the least the platform allows
// (Windows: no access rights, a query-only open) and closes at once.
bool ProbeSerialDevicePath(const std::string& devicePath);
bool ProbePlatformSerialDevice(const std::string& devicePath);

}  // namespace quillorn
