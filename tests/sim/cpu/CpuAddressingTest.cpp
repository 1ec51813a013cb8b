// Where operands live: bit addresses, register banks, the stack, code and external data,
// and the port latch versus the port pins.

#include "tests/sim/cpu/CpuFixture.hpp"

namespace quillorn::sim::test {
namespace {

using CpuAddressingTest = CpuFixture;

TEST_F(CpuAddressingTest, BitAddressesMapToRamBytesAndSfrBits) {
  Run({0xD2, 0x07,    // SETB 0x07   -> byte 0x20 bit 7
       0xD2, 0x7F,    // SETB 0x7F   -> byte 0x2F bit 7
       0xD2, 0x08,    // SETB 0x08   -> byte 0x21 bit 0
       0xD2, 0xD7,    // SETB 0xD7   -> CY
       0xD2, 0x8D,    // SETB 0x8D   -> TF0
       0xD2, 0xE0});  // SETB 0xE0   -> ACC bit 0
  EXPECT_EQ(cpu.Iram(0x20), 0x80);
  EXPECT_EQ(cpu.Iram(0x2F), 0x80);
  EXPECT_EQ(cpu.Iram(0x21), 0x01);
  EXPECT_EQ(cpu.Iram(0x07), 0x00);
  EXPECT_EQ(cpu.Iram(0x7F), 0x00);
  EXPECT_TRUE(Cy());
  EXPECT_EQ(cpu.Sfr(sfr::TCON), 0x20);
  EXPECT_EQ(A(), 0x01);

  // CPL 0x7F, MOV C,0x07, JBC 0x08 (jumps +0 and clears it), CPL 0xD7
  Run({0xB2, 0x7F, 0xA2, 0x07, 0x10, 0x08, 0x00, 0xB2, 0xD7});
  EXPECT_EQ(cpu.Iram(0x2F), 0x00);
  EXPECT_EQ(cpu.Iram(0x21), 0x00);
  EXPECT_FALSE(Cy());  // MOV C,0x07 set it, CPL cleared it
}

TEST_F(CpuAddressingTest, BooleanAndOrWithComplementedOperands) {
  cpu.SetIram(0x20, 0x01);  // bit 0x00 = 1, bit 0x01 = 0
  Run({0xD3, 0x82, 0x01});  // SETB C, ANL C,0x01 -> 0
  EXPECT_FALSE(Cy());
  Run({0xD3, 0xB0, 0x01});  // SETB C, ANL C,/0x01 -> 1
  EXPECT_TRUE(Cy());
  Run({0xC3, 0x72, 0x00});  // CLR C, ORL C,0x00 -> 1
  EXPECT_TRUE(Cy());
  Run({0xC3, 0xA0, 0x00});  // CLR C, ORL C,/0x00 -> 0
  EXPECT_FALSE(Cy());
  Run({0xD3, 0x92, 0x0F});  // SETB C, MOV 0x0F,C -> byte 0x21 bit 7
  EXPECT_EQ(cpu.Iram(0x21), 0x80);
}

TEST_F(CpuAddressingTest, RegisterBanksFollowRs1Rs0) {
  // MOV R0,#0x11; MOV PSW,#0x08; MOV R0,#0x22; MOV PSW,#0x18; MOV R7,#0x33; MOV PSW,#0x10;
  // MOV 0x10,#0x55; MOV A,R0 (bank 2's R0 is 0x10); MOV R1,#0x40; MOV @R1,#0x44
  Run({0x78, 0x11, 0x75, 0xD0, 0x08, 0x78, 0x22, 0x75, 0xD0, 0x18, 0x7F, 0x33, 0x75, 0xD0,
       0x10, 0x75, 0x10, 0x55, 0xE8, 0x79, 0x40, 0x77, 0x44});
  EXPECT_EQ(cpu.Iram(0x00), 0x11);
  EXPECT_EQ(cpu.Iram(0x08), 0x22);
  EXPECT_EQ(cpu.Iram(0x1F), 0x33);
  EXPECT_EQ(A(), 0x55);
  EXPECT_EQ(cpu.Iram(0x11), 0x40);
  EXPECT_EQ(cpu.Iram(0x40), 0x44);
}

TEST_F(CpuAddressingTest, IndirectAddressingReachesUpperRamNotTheSfrs) {
  // MOV R0,#0x90; MOV @R0,#0x5A; MOV 0x90,#0x00 (P1 latch); MOV A,@R0
  Run({0x78, 0x90, 0x76, 0x5A, 0x75, 0x90, 0x00, 0xE6});
  EXPECT_EQ(cpu.Iram(0x90), 0x5A);
  EXPECT_EQ(cpu.Sfr(sfr::P1), 0x00);
  EXPECT_EQ(A(), 0x5A);
}

TEST_F(CpuAddressingTest, PushPopAndCallsUseTheStackUpwards) {
  // MOV SP,#0x30; MOV A,#0xAB; PUSH ACC; POP 0x40; LCALL 0x0200
  bus.Load(0x0200, {0x22});  // RET
  Run({0x75, 0x81, 0x30, 0x74, 0xAB, 0xC0, 0xE0, 0xD0, 0x40, 0x12, 0x02, 0x00});
  EXPECT_EQ(cpu.Iram(0x40), 0xAB);
  EXPECT_EQ(cpu.Sfr(sfr::SP), 0x30);
  // The return address 0x010C was pushed low byte first.
  EXPECT_EQ(cpu.Iram(0x31), 0x0C);
  EXPECT_EQ(cpu.Iram(0x32), 0x01);
}

TEST_F(CpuAddressingTest, StackPointerWrapsFromFfToZero) {
  // MOV SP,#0xFE; PUSH 0x50 (SP=0xFF); PUSH 0x51 (SP=0x00 -> writes R0 of bank 0)
  cpu.SetIram(0x50, 0x12);
  cpu.SetIram(0x51, 0x34);
  Run({0x75, 0x81, 0xFE, 0xC0, 0x50, 0xC0, 0x51});
  EXPECT_EQ(cpu.Iram(0xFF), 0x12);
  EXPECT_EQ(cpu.Iram(0x00), 0x34);
  EXPECT_EQ(cpu.Sfr(sfr::SP), 0x00);
  Run({0xD0, 0x60, 0xD0, 0x61});  // POP 0x60, POP 0x61
  EXPECT_EQ(cpu.Iram(0x60), 0x34);
  EXPECT_EQ(cpu.Iram(0x61), 0x12);
  EXPECT_EQ(cpu.Sfr(sfr::SP), 0xFE);
}

TEST_F(CpuAddressingTest, PopIntoSpKeepsThePoppedValue) {
  cpu.SetIram(0x40, 0x70);
  Run({0x75, 0x81, 0x40, 0xD0, 0x81});  // MOV SP,#0x40; POP SP
  EXPECT_EQ(cpu.Sfr(sfr::SP), 0x70);
}

TEST_F(CpuAddressingTest, MovcReadsCodeRelativeToPcAndDptr) {
  bus.Load(0x0300, {0x10, 0x20, 0x30});
  // MOV DPTR,#0x0300; MOV A,#2; MOVC A,@A+DPTR; MOV R2,A
  // MOV A,#3; MOVC A,@A+PC (PC = 0x010A after it; reads 0x010D); SJMP +2; DB 0x77, 0x88
  Run({0x90, 0x03, 0x00, 0x74, 0x02, 0x93, 0xFA, 0x74, 0x03, 0x83, 0x80, 0x02, 0x77, 0x88});
  EXPECT_EQ(cpu.Iram(0x02), 0x30);
  EXPECT_EQ(A(), 0x88);
}

TEST_F(CpuAddressingTest, CodeWindowServesFetchesWithoutTheBus) {
  std::vector<std::uint8_t> xram(0x0C00, 0xFF);
  xram[0x20] = 0x74;  // MOV A,#0x5C at 0xF420
  xram[0x21] = 0x5C;
  xram[0x22] = 0x90;  // MOV DPTR,#0xF400
  xram[0x23] = 0xF4;
  xram[0x24] = 0x00;
  xram[0x25] = 0xE4;  // CLR A
  xram[0x26] = 0x93;  // MOVC A,@A+DPTR -> reads xram[0]
  xram[0x00] = 0xC7;
  cpu.SetCodeWindow(xram.data(), 0xF400, xram.size());
  cpu.SetPc(0xF420);
  bus.codeReads = 0;
  ASSERT_TRUE(RunUntilPc(cpu, 0xF427, 100));
  EXPECT_EQ(A(), 0xC7);
  EXPECT_EQ(bus.codeReads, 0);

  // Outside the window the bus answers (a vector below 0xF400).
  bus.Load(0x000B, {0x02, 0xF4, 0x20});  // LJMP 0xF420
  cpu.SetPc(0x000B);
  cpu.Step();
  EXPECT_EQ(cpu.Pc(), 0xF420);
  EXPECT_EQ(bus.codeReads, 3);
}

TEST_F(CpuAddressingTest, MovxReachesTheExternalBusWithP2AsHighByteForRi) {
  bus.xdata[0x5555] = 0x3C;
  // MOV DPTR,#0x5555; MOVX A,@DPTR; MOV R5,A; MOV A,#0xAA; MOV DPTR,#0x2AAA; MOVX @DPTR,A
  // MOV P2,#0x81; MOV R1,#0x23; MOV A,#0x99; MOVX @R1,A; MOV R0,#0x23; CLR A; MOVX A,@R0
  Run({0x90, 0x55, 0x55, 0xE0, 0xFD, 0x74, 0xAA, 0x90, 0x2A, 0xAA, 0xF0, 0x75, 0xA0, 0x81,
       0x79, 0x23, 0x74, 0x99, 0xF3, 0x78, 0x23, 0xE4, 0xE2});
  EXPECT_EQ(cpu.Iram(0x05), 0x3C);
  ASSERT_EQ(bus.xdataWrites.size(), 2u);
  EXPECT_EQ(bus.xdataWrites[0], (std::pair<std::uint16_t, std::uint8_t>{0x2AAA, 0xAA}));
  EXPECT_EQ(bus.xdataWrites[1], (std::pair<std::uint16_t, std::uint8_t>{0x8123, 0x99}));
  EXPECT_EQ(A(), 0x99);
}

TEST_F(CpuAddressingTest, ReadModifyWriteSeesTheLatchOtherReadsSeeThePins) {
  bus.pulledLow[1] = 0x02;  // a device holds P1.1 low
  // MOV A,P1 -> pins; JB P1.1 taken? (no); ORL P1,#0x00 -> latch stays 0xFF
  Run({0xE5, 0x90, 0xFA, 0x43, 0x90, 0x00, 0xA2, 0x91});  // ..., MOV C,P1.1
  EXPECT_EQ(cpu.Iram(0x02), 0xFD);
  EXPECT_EQ(cpu.Sfr(sfr::P1), 0xFF);  // a pin read back would have latched 0xFD
  EXPECT_FALSE(Cy());
  ASSERT_FALSE(bus.latchWrites.empty());
  EXPECT_EQ(bus.latchWrites.back(), (std::pair<int, std::uint8_t>{1, 0xFF}));

  // CPL P1.0 then SETB P1.4 on the latch: P1.1 stays released despite the pull.
  Run({0xB2, 0x90, 0xD2, 0x94});
  EXPECT_EQ(cpu.Sfr(sfr::P1), 0xFE);
  // INC P1 and DJNZ P1 also read the latch.
  Run({0x05, 0x90});
  EXPECT_EQ(cpu.Sfr(sfr::P1), 0xFF);
  Run({0xD5, 0x90, 0x00});
  EXPECT_EQ(cpu.Sfr(sfr::P1), 0xFE);
  // MOV P1.5,C with CY=0 clears only that bit of the latch.
  Run({0xC3, 0x92, 0x95});
  EXPECT_EQ(cpu.Sfr(sfr::P1), 0xDE);
  // MOV A,P1 reads the pins: latch 0xDE and the pulled pin.
  Run({0xE5, 0x90});
  EXPECT_EQ(A(), 0xDC);
}

TEST_F(CpuAddressingTest, SfrWritesOutsideTheCoreReachTheBench) {
  Run({0x75, 0xC2, 0xCD, 0x05, 0xC2});  // MOV 0xC2,#0xCD; INC 0xC2
  ASSERT_EQ(bus.sfrWrites.size(), 2u);
  EXPECT_EQ(bus.sfrWrites[0], (std::pair<std::uint8_t, std::uint8_t>{0xC2, 0xCD}));
  EXPECT_EQ(bus.sfrWrites[1], (std::pair<std::uint8_t, std::uint8_t>{0xC2, 0xCE}));
  EXPECT_EQ(cpu.Sfr(0xC2), 0xCE);
}

}  // namespace
}  // namespace quillorn::sim::test
