#include "cli/PortCheck.hpp"

#include <cstdio>

#include "cli/CliTexts.hpp"
#include "serial/PortMap.hpp"
#include "serial/SerialPort32.hpp"

namespace quillorn {

namespace {


std::string ReasonWithoutWords(uint8_t openError, int baud) {
  switch (openError) {
    case 2: return cli_text::kPortSettingsUnreadable;
    case 3: return std::string(cli_text::kPortRefusedSpeed) + " " + std::to_string(baud) + " " + cli_text::kPortLineFormat;
    default: return "";
  }
}

// "COM3 (/dev/ttyS2)" where the number stands for a device path of another name.
std::string PortWithDevice(const std::string& userPort, uint8_t portNumber) {
  if (PortNumberFromName(userPort) == 0) return userPort;
  const std::string path = TPortMap::Instance().DevicePath(portNumber);
  const bool sameName = path.size() >= userPort.size() &&
                        path.compare(path.size() - userPort.size(), userPort.size(), userPort) == 0;
  return path.empty() || sameName ? userPort : userPort + " (" + path + ")";
}

std::string PortFailureMessage(const std::string& port, uint8_t openError, const std::string& reason, int baud) {
  const std::string why = reason.empty() ? ReasonWithoutWords(openError, baud) : reason;
  std::string text = std::string(cli_text::kPortWord) + " " + port + " " + cli_text::kPortBusy;
  if (!why.empty()) text += " (" + why + ")";
  return text + ". " + cli_text::kPortWhatToDo;
}

}  // namespace

bool CheckCommandPort(const std::string& userPort, uint8_t portNumber, int baud) {
  const std::string name = "COM" + std::to_string(portNumber);
  const TSerialPort32 port(name.c_str(), static_cast<uint32_t>(baud), kProgrammerLine.dataBits, kProgrammerLine.parity,
                           kTwoStopBits);
  if (port.OpenError == 0) return true;
  std::fprintf(stderr, "%s %s\n", cli_text::kPortError,
               PortFailureMessage(PortWithDevice(userPort, portNumber), port.OpenError, port.OpenErrorText, baud).c_str());
  return false;
}

}  // namespace quillorn
