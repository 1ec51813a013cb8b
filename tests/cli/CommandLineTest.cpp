#include <gtest/gtest.h>

#include "cli/CommandLine.hpp"

using namespace quillorn;

namespace {
TCliParse Parse(std::vector<std::string> args) { return ParseCommandLine(args); }
}  // namespace

TEST(CommandLine, AFlashWriteTakesEveryOptionOfItsContract) {
  const TCliParse p = Parse({"write", "--port", "sim:january5,programmer=zhv4", "--ecu", "vs51", "--baud", "57600",
                             "--dual", "--second-page", "--long-timeout", "--trace", "t.log", "fw.bin"});
  ASSERT_TRUE(p.command) << p.error;
  EXPECT_EQ(p.command->action, TCliAction::Write);
  EXPECT_EQ(p.command->port, "sim:january5,programmer=zhv4");
  EXPECT_EQ(p.command->family, TEcuFamily::Vs51);
  EXPECT_EQ(p.command->baud, 57600);
  EXPECT_TRUE(p.command->dual && p.command->secondPage && p.command->longTimeout);
  EXPECT_EQ(p.command->traceFile, "t.log");
  EXPECT_EQ(p.command->file, "fw.bin");
}

TEST(CommandLine, DefaultsAndFileNamesThatLookOdd) {
  const TCliParse p = Parse({"read", "--ecu", "m797", "--port", "COM3", "дамп 1.bin"});
  ASSERT_TRUE(p.command) << p.error;
  EXPECT_EQ(p.command->baud, 38400);
  EXPECT_FALSE(p.command->dual);
  EXPECT_EQ(p.command->file, "дамп 1.bin");
  const TCliParse clear = Parse({"eeprom-clear", "--port", "COM1", "--ecu", "january72"});
  ASSERT_TRUE(clear.command) << clear.error;
  EXPECT_TRUE(clear.command->file.empty());
}

TEST(CommandLine, BackupOptionsBelongToTheJobsThatChangeMemory) {
  struct TCase {
    std::vector<std::string> args;
    bool backup;
    const char* dir;
  };
  const TCase cases[] = {
      {{"write", "--port", "COM1", "--ecu", "january5", "fw.bin"}, true, ""},
      {{"write", "--port", "COM1", "--ecu", "january5", "--no-backup", "fw.bin"}, false, ""},
      {{"eeprom-write", "--port", "COM1", "--ecu", "mikas7", "--backup-dir", "копии", "i.eep"}, true, "копии"},
      {{"eeprom-clear", "--port", "COM1", "--ecu", "vs51", "--backup-dir=/b d"}, true, "/b d"},
  };
  for (const TCase& c : cases) {
    const TCliParse p = Parse(c.args);
    ASSERT_TRUE(p.command) << p.error;
    EXPECT_EQ(p.command->backup, c.backup);
    EXPECT_EQ(p.command->backupDir, c.dir);
  }
  for (const char* action : {"read", "eeprom-read", "verify"})
    EXPECT_FALSE(Parse({action, "--port", "COM1", "--ecu", "january5", "--no-backup", "f"}).command) << action;
  EXPECT_FALSE(Parse({"write", "--port", "COM1", "--ecu", "january5", "--backup-dir=", "f"}).command);
}

TEST(CommandLine, UsageErrorsSayWhatIsWrongInOneLine) {
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"flash"},
      {"write", "--ecu", "january5", "fw.bin"},                           // no port
      {"write", "--port", "COM1", "fw.bin"},                              // no family
      {"write", "--port", "COM1", "--ecu", "january5"},                   // no file
      {"write", "--port", "COM1", "--ecu", "bosch", "fw.bin"},            // unknown family
      {"write", "--port", "COM1", "--ecu", "january5", "--baud", "0", "f"},
      {"write", "--port", "COM1", "--ecu", "january5", "--baud", "96OO", "f"},
      {"read", "--port", "COM1", "--ecu", "january5", "--second-page", "f"},  // reading has no second page
      {"eeprom-write", "--port", "COM1", "--ecu", "january5", "--dual", "f"},
      {"eeprom-read", "--port", "COM1", "--ecu", "m10", "f"},              // eight-bank ECUs have no EEPROM job
      {"write", "--port", "COM1", "--ecu", "january5", "a.bin", "b.bin"},
      {"write", "--port"},
      {"write", "--port", "COM1", "--ecu", "january5", "--backup-dir"},
      {"write", "--port", "COM1", "--ecu"},
      {"write", "--port", "COM1", "--ecu", "january5", "--trace"},
  };
  // Cyrillic letters are two bytes, the first 0xD0 or 0xD1: a text left in English has none.
  const auto russian = [](const std::string& text) { return text.find_first_of("\xD0\xD1") != std::string::npos; };
  for (const auto& args : bad) {
    const TCliParse p = Parse(args);
    EXPECT_FALSE(p.command) << "accepted: " << (args.empty() ? "" : args[0]);
    EXPECT_TRUE(russian(p.error)) << "not in the user's language: " << p.error;
    EXPECT_EQ(p.error.find('\n'), std::string::npos);
  }
}

