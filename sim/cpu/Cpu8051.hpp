#pragma once

// The ECU's processor: an 8051 core in the flavour of the C509 in boot mode. It executes
// the uploaded bootstrap image instruction by instruction with the usual machine-cycle
// counts, runs timer 0 and timer 1 on those cycles, and models the serial port at the
// character level. Everything outside the core (code memory, the external bus, the port
// pins, the timing of the serial line) belongs to the bench, which reaches the core through
// ICpuBus and the serial calls below.
//
// What the core leaves out, because nothing on the board uses it: the INT0/INT1 pins are
// not sampled (IE0/IE1 request interrupts only when software sets them), counter mode
// (C/T) counts nothing, idle and power-down modes do not stop the core, timer 2 and the
// C509's additional peripherals are absent, and every serial mode behaves like mode 1 at
// the character level (RB8 receives the stop bit).

#include <cstddef>
#include <cstdint>
#include <functional>

namespace quillorn::sim {

// Addresses of the special function registers the core implements itself.
namespace sfr {
inline constexpr std::uint8_t P0 = 0x80;
inline constexpr std::uint8_t SP = 0x81;
inline constexpr std::uint8_t DPL = 0x82;
inline constexpr std::uint8_t DPH = 0x83;
inline constexpr std::uint8_t PCON = 0x87;
inline constexpr std::uint8_t TCON = 0x88;
inline constexpr std::uint8_t TMOD = 0x89;
inline constexpr std::uint8_t TL0 = 0x8A;
inline constexpr std::uint8_t TL1 = 0x8B;
inline constexpr std::uint8_t TH0 = 0x8C;
inline constexpr std::uint8_t TH1 = 0x8D;
inline constexpr std::uint8_t P1 = 0x90;
inline constexpr std::uint8_t SCON = 0x98;
inline constexpr std::uint8_t SBUF = 0x99;
inline constexpr std::uint8_t P2 = 0xA0;
inline constexpr std::uint8_t IE = 0xA8;
inline constexpr std::uint8_t P3 = 0xB0;
inline constexpr std::uint8_t IP = 0xB8;
inline constexpr std::uint8_t PSW = 0xD0;
inline constexpr std::uint8_t ACC = 0xE0;
inline constexpr std::uint8_t B = 0xF0;
}  // namespace sfr

// Interrupt vectors of the standard 8051 sources.
namespace vector {
inline constexpr std::uint16_t External0 = 0x0003;
inline constexpr std::uint16_t Timer0 = 0x000B;
inline constexpr std::uint16_t External1 = 0x0013;
inline constexpr std::uint16_t Timer1 = 0x001B;
inline constexpr std::uint16_t Serial = 0x0023;
}  // namespace vector

// What the processor sees of the board around it; the bench implements it.
struct ICpuBus {
  virtual ~ICpuBus() = default;

  // Code memory (instruction fetch and MOVC) outside the fast code window, if one is set.
  virtual std::uint8_t CodeRead(std::uint16_t address) = 0;

  // The external data bus (MOVX), the whole 64 KiB.
  virtual std::uint8_t XdataRead(std::uint16_t address) = 0;
  virtual void XdataWrite(std::uint16_t address, std::uint8_t value) = 0;

  // Pin levels of port 0..3 for an instruction that reads the pins. Pins are
  // quasi-bidirectional: a pin reads 0 when its latch bit is 0 or a device pulls it low,
  // so a correct answer is latch & (what the devices leave high).
  virtual std::uint8_t PortPins(int port, std::uint8_t latch) { return latch; }

  // Software wrote the latch of port 0..3 (also by a read-modify-write instruction or a
  // bit instruction), whether or not the value changed.
  virtual void PortLatchWritten(int port, std::uint8_t latch) {}

  // Software wrote a special function register other than ACC, B, PSW, SP, DPL, DPH and
  // the four port latches (those are too frequent or have their own call). Called after
  // the core has applied the write; the periodic output service register 0xC2 arrives here.
  virtual void SfrWritten(std::uint8_t address, std::uint8_t value) {}
};

class TCpu8051 {
public:
  explicit TCpu8051(ICpuBus& bus);

  TCpu8051(const TCpu8051&) = delete;
  TCpu8051& operator=(const TCpu8051&) = delete;

  // Hardware reset: PC 0, SP 0x07, port latches 0xFF, every other SFR 0, no interrupt in
  // progress, serial transmitter idle. Internal RAM keeps its contents, as on the chip.
  // The cycle counter keeps counting.
  void Reset();

  // Fetches and MOVC reads inside [base, base + size) read data[] directly instead of
  // calling ICpuBus::CodeRead (the on-chip XRAM that holds the uploaded image). The
  // memory stays the caller's and may change between steps. size 0 removes the window.
  void SetCodeWindow(const std::uint8_t* data, std::uint16_t base, std::size_t size);

  // Executes one instruction, or enters one interrupt (the hardware LCALL to its vector,
  // 2 machine cycles). Returns the machine cycles spent; timers and the serial transmitter
  // advance by them.
  std::uint64_t Step();

