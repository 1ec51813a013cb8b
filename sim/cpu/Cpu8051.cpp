#include "sim/cpu/Cpu8051.hpp"

#include <utility>

namespace quillorn::sim {

namespace {

// TCON bits.
constexpr std::uint8_t kIe0 = 0x02;
constexpr std::uint8_t kIe1 = 0x08;
constexpr std::uint8_t kTr0 = 0x10;
constexpr std::uint8_t kTf0 = 0x20;
constexpr std::uint8_t kTr1 = 0x40;
constexpr std::uint8_t kTf1 = 0x80;

// SCON bits.
constexpr std::uint8_t kRi = 0x01;
constexpr std::uint8_t kTi = 0x02;
constexpr std::uint8_t kRb8 = 0x04;
constexpr std::uint8_t kRen = 0x10;

constexpr std::uint8_t kEa = 0x80;

bool Parity(std::uint8_t value) {
  value ^= value >> 4;
  value ^= value >> 2;
  value ^= value >> 1;
  return (value & 1) != 0;
}

int PortIndex(std::uint8_t address) {
  switch (address) {
    case sfr::P0: return 0;
    case sfr::P1: return 1;
    case sfr::P2: return 2;
    case sfr::P3: return 3;
    default: return -1;
  }
}

// The interrupt sources in their fixed polling order within one priority level.
struct TInterruptSource {
  std::uint8_t enableBit;  // in IE, and the same bit in IP
  std::uint16_t vector;
};
constexpr TInterruptSource kSources[] = {
    {0x01, vector::External0}, {0x02, vector::Timer0}, {0x04, vector::External1},
    {0x08, vector::Timer1},    {0x10, vector::Serial},
};

}  // namespace

TCpu8051::TCpu8051(ICpuBus& bus) : bus_(bus) {
  Reset();
}

void TCpu8051::Reset() {
  for (auto& reg : sfr_) {
    reg = 0;
  }
  sfr_[sfr::SP] = 0x07;
  sfr_[sfr::P0] = sfr_[sfr::P1] = sfr_[sfr::P2] = sfr_[sfr::P3] = 0xFF;
  sbufReceive_ = 0;
  pc_ = 0;
  inService_ = 0;
  interruptHold_ = false;
  hitReservedOpcode_ = false;
  txBusy_ = false;
  txRemaining_ = 0;
}

void TCpu8051::SetCodeWindow(const std::uint8_t* data, std::uint16_t base, std::size_t size) {
  codeWindow_ = size != 0 ? data : nullptr;
  codeBase_ = base;
  codeSize_ = data != nullptr ? size : 0;
}

std::uint8_t TCpu8051::FetchCode(std::uint16_t address) {
  const std::size_t offset = static_cast<std::uint16_t>(address - codeBase_);
  if (offset < codeSize_) {
    return codeWindow_[offset];
  }
  return bus_.CodeRead(address);
}

std::uint8_t TCpu8051::Fetch() {
  const std::uint8_t value = FetchCode(pc_);
  pc_ = static_cast<std::uint16_t>(pc_ + 1);
  return value;
}

std::uint8_t& TCpu8051::Reg(unsigned n) {
  return iram_[(sfr_[sfr::PSW] & 0x18) | n];
}

void TCpu8051::SetCarry(bool on) {
  sfr_[sfr::PSW] = static_cast<std::uint8_t>(on ? (sfr_[sfr::PSW] | 0x80) : (sfr_[sfr::PSW] & 0x7F));
}

// --- Direct and SFR addressing ------------------------------------------------------

std::uint8_t TCpu8051::Sfr(std::uint8_t address) const {
  if (address == sfr::SBUF) {
    return sbufReceive_;
  }
  if (address == sfr::PSW) {
    return static_cast<std::uint8_t>((sfr_[sfr::PSW] & 0xFE) | (Parity(sfr_[sfr::ACC]) ? 1 : 0));
  }
  return sfr_[address];
}

void TCpu8051::SetSfr(std::uint8_t address, std::uint8_t value) {
  if (address == sfr::SBUF) {
    sbufReceive_ = value;
    return;
  }
  sfr_[address] = value;
}

std::uint8_t TCpu8051::ReadSfr(std::uint8_t address) {
  const int port = PortIndex(address);
  if (port >= 0) {
    return bus_.PortPins(port, sfr_[address]);
  }
  return Sfr(address);
}

void TCpu8051::WriteSfr(std::uint8_t address, std::uint8_t value) {
  switch (address) {
    case sfr::ACC:
    case sfr::B:
    case sfr::PSW:
    case sfr::SP:
    case sfr::DPL:
    case sfr::DPH:
      sfr_[address] = value;
      return;
    case sfr::P0:
    case sfr::P1:
    case sfr::P2:
    case sfr::P3:
      sfr_[address] = value;
      bus_.PortLatchWritten(PortIndex(address), value);
      return;
    case sfr::SBUF:
      // A character still on the wire is cut off by the new one.
      txByte_ = value;
      txBusy_ = true;
      txRemaining_ = serialCharCycles_;
      break;
    case sfr::IE:
    case sfr::IP:
      sfr_[address] = value;
      interruptHold_ = true;
      break;
    default:
      sfr_[address] = value;
      break;
  }
  bus_.SfrWritten(address, value);
}

std::uint8_t TCpu8051::ReadDirect(std::uint8_t address) {
  return address < 0x80 ? iram_[address] : ReadSfr(address);
}

// Read-modify-write instructions see the port latches, not the pins.
std::uint8_t TCpu8051::ReadDirectLatch(std::uint8_t address) {
  return address < 0x80 ? iram_[address] : Sfr(address);
}

void TCpu8051::WriteDirect(std::uint8_t address, std::uint8_t value) {
  if (address < 0x80) {
    iram_[address] = value;
  } else {
    WriteSfr(address, value);
  }
}

// --- Bit addressing: bits 0x00-0x7F live in bytes 0x20-0x2F, bits 0x80-0xFF in the
// SFRs whose address is a multiple of 8. ---------------------------------------------

namespace {
std::uint8_t BitByte(std::uint8_t bit) {
  return bit < 0x80 ? static_cast<std::uint8_t>(0x20 + (bit >> 3)) : static_cast<std::uint8_t>(bit & 0xF8);
}
std::uint8_t BitMask(std::uint8_t bit) {
  return static_cast<std::uint8_t>(1u << (bit & 7));
}
}  // namespace

bool TCpu8051::ReadBit(std::uint8_t bit) {
  return (ReadDirect(BitByte(bit)) & BitMask(bit)) != 0;
}

bool TCpu8051::ReadBitLatch(std::uint8_t bit) {
  return (ReadDirectLatch(BitByte(bit)) & BitMask(bit)) != 0;
}

void TCpu8051::WriteBit(std::uint8_t bit, bool on) {
  const std::uint8_t address = BitByte(bit);
  const std::uint8_t mask = BitMask(bit);
  const std::uint8_t old = ReadDirectLatch(address);
  WriteDirect(address, static_cast<std::uint8_t>(on ? (old | mask) : (old & ~mask)));
}

// --- Stack ---------------------------------------------------------------------------

void TCpu8051::Push(std::uint8_t value) {
  const std::uint8_t sp = static_cast<std::uint8_t>(sfr_[sfr::SP] + 1);
  sfr_[sfr::SP] = sp;
  iram_[sp] = value;
}

std::uint8_t TCpu8051::Pop() {
  const std::uint8_t sp = sfr_[sfr::SP];
  sfr_[sfr::SP] = static_cast<std::uint8_t>(sp - 1);
  return iram_[sp];
}

// --- Arithmetic ----------------------------------------------------------------------

void TCpu8051::Add(std::uint8_t value, bool carryIn) {
  const unsigned a = Acc();
  const unsigned c = carryIn ? 1 : 0;
  const unsigned sum = a + value + c;
  const bool carry7 = sum > 0xFF;
  const bool carry3 = ((a & 0x0F) + (value & 0x0F) + c) > 0x0F;
  const bool carry6 = ((a & 0x7F) + (value & 0x7F) + c) > 0x7F;
  std::uint8_t psw = sfr_[sfr::PSW] & 0x3B;  // keep F0, RS1, RS0, F1, P
  if (carry7) psw |= 0x80;
  if (carry3) psw |= 0x40;
  if (carry6 != carry7) psw |= 0x04;
  sfr_[sfr::PSW] = psw;
  Acc() = static_cast<std::uint8_t>(sum);
}

void TCpu8051::Subb(std::uint8_t value) {
  const int a = Acc();
  const int b = Carry() ? 1 : 0;
  const int difference = a - value - b;
  const bool borrow7 = difference < 0;
  const bool borrow3 = (a & 0x0F) - (value & 0x0F) - b < 0;
  const bool borrow6 = (a & 0x7F) - (value & 0x7F) - b < 0;
  std::uint8_t psw = sfr_[sfr::PSW] & 0x3B;
  if (borrow7) psw |= 0x80;
  if (borrow3) psw |= 0x40;
  if (borrow6 != borrow7) psw |= 0x04;
  sfr_[sfr::PSW] = psw;
  Acc() = static_cast<std::uint8_t>(difference);
}

// Each correction can set the carry but never clears it; AC and OV stay as they are.
void TCpu8051::DecimalAdjust() {
  unsigned a = Acc();
  bool carry = Carry();
  if ((a & 0x0F) > 9 || (sfr_[sfr::PSW] & 0x40) != 0) {
    a += 0x06;
    if (a > 0xFF) carry = true;
    a &= 0xFF;
  }
  if ((a >> 4) > 9 || carry) {
    a += 0x60;
    if (a > 0xFF) carry = true;
    a &= 0xFF;
  }
  Acc() = static_cast<std::uint8_t>(a);
  SetCarry(carry);
}

void TCpu8051::Multiply() {
  const unsigned product = static_cast<unsigned>(Acc()) * sfr_[sfr::B];
  Acc() = static_cast<std::uint8_t>(product);
  sfr_[sfr::B] = static_cast<std::uint8_t>(product >> 8);
  std::uint8_t psw = sfr_[sfr::PSW] & 0x7B;  // CY and OV cleared
  if (product > 0xFF) psw |= 0x04;
  sfr_[sfr::PSW] = psw;
}

// Division by zero sets OV and leaves A and B as they were (the chip leaves them undefined).
void TCpu8051::Divide() {
  std::uint8_t psw = sfr_[sfr::PSW] & 0x7B;
  const std::uint8_t divisor = sfr_[sfr::B];
  if (divisor == 0) {
    psw |= 0x04;
  } else {
    const std::uint8_t dividend = Acc();
    Acc() = static_cast<std::uint8_t>(dividend / divisor);
    sfr_[sfr::B] = static_cast<std::uint8_t>(dividend % divisor);
  }
  sfr_[sfr::PSW] = psw;
}

void TCpu8051::CompareJump(std::uint8_t left, std::uint8_t right) {
  const auto offset = static_cast<std::int8_t>(Fetch());
  SetCarry(left < right);
  if (left != right) {
    Jump(offset);
  }
}

// --- Stepping, interrupts, timers ----------------------------------------------------

std::uint64_t TCpu8051::Step() {
  std::uint64_t spent;
  if (interruptHold_) {
    interruptHold_ = false;
    spent = Execute(Fetch());
    ++instructions_;
  } else if ((sfr_[sfr::IE] & kEa) != 0 && EnterPendingInterrupt()) {
    spent = 2;
  } else {
    spent = Execute(Fetch());
    ++instructions_;
  }
  Advance(spent);
  return spent;
}

std::uint64_t TCpu8051::RunCycles(std::uint64_t cycles) {
  const std::uint64_t start = cycles_;
  while (cycles_ - start < cycles) {
    Step();
  }
  return cycles_ - start;
}

bool TCpu8051::EnterPendingInterrupt() {
  const std::uint8_t tcon = sfr_[sfr::TCON];
  const std::uint8_t scon = sfr_[sfr::SCON];
  std::uint8_t requests = 0;
  if (tcon & kIe0) requests |= 0x01;
  if (tcon & kTf0) requests |= 0x02;
  if (tcon & kIe1) requests |= 0x04;
  if (tcon & kTf1) requests |= 0x08;
  if (scon & (kRi | kTi)) requests |= 0x10;
  requests &= sfr_[sfr::IE];
  if (requests == 0 || (inService_ & 0x02) != 0) {
    return false;
  }
  const std::uint8_t high = requests & sfr_[sfr::IP];
  std::uint8_t candidates;
  std::uint8_t level;
  if (high != 0) {
    candidates = high;
    level = 0x02;
  } else if (inService_ == 0) {
    candidates = requests;
    level = 0x01;
  } else {
    return false;
  }
  for (const auto& source : kSources) {
    if ((candidates & source.enableBit) == 0) {
      continue;
    }
    inService_ |= level;
    // Timer and external flags are cleared by the hardware on vectoring; the serial flags
    // stay for the handler to examine. (A level-triggered external flag follows its pin
    // on the chip; nothing on this board holds INT0/INT1 low, so it drops as well.)
    std::uint8_t& tcon = sfr_[sfr::TCON];
    switch (source.vector) {
      case vector::Timer0: tcon &= ~kTf0; break;
      case vector::Timer1: tcon &= ~kTf1; break;
      case vector::External0: tcon &= ~kIe0; break;
      case vector::External1: tcon &= ~kIe1; break;
      default: break;
    }
    Push(static_cast<std::uint8_t>(pc_));
    Push(static_cast<std::uint8_t>(pc_ >> 8));
    pc_ = source.vector;
    return true;
  }
  return false;
}

void TCpu8051::Advance(std::uint64_t cycles) {
  cycles_ += cycles;
  const std::uint8_t tcon = sfr_[sfr::TCON];
  const bool timer0Split = (sfr_[sfr::TMOD] & 0x03) == 0x03;
  if ((tcon & kTr0) != 0 || (timer0Split && (tcon & kTr1) != 0)) {
    AdvanceTimer0(cycles);
  }
  if ((tcon & kTr1) != 0) {
    AdvanceTimer1(cycles);
  }
  if (txBusy_) {
    if (txRemaining_ > cycles) {
      txRemaining_ -= cycles;
    } else {
      FinishTransmission();
    }
  }
}

// GATE set: the timer runs only while its external interrupt pin (P3.2 / P3.3) is high.
bool TCpu8051::TimerGateOpen(unsigned timer) {
  const std::uint8_t control = static_cast<std::uint8_t>(sfr_[sfr::TMOD] >> (timer * 4));
  if ((control & 0x08) == 0) {
    return true;
  }
  const std::uint8_t pins = bus_.PortPins(3, sfr_[sfr::P3]);
  return (pins & (timer == 0 ? 0x04 : 0x08)) != 0;
}

namespace {

// One timer in modes 0 to 2 counting `cycles`; returns true on overflow.
bool Count(std::uint8_t& low, std::uint8_t& high, unsigned mode, std::uint64_t cycles) {
  switch (mode) {
    case 0: {  // 13 bits: TH and the low 5 bits of TL
      const std::uint64_t value = ((static_cast<std::uint64_t>(high) << 5) | (low & 0x1F)) + cycles;
      low = static_cast<std::uint8_t>((low & 0xE0) | (value & 0x1F));
      high = static_cast<std::uint8_t>(value >> 5);
      return value > 0x1FFF;
    }
    case 1: {
      const std::uint64_t value = ((static_cast<std::uint64_t>(high) << 8) | low) + cycles;
      low = static_cast<std::uint8_t>(value);
      high = static_cast<std::uint8_t>(value >> 8);
      return value > 0xFFFF;
    }
    case 2: {  // 8 bits, reloaded from TH on overflow
      std::uint64_t value = low + cycles;
      if (value <= 0xFF) {
        low = static_cast<std::uint8_t>(value);
        return false;
      }
      const std::uint64_t period = 0x100u - high;
      value = high + (value - 0x100) % period;
      low = static_cast<std::uint8_t>(value);
      return true;
    }
    default:
      return false;
  }
}

bool Count8(std::uint8_t& reg, std::uint64_t cycles) {
  const std::uint64_t value = reg + cycles;
  reg = static_cast<std::uint8_t>(value);
  return value > 0xFF;
}

}  // namespace

// Counter mode (C/T set) counts pulses on T0/T1, which nothing on the board drives.
void TCpu8051::AdvanceTimer0(std::uint64_t cycles) {
  const std::uint8_t control = sfr_[sfr::TMOD] & 0x0F;
  if ((control & 0x04) != 0) {
    return;
  }
  const unsigned mode = control & 0x03;
  std::uint8_t& tcon = sfr_[sfr::TCON];
  if (mode == 3) {
    // Split mode: TL0 is timer 0 under TR0 and GATE; TH0 is an 8-bit timer run by TR1
    // that owns TF1.
    if ((tcon & kTr0) != 0 && TimerGateOpen(0) && Count8(sfr_[sfr::TL0], cycles)) {
      tcon |= kTf0;
    }
    if ((tcon & kTr1) != 0 && Count8(sfr_[sfr::TH0], cycles)) {
      tcon |= kTf1;
    }
    return;
  }
  if (TimerGateOpen(0) && Count(sfr_[sfr::TL0], sfr_[sfr::TH0], mode, cycles)) {
    tcon |= kTf0;
  }
}

// While timer 0 is split, TH0 owns TF1: timer 1 still counts (a baud-rate source) but
// raises no flag.
void TCpu8051::AdvanceTimer1(std::uint64_t cycles) {
  const std::uint8_t control = static_cast<std::uint8_t>(sfr_[sfr::TMOD] >> 4);
  if ((control & 0x04) != 0 || (control & 0x03) == 3) {
    return;  // counter mode, or mode 3 which stops timer 1
  }
  const bool timer0Split = (sfr_[sfr::TMOD] & 0x03) == 0x03;
  if (TimerGateOpen(1) && Count(sfr_[sfr::TL1], sfr_[sfr::TH1], control & 0x03, cycles) &&
      !timer0Split) {
    sfr_[sfr::TCON] |= kTf1;
  }
}

// --- Serial port ---------------------------------------------------------------------

void TCpu8051::SetSerialCharCycles(std::uint32_t cycles) {
  serialCharCycles_ = cycles == 0 ? 1 : cycles;
}

void TCpu8051::SetSerialTransmitHandler(std::function<void(std::uint8_t)> handler) {
  transmitHandler_ = std::move(handler);
}

void TCpu8051::FinishTransmission() {
  txBusy_ = false;
  txRemaining_ = 0;
  sfr_[sfr::SCON] |= kTi;
  if (transmitHandler_) {
    transmitHandler_(txByte_);
  }
}

bool TCpu8051::SerialReceiverReady() const {
  const std::uint8_t scon = sfr_[sfr::SCON];
  return (scon & kRen) != 0 && (scon & kRi) == 0;
}

bool TCpu8051::SerialReceive(std::uint8_t byte) {
  if (!SerialReceiverReady()) {
    return false;
  }
  sbufReceive_ = byte;
  sfr_[sfr::SCON] |= kRi | kRb8;
  return true;
}

}  // namespace quillorn::sim
