#pragma once
// The command-line contract of `quillorn`: what each command takes, checked before anything
// touches a port.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "jobs/EcuFamily.hpp"

namespace quillorn {

enum class TCliAction { Ports, Write, Read, EepromWrite, EepromRead, EepromClear, Verify, Identify, Help, Version };

struct TCliCommand {
  TCliAction action = TCliAction::Help;
  std::string port;                 // "COM3", a device path or "sim:<model>[,key=value...]"
  std::optional<TEcuFamily> family;
  int baud = 38400;
  bool dual = false;
  bool secondPage = false;
  bool longTimeout = false;
  bool verify = true;   // --no-verify: a write is not compared with the ECU afterwards
  bool yes = false;     // --yes: every question is answered yes
  bool backup = true;   // --no-backup: a write or a clear keeps no copy of the memory first
  std::string backupDir;  // --backup-dir: where the copy goes instead of the user's folder
  std::string traceFile;
  std::string file;
};

struct TCliParse {
  std::optional<TCliCommand> command;
  std::string error;  // one line, when command is empty
};

TCliParse ParseCommandLine(const std::vector<std::string>& args);

// The usage text printed by `quillorn help` and after a usage error's one-line hint.
std::string UsageText();

}  // namespace quillorn
