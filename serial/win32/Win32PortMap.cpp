#include <string>

#include "serial/PortMap.hpp"

namespace quillorn {

// The device namespace form: plain "COMn" opens only COM1 to COM9.
std::string DefaultDevicePath(uint8_t portNumber) {
  if (portNumber == 0) return {};
  return "\\\\.\\COM" + std::to_string(portNumber);
}

}  // namespace quillorn
