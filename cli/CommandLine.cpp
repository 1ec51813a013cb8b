#include "cli/CommandLine.hpp"

#include <charconv>
#include <map>
#include <set>

#include "cli/ArgumentWords.hpp"
#include "cli/CliTexts.hpp"
#include "report/Quoted.hpp"

namespace quillorn {

namespace {

struct TActionInfo {
  TCliAction action;
  bool needsFile;
  bool flashOptions;  // --dual, --second-page
};

const std::map<std::string, TActionInfo>& Actions() {
  static const std::map<std::string, TActionInfo> actions{
      {"ports", {TCliAction::Ports, false, false}},
      {"write", {TCliAction::Write, true, true}},
      {"read", {TCliAction::Read, true, true}},
      {"eeprom-write", {TCliAction::EepromWrite, true, false}},
      {"eeprom-read", {TCliAction::EepromRead, true, false}},
      {"eeprom-clear", {TCliAction::EepromClear, false, false}},
      {"verify", {TCliAction::Verify, true, true}},
      {"identify", {TCliAction::Identify, false, false}},
      {"help", {TCliAction::Help, false, false}},
      {"--help", {TCliAction::Help, false, false}},
      {"-h", {TCliAction::Help, false, false}},
      {"--version", {TCliAction::Version, false, false}},
  };
  return actions;
}

TCliParse Error(std::string text) { return {std::nullopt, std::move(text)}; }

// The options that take a value, also written "--opt=value".
const std::set<std::string>& ValueOptions() {
  static const std::set<std::string> options{"--port", "--ecu", "--baud", "--trace", "--backup-dir"};
  return options;
}

bool IsHelpWord(const std::string& word) { return word == "--help" || word == "-h"; }

bool ParseBaud(const std::string& text, int& baud) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value <= 0) return false;
  baud = value;
  return true;
}

}  // namespace

TCliParse ParseCommandLine(const std::vector<std::string>& commandLine) {
  const TArgumentWords split = SplitArgumentWords(commandLine, ValueOptions());
  const std::vector<std::string>& args = split.words;
  if (args.empty()) return Error(cli_text::kNoCommand);
  const auto found = Actions().find(args[0]);
  if (found == Actions().end()) return Error(std::string(cli_text::kUnknownCommand) + " " + Quoted(args[0]));
  const TActionInfo info = found->second;
  TCliCommand cmd;
  cmd.action = info.action;
  const bool takesPort =
      info.action != TCliAction::Ports && info.action != TCliAction::Help && info.action != TCliAction::Version;
  const bool takesEcu = takesPort && info.action != TCliAction::Identify;
  const bool changesMemory = info.action == TCliAction::Write || info.action == TCliAction::EepromWrite ||
                             info.action == TCliAction::EepromClear;

  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool operand = i >= split.firstOperand;
    if (!operand && IsHelpWord(a)) return {TCliCommand{}, ""};
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) return false;
      out = args[++i];
      return true;
    };
    std::string text;
    if (operand) {
      if (!info.needsFile || !cmd.file.empty()) return Error(std::string(cli_text::kUnexpectedArgument) + " " + Quoted(a));
      cmd.file = a;
    } else if (takesPort && a == "--port") {
      if (!value(cmd.port)) return Error(cli_text::kPortNeedsValue);
    } else if (takesEcu && a == "--ecu") {
      if (!value(text)) return Error(cli_text::kEcuNeedsValue);
      cmd.family = EcuFamilyFromName(text);
      if (!cmd.family) return Error(std::string(cli_text::kUnknownFamily) + " " + Quoted(text) + " " + cli_text::kFamilyNames);
    } else if (takesEcu && a == "--baud") {
      if (!value(text) || !ParseBaud(text, cmd.baud)) return Error(cli_text::kBaudNeedsValue);
    } else if (info.flashOptions && a == "--dual") {
      cmd.dual = true;
    } else if (takesEcu && (info.action == TCliAction::Write || info.action == TCliAction::EepromWrite) &&
               a == "--no-verify") {
      cmd.verify = false;
    } else if (changesMemory && a == "--no-backup") {
      cmd.backup = false;
    } else if (changesMemory && a == "--backup-dir") {
      if (!value(cmd.backupDir) || cmd.backupDir.empty()) return Error(cli_text::kBackupDirNeedsValue);
    } else if (takesEcu && info.action != TCliAction::Verify && a == "--yes") {
      cmd.yes = true;
    } else if (info.flashOptions && info.action == TCliAction::Write && a == "--second-page") {
      cmd.secondPage = true;
    } else if (takesEcu && a == "--long-timeout") {
      cmd.longTimeout = true;
    } else if (takesPort && a == "--trace") {
      if (!value(cmd.traceFile)) return Error(cli_text::kTraceNeedsValue);
    } else if (!operand && a.size() > 1 && a[0] == '-' && a != "-") {
      return Error(std::string(cli_text::kOption) + " " + Quoted(a) + " " + cli_text::kNotForCommand + " " + args[0]);
    } else if (info.needsFile && cmd.file.empty()) {
      cmd.file = a;
    } else {
      return Error(std::string(cli_text::kUnexpectedArgument) + " " + Quoted(a));
    }
  }
  const std::string forCommand = std::string(cli_text::kForCommand) + " " + args[0] + " ";
  if (takesPort && cmd.port.empty()) return Error(forCommand + cli_text::kNeedsPort);
  if (takesEcu && !cmd.family) return Error(forCommand + cli_text::kNeedsEcu);
  if (info.needsFile && cmd.file.empty()) return Error(forCommand + cli_text::kNeedsFile);
  const bool eeprom = info.action == TCliAction::EepromWrite || info.action == TCliAction::EepromRead ||
                      info.action == TCliAction::EepromClear;
  if (eeprom && IsEightBankFamily(*cmd.family))
    return Error(std::string(cli_text::kNoEepromJobs) + " " + std::string(EcuFamilyName(*cmd.family)));
  return {cmd, ""};
}

