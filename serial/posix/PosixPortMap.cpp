#include <string>

#include "serial/PortMap.hpp"

namespace quillorn {

// Thirty-two numbers per tty family, in the order users meet them: built-in UARTs, USB-serial
// adapters, then CDC-ACM devices. Higher numbers exist only through overrides.
std::string DefaultDevicePath(uint8_t portNumber) {
  struct TFamily { unsigned first; const char* prefix; };
  static constexpr TFamily kFamilies[] = {{1, "/dev/ttyS"}, {33, "/dev/ttyUSB"}, {65, "/dev/ttyACM"}};
  for (const TFamily& family : kFamilies) {
    if (portNumber >= family.first && portNumber < family.first + 32) {
      return family.prefix + std::to_string(portNumber - family.first);
    }
  }
  return {};
}

}  // namespace quillorn
