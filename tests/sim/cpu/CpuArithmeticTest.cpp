// Flag rules of the arithmetic instructions at their boundary values.

#include "tests/sim/cpu/CpuFixture.hpp"

namespace quillorn::sim::test {
namespace {

struct TFlagCase {
  std::uint8_t a;
  std::uint8_t operand;
  bool carryIn;
  std::uint8_t result;
  bool cy;
  bool ac;
  bool ov;
};

class CpuArithmeticTest : public CpuFixture {
protected:
  // SETB C / CLR C, MOV A,#a, <op> A,#operand
  void RunOp(std::uint8_t opcode, const TFlagCase& c) {
    Run({static_cast<std::uint8_t>(c.carryIn ? 0xD3 : 0xC3), 0x74, c.a, opcode, c.operand});
  }
  void Check(const TFlagCase& c, const char* what) {
    SCOPED_TRACE(testing::Message() << what << " a=" << int(c.a) << " op=" << int(c.operand)
                                    << " cy=" << c.carryIn);
    EXPECT_EQ(A(), c.result);
    EXPECT_EQ(Cy(), c.cy);
    EXPECT_EQ(Ac(), c.ac);
    EXPECT_EQ(Ov(), c.ov);
  }
};

TEST_F(CpuArithmeticTest, AddSetsCarryAuxiliaryCarryAndOverflowAtTheirBoundaries) {
  const TFlagCase cases[] = {
      {0x7F, 0x01, false, 0x80, false, true, true},    // positive overflow into the sign
      {0xFF, 0x01, false, 0x00, true, true, false},    // carry out, no signed overflow
      {0x80, 0x80, false, 0x00, true, false, true},    // two negatives wrap to zero
      {0x08, 0x08, false, 0x10, false, true, false},   // nibble carry only
      {0x40, 0x3F, false, 0x7F, false, false, false},  // just below every boundary
      {0xC0, 0xC0, false, 0x80, true, false, false},   // negative + negative stays negative
      {0x0F, 0x00, true, 0x0F, false, false, false},   // ADD ignores the incoming carry
  };
  for (const auto& c : cases) {
    RunOp(0x24, c);
    Check(c, "ADD");
  }
}

TEST_F(CpuArithmeticTest, AddcAddsTheCarryIntoEveryFlag) {
  const TFlagCase cases[] = {
      {0x0F, 0x00, true, 0x10, false, true, false},
      {0x7F, 0x00, true, 0x80, false, true, true},
      {0xFF, 0x00, true, 0x00, true, true, false},
      {0xFE, 0x01, true, 0x00, true, true, false},
      {0x00, 0x00, false, 0x00, false, false, false},
  };
  for (const auto& c : cases) {
    RunOp(0x34, c);
    Check(c, "ADDC");
  }
}

TEST_F(CpuArithmeticTest, SubbBorrowsThroughTheCarry) {
  const TFlagCase cases[] = {
      {0x00, 0x01, false, 0xFF, true, true, false},   // borrow out of both nibbles
      {0x80, 0x01, false, 0x7F, false, true, true},   // -128 - 1 overflows
      {0x7F, 0xFF, false, 0x80, true, false, true},   // 127 - (-1) overflows, low nibble equal
      {0x10, 0x0F, true, 0x00, false, true, false},   // the carry is subtracted too
      {0x05, 0x05, true, 0xFF, true, true, false},
      {0x05, 0x05, false, 0x00, false, false, false},
  };
  for (const auto& c : cases) {
    RunOp(0x94, c);
    Check(c, "SUBB");
  }
}

TEST_F(CpuArithmeticTest, DecimalAdjustCorrectsBothDigitsAndNeverClearsTheCarry) {
  struct TCase {
    std::uint8_t x, y, result;
    bool cy;
  } cases[] = {
      {0x99, 0x01, 0x00, true},   // 99 + 1 = 100
      {0x09, 0x09, 0x18, false},  // AC set by the binary add, low digit looks valid
      {0x56, 0x67, 0x23, true},   // 56 + 67 = 123
      {0x90, 0x90, 0x80, true},   // binary carry already set, high digit fine: keeps CY
      {0x45, 0x45, 0x90, false},  // low digit > 9 only
      {0x50, 0x4A, 0x00, true},   // low correction makes the high digit overflow
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "DA " << int(c.x) << "+" << int(c.y));
    Run({0xC3, 0x74, c.x, 0x24, c.y, 0xD4});  // CLR C, MOV A,#x, ADD A,#y, DA A
    EXPECT_EQ(A(), c.result);
    EXPECT_EQ(Cy(), c.cy);
  }
}

TEST_F(CpuArithmeticTest, MulPutsTheHighByteInBAndFlagsOverflowAbove255) {
  // SETB C, MOV A,#0x50, MOV B,#0xA0, MUL AB
  Run({0xD3, 0x74, 0x50, 0x75, 0xF0, 0xA0, 0xA4});
  EXPECT_EQ(A(), 0x00);
  EXPECT_EQ(cpu.Sfr(sfr::B), 0x32);
  EXPECT_TRUE(Ov());
  EXPECT_FALSE(Cy());

  Run({0xD3, 0x74, 0x0F, 0x75, 0xF0, 0x11, 0xA4});
  EXPECT_EQ(A(), 0xFF);
  EXPECT_EQ(cpu.Sfr(sfr::B), 0x00);
  EXPECT_FALSE(Ov());
  EXPECT_FALSE(Cy());
}

TEST_F(CpuArithmeticTest, DivLeavesQuotientAndRemainderAndFlagsDivisionByZero) {
  Run({0xD3, 0x74, 0xFB, 0x75, 0xF0, 0x12, 0x84});  // 251 / 18
  EXPECT_EQ(A(), 13);
  EXPECT_EQ(cpu.Sfr(sfr::B), 17);
  EXPECT_FALSE(Ov());
  EXPECT_FALSE(Cy());

  Run({0xD3, 0x74, 0x42, 0x75, 0xF0, 0x00, 0x84});  // 0x42 / 0
  EXPECT_TRUE(Ov());
  EXPECT_FALSE(Cy());
}

TEST_F(CpuArithmeticTest, ParityFollowsTheAccumulatorWhateverWritesIt) {
  Run({0x74, 0x07});  // three bits set: odd
  EXPECT_EQ(Psw() & 1, 1);
  Run({0x74, 0x03});
  EXPECT_EQ(Psw() & 1, 0);
  // MOV 0xE0,#0x01 writes ACC as a direct address; PUSH PSW then sees P = 1.
  Run({0x75, 0xE0, 0x01, 0x75, 0x81, 0x50, 0xC0, 0xD0});
  EXPECT_EQ(cpu.Iram(0x51) & 1, 1);
}

TEST_F(CpuArithmeticTest, RotatesThroughCarryAndIncrementsWrapWithoutFlags) {
  // SETB C, MOV A,#0x80, RLC A  -> A=0x01, CY=1
  Run({0xD3, 0x74, 0x80, 0x33});
  EXPECT_EQ(A(), 0x01);
  EXPECT_TRUE(Cy());
  // CLR C, MOV A,#0x01, RRC A -> A=0x00, CY=1
  Run({0xC3, 0x74, 0x01, 0x13});
  EXPECT_EQ(A(), 0x00);
  EXPECT_TRUE(Cy());
  // CLR C, MOV A,#0xFF, INC A -> 0, no carry; MOV DPTR,#0x12FF, INC DPTR
  Run({0xC3, 0x74, 0xFF, 0x04, 0x90, 0x12, 0xFF, 0xA3});
  EXPECT_EQ(A(), 0x00);
  EXPECT_FALSE(Cy());
  EXPECT_EQ(cpu.Sfr(sfr::DPH), 0x13);
  EXPECT_EQ(cpu.Sfr(sfr::DPL), 0x00);
  // MOV A,#0x3C, SWAP A, XCHD with @R0: R0=0x30, [0x30]=0x5A
  Run({0x74, 0x3C, 0xC4, 0x78, 0x30, 0x76, 0x5A, 0xD6});
  EXPECT_EQ(A(), 0xCA);
  EXPECT_EQ(cpu.Iram(0x30), 0x53);
}

}  // namespace
}  // namespace quillorn::sim::test