std::string UsageText() {
  return "usage:\n"
         "  quillorn ports\n"
         "  quillorn help | --help | -h\n"
         "  quillorn --version\n"
         "  quillorn write        --port PORT --ecu FAMILY [--baud N] [--dual] [--second-page] [--long-timeout] [--no-verify] [--no-backup] [--backup-dir DIR] [--yes] [--trace FILE] FILE\n"
         "  quillorn read         --port PORT --ecu FAMILY [--baud N] [--dual] [--long-timeout] [--yes] [--trace FILE] FILE\n"
         "  quillorn eeprom-write --port PORT --ecu FAMILY [--baud N] [--long-timeout] [--no-verify] [--no-backup] [--backup-dir DIR] [--yes] [--trace FILE] FILE\n"
         "  quillorn eeprom-read  --port PORT --ecu FAMILY [--baud N] [--long-timeout] [--yes] [--trace FILE] FILE\n"
         "  quillorn eeprom-clear --port PORT --ecu FAMILY [--baud N] [--long-timeout] [--no-backup] [--backup-dir DIR] [--yes] [--trace FILE]\n"
         "  quillorn verify       --port PORT --ecu FAMILY [--baud N] [--dual] [--long-timeout] [--trace FILE] FILE\n"
         "  quillorn identify     --port PORT [--trace FILE]\n"
         "FAMILY: january5 (Январь 5.x / Микас-7.6), mikas7, vs51, january72, m797, m10\n"
         "PORT:   COMn, a device path, or sim:<model>[,key=value...] (the virtual bench)\n"
         "baud:   57600, 38400 (default), 19200, 9600 or any other rate\n"
         "Every option with a value may be written --opt=VALUE; \"--\" ends the options (a FILE named \"-x\").\n"
         "A write is compared with the ECU afterwards (--no-verify skips it); verify compares without writing.\n"
         "Before a write or a clear changes anything, the memory it changes is read, checked and kept as a file\n"
         "in Documents\\Quillorn\\Резервные копии on Windows, $XDG_DATA_HOME/quillorn/backups (by default\n"
         "~/.local/share/quillorn/backups) elsewhere; --backup-dir DIR keeps it in DIR, --no-backup skips it.\n"
         "Its path is printed. Restore it with an ordinary write of that file (--dual for a *_flash-dual.bin).\n"
         "Questions (a file that does not look like ECU code, a file smaller than the memory) are asked on the\n"
         "terminal; without one the job is refused unless --yes answers them.\n";
}

}  // namespace quillorn
