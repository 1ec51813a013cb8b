// Bench paths and command-line words: every option reaches the bench, and every mistake is
// refused with a line that names it.
#include <gtest/gtest.h>

#include "sim/BenchOptions.hpp"

namespace quillorn::sim {
namespace {

TBenchOptions Parse(const std::string& path) {
  TBenchOptions options;
  std::string error;
  EXPECT_TRUE(ParseBenchPath(path, &options, &error)) << error;
  return options;
}

std::string ErrorOf(const std::string& path) {
  std::string error;
  EXPECT_FALSE(ParseBenchPath(path, nullptr, &error)) << path;
  return error;
}

TEST(BenchOptions, EveryOptionIsRead) {
  const TBenchOptions options = Parse(
      "sim:m797,programmer=zhv4,flash=/tmp/f.bin,eeprom=/tmp/e.eep,pace=none,latency=16,noise=0.25,drop=0.5,"
      "seed=7,erase-fail,program-fail=0x10020,eeprom-nack=1,power-loss-after=12,no-programmer,no-ecu=0,"
      "erase-time=20,program-time=3,eeprom-write-time=1,tamper=2");
  EXPECT_EQ(options.model, TEcuModel::M797);
  EXPECT_EQ(options.programmer, TProgrammerModel::Zhv4);
  EXPECT_EQ(options.flashFile, "/tmp/f.bin");
  EXPECT_EQ(options.eepromFile, "/tmp/e.eep");
  EXPECT_FALSE(options.pace);
  EXPECT_EQ(options.latencyMs, 16u);
  EXPECT_DOUBLE_EQ(options.noise, 0.25);
  EXPECT_DOUBLE_EQ(options.drop, 0.5);
  EXPECT_EQ(options.seed, 7u);
  EXPECT_TRUE(options.eraseFail);
  EXPECT_EQ(options.programFailAddress, 0x10020u);
  EXPECT_TRUE(options.eepromNack);
  EXPECT_EQ(options.powerLossAfterFrames, 12u);
  EXPECT_TRUE(options.noProgrammer);
  EXPECT_FALSE(options.noEcu);
  EXPECT_EQ(options.eraseTimeMs, 20u);
  EXPECT_EQ(options.programTimeUs, 3u);
  EXPECT_EQ(options.eepromWriteTimeMs, 1u);
  EXPECT_EQ(options.tamperWrite, 2u);
}

TEST(BenchOptions, MistakesAreRefusedWithOneLineNamingThem) {
  EXPECT_NE(ErrorOf("sim:january6").find("january6"), std::string::npos);
  EXPECT_NE(ErrorOf("sim:january6").find("january5"), std::string::npos) << "lists the models";
  EXPECT_NE(ErrorOf("sim:m10,colour=red").find("colour"), std::string::npos);
  EXPECT_NE(ErrorOf("sim:m10,programmer=zhv3").find("zhv3"), std::string::npos);
  EXPECT_NE(ErrorOf("sim:m10,noise=1.5").find("noise"), std::string::npos);
  EXPECT_NE(ErrorOf("sim:m10,seed=-1").find("seed"), std::string::npos);
  EXPECT_NE(ErrorOf("sim:m10,latency=").find("latency"), std::string::npos);
  EXPECT_NE(ErrorOf("sim:m10,erase-fail=yes").find("erase-fail"), std::string::npos);
  EXPECT_NE(ErrorOf("sim:m10,,seed=1").find("empty"), std::string::npos);
  EXPECT_NE(ErrorOf("sim:m10,tamper=0").find("tamper"), std::string::npos) << "counted from 1";
  EXPECT_NE(ErrorOf("COM3").find("sim:"), std::string::npos);
  for (const std::string path : {"sim:january6", "sim:m10,colour=red", "sim:m10,noise=x"}) {
    EXPECT_EQ(ErrorOf(path).find('\n'), std::string::npos);
  }
}

TEST(BenchOptions, CommandLineWordsBecomeAPath) {
  std::string path, error;
  ASSERT_TRUE(BenchPathFromArguments({"--model", "vs51", "--erase-fail", "--seed", "9", "--no-ecu"}, &path, &error))
      << error;
  EXPECT_EQ(path, "sim:vs51,erase-fail,seed=9,no-ecu");
  EXPECT_FALSE(BenchPathFromArguments({"--seed", "9"}, &path, &error));
  EXPECT_NE(error.find("--model"), std::string::npos);
  EXPECT_FALSE(BenchPathFromArguments({"--model", "vs51", "extra"}, &path, &error));
  EXPECT_NE(error.find("extra"), std::string::npos);
  EXPECT_FALSE(BenchPathFromArguments({"--model", "vs51", "--flash", "a,b"}, &path, &error));
  EXPECT_FALSE(BenchPathFromArguments({"--model", "vs51", "--bogus", "1"}, &path, &error));
  EXPECT_NE(error.find("bogus"), std::string::npos);
}

}  // namespace
}  // namespace quillorn::sim
