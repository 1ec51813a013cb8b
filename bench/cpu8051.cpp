// bench/cpu8051: how fast the bench's 8051 core runs next to the ECU processor it stands in
// for. A loop of the instruction kinds the bootstrap spends its time in (register and @Ri
// moves, ALU with carry, MOVX through DPTR, compare-and-jump, DJNZ) runs for a fixed number of
// machine cycles; printed are the nanoseconds per instruction and the ratio of simulated
// processor time to the process's CPU time (the bench keeps pace with a real line only above 1).
// CPU time, not elapsed time, so that a busy machine changes the figure little; best of 5.
#include <cstdio>
#include <ctime>

#include "sim/UartLine.hpp"
#include "sim/cpu/Cpu8051.hpp"

using namespace quillorn::sim;

namespace {

struct TFlatBus : ICpuBus {
  std::uint8_t xdata[65536] = {};
  std::uint8_t CodeRead(std::uint16_t) override { return 0; }
  std::uint8_t XdataRead(std::uint16_t address) override { return xdata[address]; }
  void XdataWrite(std::uint16_t address, std::uint8_t value) override { xdata[address] = value; }
};

// start: MOV R0,#0; MOV R1,#16
// loop:  MOV A,R0; ADD A,R1; MOV @R0,A; INC R0; XCH A,30h; MOV DPTR,#1234h; MOVX @DPTR,A;
//        INC DPTR; RLC A; XRL A,#5Ah; CJNE A,#0,next; next: DJNZ R1,loop; SJMP start
constexpr std::uint8_t kLoop[] = {0x78, 0x00, 0x79, 0x10, 0xE8, 0x29, 0xF6, 0x08, 0xC5,
                                  0x30, 0x90, 0x12, 0x34, 0xF0, 0xA3, 0x33, 0x64, 0x5A,
                                  0xB4, 0x00, 0x00, 0xD9, 0xED, 0x80, 0xE9};
constexpr std::uint64_t kCyclesPerRound = 50'000'000;

}  // namespace

int main() {
  TFlatBus bus;
  TCpu8051 cpu(bus);
  cpu.SetCodeWindow(kLoop, 0, sizeof kLoop);
  double bestSeconds = 0;
  std::uint64_t instructions = 0, cycles = 0;
  for (int round = 0; round < 5; ++round) {
    const std::uint64_t startInstructions = cpu.Instructions();
    const std::clock_t start = std::clock();
    const std::uint64_t ran = cpu.RunCycles(kCyclesPerRound);
    const double seconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    if (round == 0 || seconds < bestSeconds) {
      bestSeconds = seconds;
      instructions = cpu.Instructions() - startInstructions;
      cycles = ran;
    }
  }
  const double simulatedSeconds = static_cast<double>(cycles) / kMachineCyclesPerSecond;
  std::printf("8051 core: %.1f ns per instruction, %.1f x the ECU processor's speed (limit 1)\n",
              bestSeconds * 1e9 / static_cast<double>(instructions), simulatedSeconds / bestSeconds);
  return 0;
}
