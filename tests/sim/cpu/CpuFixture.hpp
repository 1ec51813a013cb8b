#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "sim/cpu/Cpu8051.hpp"
#include "tests/sim/cpu/CpuTestBench.hpp"

namespace quillorn::sim::test {

// A core on the test bus with helpers that run a short hand-assembled sequence.
class CpuFixture : public ::testing::Test {
protected:
  static constexpr std::uint16_t kOrigin = 0x0100;

  // Loads `code` at kOrigin and runs it until PC leaves its end; returns the cycles spent.
  std::uint64_t Run(const std::vector<std::uint8_t>& code) {
    bus.Load(kOrigin, code);
    cpu.SetPc(kOrigin);
    const std::uint64_t start = cpu.Cycles();
    EXPECT_TRUE(RunUntilPc(cpu, static_cast<std::uint16_t>(kOrigin + code.size()), 10000));
    return cpu.Cycles() - start;
  }

  std::uint8_t A() const { return cpu.Sfr(sfr::ACC); }
  std::uint8_t Psw() const { return cpu.Sfr(sfr::PSW); }
  bool Cy() const { return (Psw() & 0x80) != 0; }
  bool Ac() const { return (Psw() & 0x40) != 0; }
  bool Ov() const { return (Psw() & 0x04) != 0; }

  TTestBus bus;
  TCpu8051 cpu{bus};
};

}  // namespace quillorn::sim::test
