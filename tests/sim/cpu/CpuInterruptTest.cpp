// Timers, the interrupt system and the serial port.

#include "tests/sim/cpu/CpuFixture.hpp"

namespace quillorn::sim::test {
namespace {

// TCON / SCON / IE bits used below.
constexpr std::uint8_t kTr0 = 0x10;
constexpr std::uint8_t kTf0 = 0x20;
constexpr std::uint8_t kTr1 = 0x40;
constexpr std::uint8_t kTf1 = 0x80;
constexpr std::uint8_t kRi = 0x01;
constexpr std::uint8_t kTi = 0x02;

class CpuTimerTest : public CpuFixture {
protected:
  // Code memory holds 0xFF (MOV R7,A, one cycle) everywhere: a free-running one-cycle loop.
  void StartTimer0(std::uint8_t tmod, std::uint8_t th, std::uint8_t tl) {
    cpu.SetSfr(sfr::TMOD, tmod);
    cpu.SetSfr(sfr::TH0, th);
    cpu.SetSfr(sfr::TL0, tl);
    cpu.SetSfr(sfr::TCON, kTr0);
    cpu.SetPc(0x0100);
  }
  bool Tf0() const { return (cpu.Sfr(sfr::TCON) & kTf0) != 0; }
};

TEST_F(CpuTimerTest, Mode1OverflowsAfterTheReloadCountOfTheTick) {
  StartTimer0(0x01, 0xEE, 0x01);  // 4607 counts to overflow
  cpu.RunCycles(4606);
  EXPECT_FALSE(Tf0());
  EXPECT_EQ(cpu.Sfr(sfr::TH0), 0xFF);
  EXPECT_EQ(cpu.Sfr(sfr::TL0), 0xFF);
  cpu.RunCycles(1);
  EXPECT_TRUE(Tf0());
  EXPECT_EQ(cpu.Sfr(sfr::TH0), 0x00);
  EXPECT_EQ(cpu.Sfr(sfr::TL0), 0x00);
}

TEST_F(CpuTimerTest, Mode2ReloadsFromTh0OnEveryOverflow) {
  StartTimer0(0x02, 0xF0, 0xF0);
  cpu.RunCycles(15);
  EXPECT_FALSE(Tf0());
  cpu.RunCycles(1);
  EXPECT_TRUE(Tf0());
  EXPECT_EQ(cpu.Sfr(sfr::TL0), 0xF0);
  cpu.RunCycles(16 * 9 + 5);
  EXPECT_EQ(cpu.Sfr(sfr::TL0), 0xF5);
  EXPECT_EQ(cpu.Sfr(sfr::TH0), 0xF0);
}

TEST_F(CpuTimerTest, Mode0CountsThirteenBits) {
  StartTimer0(0x00, 0xFF, 0xFE);  // low five bits 0x1E: 0x1FFE, upper TL0 bits unused
  cpu.RunCycles(1);
  EXPECT_FALSE(Tf0());
  EXPECT_EQ(cpu.Sfr(sfr::TL0), 0xFF);
  cpu.RunCycles(1);
  EXPECT_TRUE(Tf0());
  EXPECT_EQ(cpu.Sfr(sfr::TH0), 0x00);
  EXPECT_EQ(cpu.Sfr(sfr::TL0) & 0x1F, 0x00);
}

TEST_F(CpuTimerTest, Mode3SplitsTimer0IntoTwoEightBitTimers) {
  StartTimer0(0x03, 0xFE, 0xFC);
  cpu.SetSfr(sfr::TCON, kTr0 | kTr1);
  cpu.RunCycles(2);
  EXPECT_FALSE(Tf0());
  EXPECT_TRUE((cpu.Sfr(sfr::TCON) & kTf1) != 0);  // TH0 ran under TR1 and owns TF1
  cpu.RunCycles(2);
  EXPECT_TRUE(Tf0());
}

TEST_F(CpuTimerTest, GateHoldsTheTimerWhileItsInterruptPinIsLow) {
  bus.pulledLow[3] = 0x04;  // INT0 (P3.2) low
  StartTimer0(0x09, 0xFF, 0xF0);
  cpu.RunCycles(100);
  EXPECT_FALSE(Tf0());
  EXPECT_EQ(cpu.Sfr(sfr::TL0), 0xF0);
  bus.pulledLow[3] = 0x00;
  cpu.RunCycles(16);
  EXPECT_TRUE(Tf0());
}

TEST_F(CpuTimerTest, StoppedAndCounterModeTimersDoNotCount) {
  StartTimer0(0x05, 0xFF, 0xF0);  // C/T set: counts T0 pulses, which never come
  cpu.RunCycles(100);
  EXPECT_EQ(cpu.Sfr(sfr::TL0), 0xF0);
  StartTimer0(0x01, 0xFF, 0xF0);
  cpu.SetSfr(sfr::TCON, 0);
  cpu.RunCycles(100);
  EXPECT_EQ(cpu.Sfr(sfr::TL0), 0xF0);
}

TEST_F(CpuTimerTest, Timer1CountsIndependently) {
  cpu.SetSfr(sfr::TMOD, 0x10);
  cpu.SetSfr(sfr::TH1, 0xFF);
  cpu.SetSfr(sfr::TL1, 0xFD);
  cpu.SetSfr(sfr::TCON, kTr1);
  cpu.SetPc(0x0100);
  cpu.RunCycles(3);
  EXPECT_TRUE((cpu.Sfr(sfr::TCON) & kTf1) != 0);
  EXPECT_FALSE(Tf0());
}

class CpuInterruptTest : public CpuFixture {
protected:
  std::uint16_t ReturnAddressOnStack() const {
    const std::uint8_t sp = cpu.Sfr(sfr::SP);
    return static_cast<std::uint16_t>((cpu.Iram(sp) << 8) | cpu.Iram(static_cast<std::uint8_t>(sp - 1)));
  }
};

TEST_F(CpuInterruptTest, Timer0OverflowVectorsTo000BClearsTf0AndReturnsWithReti) {
  bus.Load(0x000B, {0x05, 0x30, 0x00, 0x32});  // INC 0x30; NOP; RETI
  bus.Load(0x0100, {0x75, 0x89, 0x01,          // MOV TMOD,#1
                    0x75, 0x8C, 0xFF,          // MOV TH0,#0xFF
                    0x75, 0x8A, 0xF0,          // MOV TL0,#0xF0
                    0x75, 0xA8, 0x82,          // MOV IE,#0x82
                    0xD2, 0x8C,                // SETB TR0
                    0x80, 0xFE});              // SJMP $
  cpu.SetPc(0x0100);
  ASSERT_TRUE(RunUntilPc(cpu, 0x010E, 100));
  const std::uint64_t started = cpu.Cycles();
  ASSERT_TRUE(RunUntilPc(cpu, 0x000B, 100));
  const std::uint64_t firstEntry = cpu.Cycles();
  EXPECT_GE(firstEntry - started, 16u);
  EXPECT_LE(firstEntry - started, 19u);
  EXPECT_EQ(cpu.Sfr(sfr::TCON) & kTf0, 0);
  EXPECT_EQ(ReturnAddressOnStack(), 0x010E);
  EXPECT_EQ(cpu.Sfr(sfr::SP), 0x09);

  ASSERT_TRUE(RunUntilPc(cpu, 0x010E, 100));
  EXPECT_EQ(cpu.Iram(0x30), 1);
  EXPECT_EQ(cpu.Sfr(sfr::SP), 0x07);

  // Without a reload the next overflow comes a full 65536 cycles later.
  ASSERT_TRUE(RunUntilPc(cpu, 0x000B, 70000));
  EXPECT_EQ(cpu.Cycles() - firstEntry, 65536u);
}

TEST_F(CpuInterruptTest, NoInterruptIsTakenUntilOneInstructionAfterAWriteToIe) {
  cpu.SetSfr(sfr::TCON, kTf0);
  bus.Load(0x0100, {0x75, 0xA8, 0x82, 0x00, 0x00});  // MOV IE,#0x82; NOP; NOP
  cpu.SetPc(0x0100);
  cpu.Step();
  EXPECT_EQ(cpu.Pc(), 0x0103);
  cpu.Step();
  EXPECT_EQ(cpu.Pc(), 0x0104);  // the NOP ran first
  EXPECT_EQ(cpu.Step(), 2u);    // the hardware call
  EXPECT_EQ(cpu.Pc(), 0x000B);
  EXPECT_EQ(ReturnAddressOnStack(), 0x0104);
}

TEST_F(CpuInterruptTest, DisabledSourcesAndEaClearedKeepTheFlagPending) {
  cpu.SetSfr(sfr::TCON, kTf0);
  cpu.SetSfr(sfr::IE, 0x02);  // ET0 without EA
  cpu.SetPc(0x0100);
  cpu.RunCycles(50);
  EXPECT_NE(cpu.Sfr(sfr::TCON) & kTf0, 0);
  cpu.SetSfr(sfr::IE, 0x90);  // EA with only ES
  cpu.RunCycles(50);
  EXPECT_NE(cpu.Sfr(sfr::TCON) & kTf0, 0);
  EXPECT_GE(cpu.Pc(), 0x0100);
}

// Timer 0's handler waits in a loop for bit 0x00; the serial handler sets it.
class CpuPriorityTest : public CpuInterruptTest {
protected:
  void SetUp() override {
    bus.Load(0x000B, {0x02, 0x04, 0x00});              // LJMP 0x0400
    bus.Load(0x0400, {0x30, 0x00, 0xFD, 0xC2, 0x00, 0x32});  // JNB 0x00,$; CLR 0x00; RETI
    bus.Load(0x0023, {0x05, 0x31, 0xC2, 0x98, 0xD2, 0x00, 0x32});  // INC 0x31; CLR RI; SETB 0x00; RETI
    bus.Load(0x0100, {0x75, 0x98, 0x50,   // MOV SCON,#0x50 (mode 1, REN)
                      0xD2, 0x8D,         // SETB TF0
                      0x00, 0x00, 0x00, 0x00, 0x80, 0xFE});
    cpu.SetSfr(sfr::IE, 0x92);  // EA, ES, ET0
    cpu.SetPc(0x0100);
    ASSERT_TRUE(RunUntilPc(cpu, 0x0400, 100));
  }
};

TEST_F(CpuPriorityTest, HighPriorityInterruptsALowPriorityHandler) {
  cpu.SetSfr(sfr::IP, 0x10);  // serial high
  cpu.RunCycles(20);          // the timer handler spins
  ASSERT_TRUE(cpu.SerialReceive(0x33));
  ASSERT_TRUE(RunUntilPc(cpu, 0x0023, 20));
  EXPECT_GE(ReturnAddressOnStack(), 0x0400);
  EXPECT_LE(ReturnAddressOnStack(), 0x0402);
  // Back through both handlers into the main loop.
  ASSERT_TRUE(RunUntilPc(cpu, 0x0109, 100));
  EXPECT_EQ(cpu.Iram(0x31), 1);
  EXPECT_EQ(cpu.Sfr(sfr::SP), 0x07);
}

TEST_F(CpuPriorityTest, EqualPriorityWaitsForRetiAndOneMoreInstruction) {
  ASSERT_TRUE(cpu.SerialReceive(0x33));
  EXPECT_FALSE(RunUntilPc(cpu, 0x0023, 300));  // the low timer handler is not interrupted
  cpu.SetIram(0x20, 0x01);                     // release the timer handler
  ASSERT_TRUE(RunUntilPc(cpu, 0x0405, 20));    // its RETI
  cpu.Step();                                  // RETI back to the main line
  const std::uint16_t resumed = cpu.Pc();
  EXPECT_GE(resumed, 0x0105);
  cpu.Step();  // one main-line instruction first
  EXPECT_EQ(cpu.Pc(), resumed + 1);
  cpu.Step();
  EXPECT_EQ(cpu.Pc(), 0x0023);
}

// The same set-up with both sources at high priority: the timer handler runs at high level.
class CpuHighPriorityTest : public CpuPriorityTest {
protected:
  void SetUp() override {
    cpu.SetSfr(sfr::IP, 0x12);
    CpuPriorityTest::SetUp();
  }
};

TEST_F(CpuHighPriorityTest, HighPriorityHandlerIsNotInterruptedByAnother) {
  ASSERT_TRUE(cpu.SerialReceive(0x33));
  EXPECT_FALSE(RunUntilPc(cpu, 0x0023, 300));
  cpu.SetIram(0x20, 0x01);
  ASSERT_TRUE(RunUntilPc(cpu, 0x0023, 50));  // taken once the handler has returned
}

class CpuSerialTest : public CpuFixture {};

TEST_F(CpuSerialTest, ReceiveNeedsTheReceiverEnabledAndFree) {
  EXPECT_FALSE(cpu.SerialReceive(0x41));  // REN = 0 after reset
  EXPECT_EQ(cpu.Sfr(sfr::SCON) & kRi, 0);

  Run({0x75, 0x98, 0x50});  // MOV SCON,#0x50
  EXPECT_TRUE(cpu.SerialReceiverReady());
  EXPECT_TRUE(cpu.SerialReceive(0x41));
  EXPECT_EQ(cpu.Sfr(sfr::SCON) & kRi, kRi);
  EXPECT_FALSE(cpu.SerialReceive(0x42));  // RI still set: overrun loses the new byte
  Run({0xE5, 0x99, 0xC2, 0x98});          // MOV A,SBUF; CLR RI
  EXPECT_EQ(A(), 0x41);
  EXPECT_TRUE(cpu.SerialReceive(0x43));
  Run({0xE5, 0x99});
  EXPECT_EQ(A(), 0x43);
}

TEST_F(CpuSerialTest, TransmitSetsTiAfterOneCharacterTimeAndHandsTheByteOver) {
  std::vector<std::pair<std::uint8_t, std::uint64_t>> sent;
  cpu.SetSerialTransmitHandler([&](std::uint8_t b) { sent.emplace_back(b, cpu.Cycles()); });
  cpu.SetSerialCharCycles(100);
  bus.Load(0x0100, {0x75, 0x99, 0x55,   // MOV SBUF,#0x55
                    0x30, 0x99, 0xFD,   // JNB TI,$
                    0xC2, 0x99,         // CLR TI
                    0x75, 0x99, 0xAA,   // MOV SBUF,#0xAA
                    0x30, 0x99, 0xFD,   // JNB TI,$
                    0x80, 0xFE});
  cpu.SetPc(0x0100);
  const std::uint64_t start = cpu.Cycles();
  cpu.Step();
  EXPECT_TRUE(cpu.SerialTransmitting());
  EXPECT_EQ(cpu.Sfr(sfr::SCON) & kTi, 0);
  ASSERT_TRUE(RunUntilPc(cpu, 0x010E, 1000));
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].first, 0x55);
  EXPECT_EQ(sent[1].first, 0xAA);
  EXPECT_GE(sent[0].second - start, 100u);
  EXPECT_LE(sent[0].second - start, 102u);
  EXPECT_GE(sent[1].second - sent[0].second, 100u);
  EXPECT_FALSE(cpu.SerialTransmitting());
}

TEST_F(CpuSerialTest, ReceiveAndTransmitFlagsRequestTheSerialInterrupt) {
  bus.Load(0x0023, {0x05, 0x32, 0xC2, 0x99, 0x32});  // INC 0x32; CLR TI; RETI
  cpu.SetSfr(sfr::IE, 0x90);
  cpu.SetSerialCharCycles(10);
  bus.Load(0x0100, {0x75, 0x99, 0x01, 0x80, 0xFE});  // MOV SBUF,#1; SJMP $
  cpu.SetPc(0x0100);
  ASSERT_TRUE(RunUntilPc(cpu, 0x0023, 50));
  EXPECT_NE(cpu.Sfr(sfr::SCON) & kTi, 0);  // the handler clears it, not the hardware
  ASSERT_TRUE(RunUntilPc(cpu, 0x0103, 50));
  EXPECT_EQ(cpu.Iram(0x32), 1);
}

}  // namespace
}  // namespace quillorn::sim::test
