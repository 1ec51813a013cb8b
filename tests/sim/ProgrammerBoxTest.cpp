// The programmer box between PC and ECU: echo, the "ЖВ-4" CTS answer, the missing box or ECU,
// the injected line faults, the ECU losing power, and memory that survives the bench.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "PcSide.hpp"
#include "sim/MemoryImage.hpp"

namespace quillorn::sim::test {
namespace {

TEST(ProgrammerBox, EchoesEveryByteAndNothingElseWithoutAnEcu) {
  TPcSide pc("sim:january5,no-ecu");
  TBytes all;
  for (int value = 0; value < 256; ++value) all.push_back(static_cast<uint8_t>(value));
  EXPECT_EQ(pc.Exchange(all, 0, 2000), all);
  EXPECT_TRUE(pc.Silent());
}

TEST(ProgrammerBox, NoProgrammerMeansNoEchoAndNoAnswer) {
  TPcSide pc("sim:january5,no-programmer,programmer=zhv4");
  pc.SetDtr(true);
  pc.Send({0x00});
  EXPECT_TRUE(pc.Silent(150));
  EXPECT_FALSE(pc.Cts());
}

// The box answers a line change within a few milliseconds; the client looks a second later.
bool CtsBecomes(TPcSide& pc, bool expected) {
  for (int i = 0; i < 100; ++i) {
    if (pc.Cts() == expected) return true;
    pc.Silent(2);
  }
  return false;
}

TEST(ProgrammerBox, Zhv4RaisesCtsWhileDtrIsRaisedAndZhv2Never) {
  TPcSide zhv4("sim:january5,programmer=zhv4");
  EXPECT_FALSE(zhv4.Cts());
  zhv4.SetDtr(true);
  EXPECT_TRUE(CtsBecomes(zhv4, true));
  zhv4.SetDtr(false);
  EXPECT_TRUE(CtsBecomes(zhv4, false));

  TPcSide zhv2("sim:january5");
  zhv2.SetDtr(true);
  EXPECT_FALSE(CtsBecomes(zhv2, true));
}

TEST(ProgrammerBox, PowerLossAfterNFramesSilencesTheEcu) {
  TPcSide pc("sim:m797,power-loss-after=2");
  pc.SetRts(true);
  const TBytes request = Frame('F', {0x93, 0x10, 0x00, 0x00, 1});
  EXPECT_EQ(pc.Exchange(request, 5).size(), request.size() + 5);
  EXPECT_EQ(pc.Exchange(request, 5).size(), request.size() + 5);
  EXPECT_EQ(pc.Exchange(request, 5, 200), request) << "the third frame finds the ECU without power";
  EXPECT_TRUE(pc.Bench().Counters().ecuPowerLost);
  EXPECT_EQ(pc.Exchange({0x00}, 1, 150), (TBytes{0x00})) << "the box still echoes";
  pc.Bench().PowerCycle();
  EXPECT_EQ(pc.Exchange({0x00}, 1), (TBytes{0x00, 0xC5}));
}

// Three writes of 16 bytes; only the second arrives changed, and the ECU, whose frame check
// cannot see it, programs it and answers success.
TEST(ProgrammerBox, TamperChangesOnlyTheChosenWriteAndKeepsItsChecksum) {
  TPcSide pc("sim:m797,tamper=2");
  pc.SetRts(true);
  const TBytes success = Frame('P', {0x92, 0x01});
  const TBytes read = Frame('F', {0x93, 0x10, 0x00, 0x00, 1});
  EXPECT_EQ(pc.Exchange(read, 5).size(), read.size() + 5) << "a read before counts for nothing";
  for (uint8_t n = 0; n < 3; ++n) {
    TBytes write{0x92, 0x10, static_cast<uint8_t>(n * 16), 0x00, 16};
    for (uint8_t i = 0; i < 16; ++i) write.push_back(static_cast<uint8_t>(0x40 + n * 16 + i));
    const TBytes request = Frame('F', write);
    EXPECT_EQ(pc.Exchange(request, success.size()), Concat(request, success)) << "write " << int(n);
  }
  const TBytes flash = pc.Bench().Flash();
  for (unsigned i = 0; i < 48; ++i) {
    const int change = i == 16 ? 1 : i == 31 ? -1 : 0;
    EXPECT_EQ(flash[i], static_cast<uint8_t>(0x40 + i + change)) << "byte " << i;
  }
  EXPECT_EQ(pc.Bench().Counters().tamperedWrites, 1u);
}

TEST(ProgrammerBox, NoiseDamagesFramesAndTheSameSeedDamagesTheSameWay) {
  auto run = [](const std::string& path) {
    TPcSide pc(path);
    int answered = 0;
    const TBytes request = Frame('F', {0x93, 0x10, 0x00, 0x00, 4});
    for (int i = 0; i < 20; ++i) answered += pc.Exchange(request, 8, 150).size() == request.size() + 8;
    return std::make_pair(answered, pc.Bench().Counters().flippedBytes);
  };
  const auto clean = run("sim:m10");
  EXPECT_EQ(clean.first, 20);
  EXPECT_EQ(clean.second, 0u);
  const auto noisy = run("sim:m10,noise=0.05,seed=3");
  EXPECT_LT(noisy.first, 20);
  EXPECT_GT(noisy.second, 0u);
  EXPECT_EQ(run("sim:m10,noise=0.05,seed=3"), noisy);
}

TEST(ProgrammerBox, DroppedBytesNeverReachTheEcu) {
  TPcSide pc("sim:m10,drop=1");
  EXPECT_EQ(pc.Exchange({0x00}, 1, 150), (TBytes{0x00})) << "the echo is the box's own and is not lost";
  EXPECT_GT(pc.Bench().Counters().droppedBytes, 0u);
}

TEST(ProgrammerBox, MemoryFilesAreLoadedAndSavedBack) {
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  const auto dir = std::filesystem::temp_directory_path() / ("quillorn-sim-" + std::to_string(stamp));
  std::filesystem::create_directories(dir);
  const std::string flashFile = (dir / "flash.bin").string();
  const std::string eepromFile = (dir / "eeprom.eep").string();
  std::filesystem::remove(flashFile);
  std::filesystem::remove(eepromFile);
  const std::string path = "sim:m797,erase-time=0,eeprom-write-time=0,flash=" + flashFile + ",eeprom=" + eepromFile;
  {
    TPcSide pc(path);
    EXPECT_EQ(pc.Bench().Flash()[0], 0xFF) << "a missing file is erased memory";
    pc.Exchange(Frame('F', {0x92, 0x13, 0x00, 0x10, 2, 0x12, 0x34}), 5);
    pc.Exchange(Frame('F', {0x97, 0x00, 0x00, 1, 0x77}), 5);
  }
  ASSERT_EQ(std::filesystem::file_size(flashFile), 524288u);
  ASSERT_EQ(std::filesystem::file_size(eepromFile), 512u);
  EXPECT_FALSE(std::filesystem::exists(flashFile + ".saving"));
  {
    TPcSide pc(path);
    EXPECT_EQ(pc.Bench().Flash()[3 * 65536 + 0x1000], 0x12);
    EXPECT_EQ(pc.Bench().Flash()[3 * 65536 + 0x1001], 0x34);
    EXPECT_EQ(pc.Bench().Eeprom()[0], 0x77);
  }
  // A file of the wrong size is refused, not half-loaded and not overwritten.
  std::vector<uint8_t> memory(512, 0xFF);
  std::string error;
  EXPECT_FALSE(LoadMemoryImage(flashFile, memory, &error));
  EXPECT_NE(error.find("524288"), std::string::npos);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace quillorn::sim::test