  // Steps until at least `cycles` machine cycles have passed (the last instruction may
  // overrun by up to 3 cycles). Returns the cycles actually run.
  std::uint64_t RunCycles(std::uint64_t cycles);

  // Machine cycles and instructions since construction.
  std::uint64_t Cycles() const { return cycles_; }
  std::uint64_t Instructions() const { return instructions_; }

  std::uint16_t Pc() const { return pc_; }
  void SetPc(std::uint16_t pc) { pc_ = pc; }

  // Direct state access for the bench and tests; no side effects (no bus calls, no
  // transmission, no interrupt hold-off).
  std::uint8_t Iram(std::uint8_t address) const { return iram_[address]; }
  void SetIram(std::uint8_t address, std::uint8_t value) { iram_[address] = value; }
  const std::uint8_t* IramData() const { return iram_; }
  // An SFR (0x80..0xFF) as stored: a port reads its latch, SBUF the receive buffer, PSW
  // with the parity bit of ACC.
  std::uint8_t Sfr(std::uint8_t address) const;
  void SetSfr(std::uint8_t address, std::uint8_t value);

  // True once the reserved opcode 0xA5 was fetched (it executes as a one-cycle no-op);
  // a program that reaches it has run away. Reset() clears it.
  bool HitReservedOpcode() const { return hitReservedOpcode_; }

  // --- Serial port -------------------------------------------------------------------
  // The bench owns the line timing: it tells the core how long one character takes on the
  // wire, and calls SerialReceive when a received character's stop bit has arrived.

  // Machine cycles from a write to SBUF until its character has left (TI set). At least 1.
  void SetSerialCharCycles(std::uint32_t cycles);
  std::uint32_t SerialCharCycles() const { return serialCharCycles_; }

  // Called with each transmitted byte at the moment its character has left the wire
  // (Cycles() then tells when). A write to SBUF while a character is still on the wire
  // cuts that character off: it is never delivered.
  void SetSerialTransmitHandler(std::function<void(std::uint8_t)> handler);
  bool SerialTransmitting() const { return txBusy_; }

  // A character arrived. It goes into SBUF and sets RI (and RB8, the stop bit) when the
  // receiver is enabled (REN) and free (RI clear); otherwise it is lost and the call
  // returns false.
  bool SerialReceive(std::uint8_t byte);
  bool SerialReceiverReady() const;

private:
  std::uint8_t FetchCode(std::uint16_t address);
  std::uint8_t Fetch();

  std::uint8_t& Reg(unsigned n);
  std::uint8_t& Acc() { return sfr_[sfr::ACC]; }
  bool Carry() const { return (sfr_[sfr::PSW] & 0x80) != 0; }
  void SetCarry(bool on);

  std::uint8_t ReadDirect(std::uint8_t address);
  std::uint8_t ReadDirectLatch(std::uint8_t address);
  void WriteDirect(std::uint8_t address, std::uint8_t value);
  std::uint8_t ReadSfr(std::uint8_t address);
  void WriteSfr(std::uint8_t address, std::uint8_t value);

  bool ReadBit(std::uint8_t bit);
  bool ReadBitLatch(std::uint8_t bit);
  void WriteBit(std::uint8_t bit, bool on);

  void Push(std::uint8_t value);
  std::uint8_t Pop();
  void Jump(std::int8_t offset) { pc_ = static_cast<std::uint16_t>(pc_ + offset); }

  void Add(std::uint8_t value, bool carryIn);
  void Subb(std::uint8_t value);
  void DecimalAdjust();
  void Multiply();
  void Divide();
  void CompareJump(std::uint8_t left, std::uint8_t right);

  // The opcode handlers and their decoder table, defined next to Execute.
  struct TInstructions;
  std::uint64_t Execute(std::uint8_t opcode);
  bool EnterPendingInterrupt();
  void Advance(std::uint64_t cycles);
  void AdvanceTimer0(std::uint64_t cycles);
  void AdvanceTimer1(std::uint64_t cycles);
  bool TimerGateOpen(unsigned timer);
  void FinishTransmission();

  ICpuBus& bus_;
  const std::uint8_t* codeWindow_ = nullptr;
  std::uint16_t codeBase_ = 0;
  std::size_t codeSize_ = 0;

  std::uint8_t iram_[256] = {};
  std::uint8_t sfr_[256] = {};  // indexed by SFR address; 0x00..0x7F unused
  std::uint8_t sbufReceive_ = 0;
  std::uint16_t pc_ = 0;

  std::uint64_t cycles_ = 0;
  std::uint64_t instructions_ = 0;

  std::uint8_t inService_ = 0;  // bit 0: a low-priority interrupt in progress, bit 1: high
  bool interruptHold_ = false;  // RETI or a write to IE/IP: one more instruction first
  bool hitReservedOpcode_ = false;

  std::uint32_t serialCharCycles_ = 1;
  std::function<void(std::uint8_t)> transmitHandler_;
  bool txBusy_ = false;
  std::uint8_t txByte_ = 0;
  std::uint64_t txRemaining_ = 0;
};

}  // namespace quillorn::sim
