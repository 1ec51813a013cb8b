#include "serial/PortScan.hpp"

#include <string>

#include "serial/DeviceProbe.hpp"
#include "serial/PortMap.hpp"

namespace quillorn {

std::vector<uint8_t> ScanPorts() {
  std::vector<uint8_t> found;
  for (unsigned n = 1; n <= 254; ++n) {
    const auto portNumber = static_cast<uint8_t>(n);
    const std::string devicePath = TPortMap::Instance().DevicePath(portNumber);
    if (!devicePath.empty() && ProbeSerialDevicePath(devicePath)) found.push_back(portNumber);
  }
  return found;
}

}  // namespace quillorn
