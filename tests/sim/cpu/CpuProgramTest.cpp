// Whole programs, assembled from programs/*.asm at build time, run to their halt loop at
// 0xFFF0; each leaves results in internal RAM that are checked against values computed
// here, and against the independent simulator s51 where it is installed.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "sim/cpu/Cpu8051.hpp"
#include "tests/RequiredTool.hpp"
#include "tests/sim/cpu/CpuTestBench.hpp"

namespace quillorn::sim::test {
namespace {

constexpr std::uint16_t kHalt = 0xFFF0;
constexpr std::uint64_t kCycleBudget = 20'000'000;

struct TProgramEnd {
  std::array<std::uint8_t, 256> iram{};
  std::uint64_t cycles = 0;
};

std::string ProgramPath(const std::string& name) {
  return std::string(QUILLORN_CPU_PROGRAM_DIR) + "/" + name + ".ihx";
}

class CpuProgramTest : public ::testing::Test {
protected:
  // Loads the program; false (and the test is skipped) when the assembler was not there.
  bool Load(const std::string& name) {
    if (!std::filesystem::exists(ProgramPath(name))) {
      return false;
    }
    EXPECT_TRUE(LoadIntelHex(ProgramPath(name), bus.code)) << name;
    return true;
  }

  TProgramEnd RunToHalt() {
    cpu.Reset();
    const std::uint64_t start = cpu.Cycles();
    EXPECT_TRUE(RunUntilPc(cpu, kHalt, kCycleBudget)) << "the program did not reach its halt loop";
    EXPECT_FALSE(cpu.HitReservedOpcode());
    TProgramEnd end;
    for (int i = 0; i < 256; ++i) end.iram[i] = cpu.Iram(static_cast<std::uint8_t>(i));
    end.cycles = cpu.Cycles() - start;
    return end;
  }

  TTestBus bus;
  TCpu8051 cpu{bus};
};

#define QUILLORN_LOAD_OR_SKIP(name) \
  QUILLORN_REQUIRE_TOOL(Load(name), "sdas8051 (sdcc; configure again after installing it)")

TEST_F(CpuProgramTest, SortLeavesTheTableAscendingAndCountsTheInversions) {
  QUILLORN_LOAD_OR_SKIP("sort");
  const std::vector<int> values = {0x37, 0x80, 0x7f, 0x00, 0xff, 0x12, 0x37, 0x01, 0xfe, 0x81, 0x42,
                                   0x99, 0x00, 0x5a, 0xa5, 0x10, 0x20, 0x30, 0xc0, 0x0f, 0xf0, 0x37,
                                   0x66, 0x77, 0x88, 0x01, 0xef, 0xcd, 0xab, 0x90, 0x09, 0x7e};
  int inversions = 0;
  for (std::size_t i = 0; i < values.size(); ++i)
    for (std::size_t j = i + 1; j < values.size(); ++j)
      if (values[i] > values[j]) ++inversions;
  std::vector<int> sorted = values;
  std::sort(sorted.begin(), sorted.end());

  const TProgramEnd end = RunToHalt();
  for (std::size_t i = 0; i < sorted.size(); ++i) {
    EXPECT_EQ(end.iram[0x40 + i], sorted[i]) << "position " << i;
  }
  EXPECT_EQ(end.iram[0x30] | (end.iram[0x31] << 8), inversions);
}

TEST_F(CpuProgramTest, MultiplyAndDivideMatchIntegerArithmetic) {
  QUILLORN_LOAD_OR_SKIP("multiply");
  const std::uint32_t pairs[][2] = {{0xFFFF, 0xFFFF}, {0x1234, 0x5678}, {0x0000, 0x1234},
                                    {0x8000, 0x0002}, {0x0007, 0x0009}, {0xFFFF, 0x0007},
                                    {0x1234, 0x0012}, {0x0005, 0x00FF}};
  const TProgramEnd end = RunToHalt();
  for (int i = 0; i < 8; ++i) {
    SCOPED_TRACE(testing::Message() << "pair " << i);
    const std::uint32_t a = pairs[i][0];
    const std::uint32_t b = pairs[i][1];
    const std::uint32_t product = a * b;
    const std::uint8_t* p = &end.iram[0x40 + 4 * i];
    EXPECT_EQ(p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24), product);
    const std::uint8_t* q = &end.iram[0x80 + 4 * i];
    EXPECT_EQ(static_cast<std::uint32_t>(q[0] | (q[1] << 8)), a / b);
    EXPECT_EQ(static_cast<std::uint32_t>(q[2] | (q[3] << 8)), a % b);
  }
}

TEST_F(CpuProgramTest, DecimalAdditionCarriesThroughAllDigits) {
  QUILLORN_LOAD_OR_SKIP("bcd");
  const std::uint64_t sums[] = {12345678ull + 88664422ull, 99999999ull + 1ull,
                                39291909ull + 9090909ull, 50505050ull + 50505050ull};
  const TProgramEnd end = RunToHalt();
  for (int i = 0; i < 4; ++i) {
    std::uint64_t decimal = 0;
    for (int byte = 4; byte >= 0; --byte) {
      const std::uint8_t packed = end.iram[0x40 + 5 * i + byte];
      ASSERT_LE(packed >> 4, 9) << "sum " << i;
      ASSERT_LE(packed & 0x0F, 9) << "sum " << i;
      decimal = decimal * 100 + (packed >> 4) * 10 + (packed & 0x0F);
    }
    EXPECT_EQ(decimal, sums[i]) << "sum " << i;
  }
}

TEST_F(CpuProgramTest, CrcRoutinesGiveTheStandardCheckValues) {
  QUILLORN_LOAD_OR_SKIP("crc");
  const TProgramEnd end = RunToHalt();
  EXPECT_EQ((end.iram[0x40] << 8) | end.iram[0x41], 0x29B1);
  EXPECT_EQ((end.iram[0x42] << 8) | end.iram[0x43], 0xBB3D);
}

TEST_F(CpuProgramTest, CallsRecursionAndJumpTablesReachTheirTargets) {
  QUILLORN_LOAD_OR_SKIP("calls");
  const TProgramEnd end = RunToHalt();
  EXPECT_EQ(end.iram[0x40] | (end.iram[0x41] << 8), 610);  // fib(15)
  EXPECT_EQ(end.iram[0x42], 0x5A);                          // AJMP across the block edge
  EXPECT_EQ(end.iram[0x43], 0xA5);                          // ACALL across it and back
  EXPECT_EQ(end.iram[0x44], 2 * (0x01 + 0x10 + 0x04 + 0x40));
  EXPECT_EQ(end.iram[0x45], 0x60);  // every call returned
  const std::uint8_t digits[] = {0x3f, 0x06, 0x5b, 0x4f, 0x66, 0x6d, 0x7d, 0x07};
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(end.iram[0x48 + i], digits[i]) << "lookup " << i;
  }
}