TEST(CommandLine, OptionsAsOtherToolsWriteThem) {
  struct TCase {
    std::vector<std::string> args;
    std::string port, file, trace;
    int baud;
  };
  const std::vector<TCase> cases = {
      {{"write", "--port=COM7", "--ecu=vs51", "--baud=57600", "--trace=t.log", "fw.bin"}, "COM7", "fw.bin", "t.log", 57600},
      {{"write", "--port=sim:january5,flash=a=b.bin", "--ecu", "january5", "fw.bin"}, "sim:january5,flash=a=b.bin", "fw.bin", "", 38400},
      {{"write", "--port", "COM1", "--ecu", "january5", "--", "-x"}, "COM1", "-x", "", 38400},
      {{"read", "--port", "COM1", "--ecu", "january5", "--", "--port"}, "COM1", "--port", "", 38400},
      {{"read", "--port", "COM1", "--trace", "--", "--ecu", "january5", "d.bin"}, "COM1", "d.bin", "--", 38400},
      {{"read", "--ecu", "january5", "--port=", "d.bin", "--port", "COM2"}, "COM2", "d.bin", "", 38400},
  };
  for (const TCase& c : cases) {
    const TCliParse p = Parse(c.args);
    ASSERT_TRUE(p.command) << c.args[1] << ": " << p.error;
    EXPECT_EQ(p.command->port, c.port);
    EXPECT_EQ(p.command->file, c.file);
    EXPECT_EQ(p.command->traceFile, c.trace);
    EXPECT_EQ(p.command->baud, c.baud);
  }
  const std::vector<std::vector<std::string>> refused = {
      {"write", "--port", "COM1", "--ecu", "january5", "--dual=1", "f"},  // a flag takes no value
      {"write", "--port", "COM1", "--ecu", "january5", "--", "a", "b"},
      {"write", "--port=", "--ecu", "january5", "f"},                      // an empty port
      {"eeprom-clear", "--port", "COM1", "--ecu", "january5", "--", "f"},  // no file to take
      {"write", "--port", "COM1", "--ecu", "january5", "-x"},              // "-x" without "--" is an option
  };
  for (const auto& args : refused) EXPECT_FALSE(Parse(args).command) << args.back();
}

TEST(CommandLine, HelpAndVersionFromAnyOfTheirSpellings) {
  const std::vector<std::pair<std::vector<std::string>, TCliAction>> cases = {
      {{"help"}, TCliAction::Help},
      {{"--help"}, TCliAction::Help},
      {{"-h"}, TCliAction::Help},
      {{"write", "--port", "COM1", "--help"}, TCliAction::Help},
      {{"--version"}, TCliAction::Version},
  };
  for (const auto& [args, action] : cases) {
    const TCliParse p = Parse(args);
    ASSERT_TRUE(p.command) << args.back() << ": " << p.error;
    EXPECT_EQ(p.command->action, action) << args.back();
  }
  const TCliParse helpIsAFile = Parse({"write", "--port", "COM1", "--ecu", "january5", "--", "-h"});
  ASSERT_TRUE(helpIsAFile.command) << helpIsAFile.error;
  EXPECT_EQ(helpIsAFile.command->file, "-h");
  EXPECT_FALSE(Parse({"--version", "extra"}).command);
  EXPECT_NE(UsageText().find("--version"), std::string::npos);
}
