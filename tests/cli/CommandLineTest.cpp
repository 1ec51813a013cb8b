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
  };
  for (const auto& args : bad) {
    const TCliParse p = Parse(args);
    EXPECT_FALSE(p.command) << "accepted: " << (args.empty() ? "" : args[0]);
    EXPECT_FALSE(p.error.empty());
    EXPECT_EQ(p.error.find('\n'), std::string::npos);
  }
}