TEST_F(CpuProgramTest, ExternalDataGoesOverTheBusWithP2AsThePageForRi) {
  QUILLORN_LOAD_OR_SKIP("xdata");
  const TProgramEnd end = RunToHalt();
  unsigned sum = 0;
  for (unsigned i = 0; i < 256; ++i) {
    EXPECT_EQ(bus.xdata[0x1200 + i], static_cast<std::uint8_t>(3 * i + 7));
    sum += static_cast<std::uint8_t>(3 * i + 7);
  }
  EXPECT_EQ(end.iram[0x30] | (end.iram[0x31] << 8), static_cast<int>(sum & 0xFFFF));
  for (unsigned k = 0; k < 16; ++k) {
    const std::uint8_t inverted = static_cast<std::uint8_t>(~(0xF0 + k));
    const std::uint8_t expected = static_cast<std::uint8_t>((inverted << 4) | (inverted >> 4));
    EXPECT_EQ(bus.xdata[0x34F0 + k], expected);
    EXPECT_EQ(end.iram[0x40 + k], expected);
  }
}

TEST_F(CpuProgramTest, TimerInterruptsCountTicksAndNestAtHighPriority) {
  QUILLORN_LOAD_OR_SKIP("timer");
  const TProgramEnd end = RunToHalt();
  EXPECT_EQ(end.iram[0x30], 40);
  // 40 ticks of 200 counts are 8000 cycles: about 80 timer 1 interrupts of 100 counts.
  EXPECT_GE(end.iram[0x31], 78);
  EXPECT_LE(end.iram[0x31], 82);
  EXPECT_EQ(end.iram[0x34], 1);  // timer 1 did interrupt the tick handler
  // Clearing the RAM takes 767 cycles, the 40 ticks 8000 and a bit.
  EXPECT_GE(end.cycles, 8767u);
  EXPECT_LE(end.cycles, 8767u + 400u);
}

// --- Cross-check with s51 ------------------------------------------------------------

bool S51Available() {
  return std::system("s51 -v < /dev/null > /dev/null 2>&1") == 0 &&
         std::system("timeout --version > /dev/null 2>&1") == 0;
}

