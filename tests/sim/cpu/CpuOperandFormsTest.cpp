// Every operand form of the accumulator instructions (#data, direct, @R0, @R1, R0..R7)
// and of the instructions that write back to memory: each form must pick its own operand.

#include "tests/sim/cpu/CpuFixture.hpp"

#include <functional>
#include <string>

namespace quillorn::sim::test {
namespace {

constexpr std::uint8_t kA = 0x5C;
constexpr std::uint8_t kOperand = 0x3A;
constexpr std::uint8_t kDecoy = 0xC3;  // in every other register and RAM cell in use

class CpuOperandFormsTest : public CpuFixture {
protected:
  // Fills R0..R7 of bank 1 and the cells 0x40/0x41 with the decoy, then puts the operand
  // where `form` (0..0xF as in the opcode's low nibble, 4..F) looks for it. Returns the
  // set-up code; the opcode (and its operand byte) follows.
  std::vector<std::uint8_t> Setup(unsigned form) {
    std::vector<std::uint8_t> code = {0x75, 0xD0, 0x08};  // MOV PSW,#0x08: bank 1
    for (std::uint8_t r = 0; r < 8; ++r) code.insert(code.end(), {static_cast<std::uint8_t>(0x78 + r), kDecoy});
    code.insert(code.end(), {0x75, 0x40, kDecoy, 0x75, 0x41, kDecoy});
    if (form == 6 || form == 7) {
      code.insert(code.end(), {static_cast<std::uint8_t>(0x78 + (form - 6)), 0x41, 0x75, 0x41, kOperand});
    } else if (form == 5) {
      code.insert(code.end(), {0x75, 0x40, kOperand});
    } else if (form >= 8) {
      code.insert(code.end(), {static_cast<std::uint8_t>(0x78 + (form - 8)), kOperand});
    }
    code.insert(code.end(), {0xC3, 0x74, kA});  // CLR C, MOV A,#kA
    return code;
  }
  static std::vector<std::uint8_t> Operation(std::uint8_t row, unsigned form) {
    const auto opcode = static_cast<std::uint8_t>(row | form);
    if (form == 4) return {opcode, kOperand};
    if (form == 5) return {opcode, 0x40};
    return {opcode};
  }
};

TEST_F(CpuOperandFormsTest, AccumulatorOperationsReadTheOperandOfTheirForm) {
  struct TRow {
    const char* name;
    std::uint8_t row;
    std::uint8_t result;
  } rows[] = {
      {"ADD", 0x20, static_cast<std::uint8_t>(kA + kOperand)},
      {"ADDC", 0x30, static_cast<std::uint8_t>(kA + kOperand)},
      {"ORL", 0x40, static_cast<std::uint8_t>(kA | kOperand)},
      {"ANL", 0x50, static_cast<std::uint8_t>(kA & kOperand)},
      {"XRL", 0x60, static_cast<std::uint8_t>(kA ^ kOperand)},
      {"SUBB", 0x90, static_cast<std::uint8_t>(kA - kOperand)},
      {"MOV", 0xE0, kOperand},
  };
  for (const auto& row : rows) {
    for (unsigned form = 4; form <= 0xF; ++form) {
      if (row.row == 0xE0 && form == 4) continue;  // 0xE4 is CLR A
      SCOPED_TRACE(testing::Message() << row.name << " form " << form);
      auto code = Setup(form);
      const auto op = Operation(row.row, form);
      code.insert(code.end(), op.begin(), op.end());
      Run(code);
      EXPECT_EQ(A(), row.result);
    }
  }
}

TEST_F(CpuOperandFormsTest, ExchangeIncrementAndDecrementWriteBackToTheirOperand) {
  // XCH A,x (C5..CF), INC x (05..0F), DEC x (15..1F): check A and the operand's cell.
  for (unsigned form = 5; form <= 0xF; ++form) {
    const std::uint8_t cell = form == 5 ? 0x40 : (form <= 7 ? 0x41 : static_cast<std::uint8_t>(0x08 + form - 8));
    {
      SCOPED_TRACE(testing::Message() << "XCH form " << form);
      auto code = Setup(form);
      const auto op = Operation(0xC0, form);
      code.insert(code.end(), op.begin(), op.end());
      Run(code);
      EXPECT_EQ(A(), kOperand);
      EXPECT_EQ(cpu.Iram(cell), kA);
    }
    {
      SCOPED_TRACE(testing::Message() << "INC form " << form);
      auto code = Setup(form);
      const auto op = Operation(0x00, form);
      code.insert(code.end(), op.begin(), op.end());
      Run(code);
      EXPECT_EQ(cpu.Iram(cell), kOperand + 1);
      EXPECT_EQ(A(), kA);
    }
    {
      SCOPED_TRACE(testing::Message() << "DEC form " << form);
      auto code = Setup(form);
      const auto op = Operation(0x10, form);
      code.insert(code.end(), op.begin(), op.end());
      Run(code);
      EXPECT_EQ(cpu.Iram(cell), kOperand - 1);
    }
  }
  Run({0x74, 0x00, 0x14});  // DEC A wraps
  EXPECT_EQ(A(), 0xFF);
}

TEST_F(CpuOperandFormsTest, LogicToDirectCombinesWithAOrAnImmediate) {
  cpu.SetIram(0x40, kOperand);
  Run({0x74, kA, 0x52, 0x40});  // ANL 0x40,A
  EXPECT_EQ(cpu.Iram(0x40), kA & kOperand);
  cpu.SetIram(0x40, kOperand);
  Run({0x53, 0x40, kA});  // ANL 0x40,#kA
  EXPECT_EQ(cpu.Iram(0x40), kA & kOperand);
  cpu.SetIram(0x40, kOperand);
  Run({0x74, kA, 0x62, 0x40});  // XRL 0x40,A
  EXPECT_EQ(cpu.Iram(0x40), kA ^ kOperand);
  cpu.SetIram(0x40, kOperand);
  Run({0x63, 0x40, kA});  // XRL 0x40,#kA
  EXPECT_EQ(cpu.Iram(0x40), kA ^ kOperand);
  cpu.SetIram(0x40, kOperand);
  Run({0x74, kA, 0x42, 0x40});  // ORL 0x40,A
  EXPECT_EQ(cpu.Iram(0x40), kA | kOperand);
  // RR A, RL A, CPL A, CPL C
  Run({0x74, 0x81, 0x03});
  EXPECT_EQ(A(), 0xC0);
  Run({0x74, 0x81, 0x23});
  EXPECT_EQ(A(), 0x03);
  Run({0x74, 0x0F, 0xF4});
  EXPECT_EQ(A(), 0xF0);
  Run({0xC3, 0xB3});
  EXPECT_TRUE(Cy());
}

TEST_F(CpuOperandFormsTest, MovesBetweenRegistersIndirectCellsAndDirectAddresses) {
  // MOV R0,#0x41; MOV 0x50,#0x77; MOV @R0,0x50; MOV 0x51,@R0; MOV R5,0x51; MOV 0x52,R5;
  // MOV A,#0x99; MOV @R0,A; MOV R6,A; MOV 0x53,A
  Run({0x78, 0x41, 0x75, 0x50, 0x77, 0xA6, 0x50, 0x86, 0x51, 0xAD, 0x51, 0x8D, 0x52, 0x74, 0x99,
       0xF6, 0xFE, 0xF5, 0x53});
  EXPECT_EQ(cpu.Iram(0x51), 0x77);
  EXPECT_EQ(cpu.Iram(0x05), 0x77);
  EXPECT_EQ(cpu.Iram(0x52), 0x77);
  EXPECT_EQ(cpu.Iram(0x41), 0x99);
  EXPECT_EQ(cpu.Iram(0x06), 0x99);
  EXPECT_EQ(cpu.Iram(0x53), 0x99);
  // MOV 0x54,0x53 (the encoding names the source first)
  Run({0x85, 0x53, 0x54});
  EXPECT_EQ(cpu.Iram(0x54), 0x99);
}

TEST_F(CpuOperandFormsTest, ExternalInterruptFlagsSetBySoftwareVectorAndAreCleared) {
  bus.Load(0x0003, {0x05, 0x30, 0x32});  // INC 0x30; RETI
  bus.Load(0x0013, {0x05, 0x31, 0x32});  // INC 0x31; RETI
  cpu.SetSfr(sfr::IE, 0x85);             // EA, EX1, EX0
  // SETB IE0 (0x89); NOP; SETB IE1 (0x8B); NOP; NOP
  Run({0xD2, 0x89, 0x00, 0xD2, 0x8B, 0x00, 0x00});
  EXPECT_EQ(cpu.Iram(0x30), 1);
  EXPECT_EQ(cpu.Iram(0x31), 1);
  EXPECT_EQ(cpu.Sfr(sfr::TCON) & 0x0A, 0);
}

}  // namespace
}  // namespace quillorn::sim::test
