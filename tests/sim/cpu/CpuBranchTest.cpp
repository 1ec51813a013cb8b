// Control flow: absolute jumps within 2 KiB blocks, relative jumps both ways, compares,
// loops, and the machine-cycle count of each instruction form.

#include "tests/sim/cpu/CpuFixture.hpp"

namespace quillorn::sim::test {
namespace {

using CpuBranchTest = CpuFixture;

TEST_F(CpuBranchTest, AjmpTakesItsBlockFromTheAddressAfterTheInstruction) {
  // At the last two bytes of a 2 KiB block the next PC is already in the following block.
  bus.Load(0x07FE, {0x21, 0x23});  // AJMP page 1, low byte 0x23
  cpu.SetPc(0x07FE);
  cpu.Step();
  EXPECT_EQ(cpu.Pc(), 0x0923);

  bus.Load(0x1234, {0xE1, 0xFF});  // AJMP page 7
  cpu.SetPc(0x1234);
  cpu.Step();
  EXPECT_EQ(cpu.Pc(), 0x17FF);

  bus.Load(0xF500, {0x01, 0x00});  // page 0 of the block 0xF000
  cpu.SetPc(0xF500);
  cpu.Step();
  EXPECT_EQ(cpu.Pc(), 0xF000);
}

TEST_F(CpuBranchTest, AcallPushesTheReturnAddressAndJumpsWithinTheNextBlock) {
  cpu.SetSfr(sfr::SP, 0x20);
  bus.Load(0x0FFE, {0xF1, 0x10});  // ACALL page 7, low byte 0x10
  cpu.SetPc(0x0FFE);
  EXPECT_EQ(cpu.Step(), 2u);
  EXPECT_EQ(cpu.Pc(), 0x1710);
  EXPECT_EQ(cpu.Iram(0x21), 0x00);
  EXPECT_EQ(cpu.Iram(0x22), 0x10);
  bus.Load(0x1710, {0x22});  // RET
  cpu.Step();
  EXPECT_EQ(cpu.Pc(), 0x1000);
  EXPECT_EQ(cpu.Sfr(sfr::SP), 0x20);
}

TEST_F(CpuBranchTest, RelativeJumpsReachBackwardAndForwardAndWrapAt64K) {
  bus.Load(0x0200, {0x80, 0x80});  // SJMP -128
  cpu.SetPc(0x0200);
  cpu.Step();
  EXPECT_EQ(cpu.Pc(), 0x0182);

  bus.Load(0x0200, {0x80, 0x7F});  // SJMP +127
  cpu.SetPc(0x0200);
  cpu.Step();
  EXPECT_EQ(cpu.Pc(), 0x0281);

  bus.Load(0x0000, {0x80, 0xFD});  // SJMP -3 from the bottom of memory
  cpu.SetPc(0x0000);
  cpu.Step();
  EXPECT_EQ(cpu.Pc(), 0xFFFF);

  bus.Load(0x0300, {0x80, 0xFE});  // SJMP $ stays put
  cpu.SetPc(0x0300);
  cpu.Step();
  EXPECT_EQ(cpu.Pc(), 0x0300);
}

TEST_F(CpuBranchTest, CjneSetsCarryWhenTheFirstOperandIsSmaller) {
  // MOV A,#5; CJNE A,#6,+2 (jumps over the next NOP NOP)
  EXPECT_EQ(Run({0x74, 0x05, 0xB4, 0x06, 0x02, 0xA5, 0xA5}), 3u);
  EXPECT_TRUE(Cy());
  EXPECT_FALSE(cpu.HitReservedOpcode());
  // Equal: no jump, carry cleared (SETB C first).
  Run({0xD3, 0x74, 0x06, 0xB4, 0x06, 0x7F});
  EXPECT_FALSE(Cy());
  // CJNE R3,#0x10 with R3=0x20: jump, no carry.
  Run({0xD3, 0x7B, 0x20, 0xBB, 0x10, 0x01, 0xA5});
  EXPECT_FALSE(Cy());
  EXPECT_FALSE(cpu.HitReservedOpcode());
  // CJNE @R1,#0xFF with [0x40]=0x00: carry; CJNE A,direct with equal values: no jump.
  cpu.SetIram(0x40, 0x00);
  cpu.SetIram(0x41, 0x77);
  Run({0x79, 0x40, 0xB7, 0xFF, 0x00});
  EXPECT_TRUE(Cy());
  Run({0x74, 0x77, 0xB5, 0x41, 0x10});
  EXPECT_FALSE(Cy());
}

TEST_F(CpuBranchTest, DjnzCountsDownAndWrapsFromZero) {
  // MOV R2,#10; DJNZ R2,$ : 1 + 10 * 2 cycles
  EXPECT_EQ(Run({0x7A, 0x0A, 0xDA, 0xFE}), 21u);
  EXPECT_EQ(cpu.Iram(0x02), 0x00);
  // MOV 0x30,#0; DJNZ 0x30,$ runs 256 times
  EXPECT_EQ(Run({0x75, 0x30, 0x00, 0xD5, 0x30, 0xFD}), 2u + 256u * 2u);
  EXPECT_EQ(cpu.Iram(0x30), 0x00);
}

TEST_F(CpuBranchTest, ConditionalJumpsTestTheirCondition) {
  // MOV A,#0; JZ +1; (skipped A5) JNZ +1 (not taken); INC A; JNZ +1; (skipped A5) JNC +1;
  // (skipped A5) SETB C; JC +1; (skipped A5)
  Run({0x74, 0x00, 0x60, 0x01, 0xA5, 0x70, 0x01, 0x04, 0x70, 0x01, 0xA5, 0x50, 0x01, 0xA5,
       0xD3, 0x40, 0x01, 0xA5});
  EXPECT_FALSE(cpu.HitReservedOpcode());
  // SETB 0x00; JB 0x00,+1; (skip) JNB 0x01,+1; (skip)
  Run({0xD2, 0x00, 0x20, 0x00, 0x01, 0xA5, 0x30, 0x01, 0x01, 0xA5});
  EXPECT_FALSE(cpu.HitReservedOpcode());
  // JB on a clear bit and JNB on a set bit fall through (a wrong jump lands on A5).
  Run({0x20, 0x01, 0x05, 0x30, 0x00, 0x02, 0x80, 0x01, 0xA5});
  EXPECT_FALSE(cpu.HitReservedOpcode());
}

TEST_F(CpuBranchTest, JmpIndirectAddsTheAccumulatorToDptr) {
  bus.Load(0x0404, {0x74, 0x42, 0x02, 0x01, 0x00});  // MOV A,#0x42; LJMP 0x0100
  cpu.SetPc(0x0200);
  bus.Load(0x0200, {0x90, 0x04, 0x00, 0x74, 0x04, 0x73});  // MOV DPTR,#0x0400; MOV A,#4; JMP @A+DPTR
  ASSERT_TRUE(RunUntilPc(cpu, 0x0100, 100));
  EXPECT_EQ(A(), 0x42);
}

TEST_F(CpuBranchTest, ReservedOpcodeIsRecordedAndSkipped) {
  EXPECT_EQ(Run({0xA5}), 1u);
  EXPECT_TRUE(cpu.HitReservedOpcode());
  cpu.Reset();
  EXPECT_FALSE(cpu.HitReservedOpcode());
}

TEST_F(CpuBranchTest, InstructionsTakeTheirMachineCycles) {
  struct TCase {
    std::vector<std::uint8_t> code;
    std::uint64_t cycles;
  } cases[] = {
      {{0x00}, 1},                    // NOP
      {{0x74, 0x01}, 1},              // MOV A,#
      {{0xE5, 0x30}, 1},              // MOV A,direct
      {{0xF5, 0x30}, 1},              // MOV direct,A
      {{0x75, 0x30, 0x01}, 2},        // MOV direct,#
      {{0x85, 0x30, 0x31}, 2},        // MOV direct,direct
      {{0xA8, 0x30}, 2},              // MOV R0,direct
      {{0x88, 0x30}, 2},              // MOV direct,R0
      {{0x86, 0x30}, 2},              // MOV direct,@R0
      {{0xA6, 0x30}, 2},              // MOV @R0,direct
      {{0x90, 0x12, 0x34}, 2},        // MOV DPTR,#
      {{0xA3}, 2},                    // INC DPTR
      {{0xA4}, 4},                    // MUL AB
      {{0x84}, 4},                    // DIV AB
      {{0xE0}, 2},                    // MOVX A,@DPTR
      {{0xF2}, 2},                    // MOVX @R0,A
      {{0x93}, 2},                    // MOVC A,@A+DPTR (reads what it reads)
      {{0x42, 0x30}, 1},              // ORL direct,A
      {{0x43, 0x30, 0x01}, 2},        // ORL direct,#
      {{0xA2, 0x00}, 1},              // MOV C,bit
      {{0x92, 0x00}, 2},              // MOV bit,C
      {{0x82, 0x00}, 2},              // ANL C,bit
      {{0xD2, 0x00}, 1},              // SETB bit
      {{0xC0, 0x30, 0xD0, 0x30}, 4},  // PUSH, POP
      {{0xC5, 0x30}, 1},              // XCH A,direct
      {{0xD4}, 1},                    // DA A
      {{0x02, 0x01, 0x03}, 2},        // LJMP to the next instruction
      {{0x80, 0x00}, 2},              // SJMP +0
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "opcode " << std::hex << int(c.code[0]));
    EXPECT_EQ(Run(c.code), c.cycles);
  }
}

}  // namespace
}  // namespace quillorn::sim::test