// Runs the program in s51 (an 8052) to the halt loop and reads back the internal RAM and
// the simulated time. nullopt when s51 fails or its output cannot be read.
std::optional<TProgramEnd> RunInS51(const std::string& name) {
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("quillorn-s51-" + name + "-" + std::to_string(stamp));
  std::filesystem::create_directories(dir);
  const auto commands = dir / "commands";
  const auto output = dir / "output";
  {
    std::ofstream out(commands);
    out << "load \"" << ProgramPath(name) << "\"\n"
        << "break 0x" << std::hex << kHalt << "\n"
        << "run\n"
        << "dump iram 0x00 0xff 16\n"
        << "quit\n";
  }
  const std::string command = "timeout 120 s51 -t 8052 -C \"" + commands.string() + "\" < /dev/null > \"" +
                              output.string() + "\" 2>&1";
  const int status = std::system(command.c_str());
  std::ifstream in(output);
  std::stringstream text;
  text << in.rdbuf();
  in.close();
  std::filesystem::remove_all(dir);
  if (status != 0) {
    ADD_FAILURE() << "s51 failed:\n" << text.str();
    return std::nullopt;
  }

  TProgramEnd end;
  bool ticksSeen = false;
  bool inDump = false;
  std::vector<std::pair<unsigned, std::vector<std::string>>> lines;
  std::string line;
  while (std::getline(text, line)) {
    unsigned long long ticks = 0;
    if (std::sscanf(line.c_str(), "Simulated %llu ticks", &ticks) == 1) {
      end.cycles = ticks / 12;  // 12 oscillator periods per machine cycle on an 8052
      ticksSeen = true;
    }
    if (line.rfind("dump iram", 0) == 0) {
      inDump = true;
      continue;
    }
    if (!inDump) continue;
    if (line.rfind("0x", 0) != 0) break;
    std::istringstream fields(line);
    std::string address;
    fields >> address;
    std::vector<std::string> tokens;
    for (std::string token; fields >> token;) tokens.push_back(token);
    lines.emplace_back(static_cast<unsigned>(std::stoul(address, nullptr, 16)), tokens);
  }
  // A line holds as many bytes as the next line's address is further on; the ASCII column
  // that follows the bytes is ignored.
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const unsigned address = lines[i].first;
    const unsigned next = i + 1 < lines.size() ? lines[i + 1].first : 0x100;
    if (next <= address || next - address > lines[i].second.size()) {
      ADD_FAILURE() << "unreadable s51 dump line at " << address << ":\n" << text.str();
      return std::nullopt;
    }
    for (unsigned k = 0; k < next - address; ++k) {
      end.iram[address + k] = static_cast<std::uint8_t>(std::stoul(lines[i].second[k], nullptr, 16));
    }
  }
  if (!ticksSeen || lines.empty() || lines.back().first > 0xFF) {
    ADD_FAILURE() << "s51 output without a stop or a dump:\n" << text.str();
    return std::nullopt;
  }
  return end;
}

struct TCrossCheck {
  const char* name;
  // s51 0.6.4 counts the hardware call that enters an interrupt as one machine cycle, the
  // processor's manual as two; a program that takes interrupts finishes a few cycles
  // later here (its results do not depend on that).
  std::uint64_t cycleAllowance;
};

class CpuS51CrossCheckTest : public CpuProgramTest, public ::testing::WithParamInterface<TCrossCheck> {};

TEST_P(CpuS51CrossCheckTest, EndStateAndCycleCountMatchS51) {
  const std::string name = GetParam().name;
  QUILLORN_LOAD_OR_SKIP(name);
  QUILLORN_REQUIRE_TOOL(S51Available(), "s51 (sdcc-ucsim)");
  const TProgramEnd ours = RunToHalt();
  const auto theirs = RunInS51(name);
  ASSERT_TRUE(theirs.has_value());
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(static_cast<int>(ours.iram[i]), static_cast<int>(theirs->iram[i])) << "IRAM 0x" << std::hex << i;
  }
  EXPECT_GE(ours.cycles, theirs->cycles);
  EXPECT_LE(ours.cycles, theirs->cycles + GetParam().cycleAllowance);
}

INSTANTIATE_TEST_SUITE_P(Programs, CpuS51CrossCheckTest,
                         ::testing::Values(TCrossCheck{"arith", 0}, TCrossCheck{"sort", 0},
                                           TCrossCheck{"multiply", 0}, TCrossCheck{"bcd", 0},
                                           TCrossCheck{"crc", 0}, TCrossCheck{"calls", 0},
                                           TCrossCheck{"xdata", 0}, TCrossCheck{"timer", 6}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CpuProgramTest, ArithmeticChecksumsMatchTheValuesS51Computed) {
  // The same sums the cross-check compares, recorded so that a build without s51 checks them.
  QUILLORN_LOAD_OR_SKIP("arith");
  const TProgramEnd end = RunToHalt();
  const std::uint8_t expected[] = {0x72, 0x42, 0x87, 0x7b, 0x86, 0x9a, 0x04};
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(end.iram[0x30 + i], expected[i]) << "checksum byte " << i;
  }
}

}  // namespace
}  // namespace quillorn::sim::test
