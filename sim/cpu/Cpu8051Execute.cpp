// The instruction decoder: a table of 256 handlers, each returning the machine cycles it
// spent. The regular families (an operation whose low opcode bits pick #data, direct,
// @R0/@R1 or R0..R7) are filled row by row, the way the chip's own decoder reads them.

#include "sim/cpu/Cpu8051.hpp"

#include <array>

namespace quillorn::sim {

struct TCpu8051::TInstructions {
  using THandler = std::uint64_t (*)(TCpu8051&, std::uint8_t opcode);
  // The decoder: a handler per opcode, and which opcodes a fill has reached. Build checks the
  // marks, not the pointers: the sanitizer build cannot compare function pointers in a constant
  // expression.
  struct TTable {
    std::array<THandler, 256> handlers{};
    std::array<bool, 256> filled{};

    struct TSlot {
      TTable& table;
      unsigned opcode;
      constexpr THandler operator=(THandler handler) const {
        table.handlers[opcode] = handler;
        table.filled[opcode] = true;
        return handler;
      }
    };
    constexpr TSlot operator[](unsigned opcode) { return {*this, opcode}; }
    constexpr THandler operator[](unsigned opcode) const { return handlers[opcode]; }
  };

  // --- Operands selected by the low opcode bits -----------------------------------------

  static std::uint8_t& RegisterCell(TCpu8051& cpu, std::uint8_t opcode) { return cpu.Reg(opcode & 7); }
  static std::uint8_t& IndirectCell(TCpu8051& cpu, std::uint8_t opcode) {
    return cpu.iram_[cpu.Reg(opcode & 1)];
  }
  using TCell = std::uint8_t& (*)(TCpu8051&, std::uint8_t);

  static std::uint8_t Immediate(TCpu8051& cpu, std::uint8_t) { return cpu.Fetch(); }
  static std::uint8_t Direct(TCpu8051& cpu, std::uint8_t) { return cpu.ReadDirect(cpu.Fetch()); }
  template <TCell Cell>
  static std::uint8_t CellValue(TCpu8051& cpu, std::uint8_t opcode) {
    return Cell(cpu, opcode);
  }
  using TSource = std::uint8_t (*)(TCpu8051&, std::uint8_t);

  static std::uint16_t Dptr(const TCpu8051& cpu) {
    return static_cast<std::uint16_t>((cpu.sfr_[sfr::DPH] << 8) | cpu.sfr_[sfr::DPL]);
  }
  // MOVX through R0/R1: port 2 supplies the high address byte.
  static std::uint16_t PagedAddress(TCpu8051& cpu, std::uint8_t opcode) {
    return static_cast<std::uint16_t>((cpu.sfr_[sfr::P2] << 8) | cpu.Reg(opcode & 1));
  }

  // --- What an accumulator row does with its operand ------------------------------------

  using TApply = void (*)(TCpu8051&, std::uint8_t);
  static void AddPlain(TCpu8051& cpu, std::uint8_t value) { cpu.Add(value, false); }
  static void AddWithCarry(TCpu8051& cpu, std::uint8_t value) { cpu.Add(value, cpu.Carry()); }
  static void Subtract(TCpu8051& cpu, std::uint8_t value) { cpu.Subb(value); }
  static void Load(TCpu8051& cpu, std::uint8_t value) { cpu.Acc() = value; }

  using TCombine = std::uint8_t (*)(std::uint8_t, std::uint8_t);
  static std::uint8_t Or(std::uint8_t left, std::uint8_t right) { return left | right; }
  static std::uint8_t And(std::uint8_t left, std::uint8_t right) { return left & right; }
  static std::uint8_t Xor(std::uint8_t left, std::uint8_t right) { return left ^ right; }
  template <TCombine Combine>
  static void CombineIntoA(TCpu8051& cpu, std::uint8_t value) {
    cpu.Acc() = Combine(cpu.Acc(), value);
  }

  template <TSource Source, TApply Apply>
  static std::uint64_t AccumulatorOp(TCpu8051& cpu, std::uint8_t opcode) {
    Apply(cpu, Source(cpu, opcode));
    return 1;
  }

  // ORL/ANL/XRL direct,A and direct,#data read the latch, not the pins.
  template <TCombine Combine>
  static std::uint64_t CombineDirectWithA(TCpu8051& cpu, std::uint8_t) {
    const std::uint8_t address = cpu.Fetch();
    cpu.WriteDirect(address, Combine(cpu.ReadDirectLatch(address), cpu.Acc()));
    return 1;
  }
  template <TCombine Combine>
  static std::uint64_t CombineDirectWithImmediate(TCpu8051& cpu, std::uint8_t) {
    const std::uint8_t address = cpu.Fetch();
    const std::uint8_t value = cpu.Fetch();
    cpu.WriteDirect(address, Combine(cpu.ReadDirectLatch(address), value));
    return 2;
  }

  // --- Register and @Ri families ---------------------------------------------------------

  template <TCell Cell>
  static std::uint64_t MovCellImmediate(TCpu8051& cpu, std::uint8_t opcode) {
    const std::uint8_t value = cpu.Fetch();
    Cell(cpu, opcode) = value;
    return 1;
  }
  template <TCell Cell>
  static std::uint64_t MovCellFromDirect(TCpu8051& cpu, std::uint8_t opcode) {
    const std::uint8_t value = cpu.ReadDirect(cpu.Fetch());
    Cell(cpu, opcode) = value;
    return 2;
  }
  template <TCell Cell>
  static std::uint64_t MovDirectFromCell(TCpu8051& cpu, std::uint8_t opcode) {
    cpu.WriteDirect(cpu.Fetch(), Cell(cpu, opcode));
    return 2;
  }
  template <TCell Cell>
  static std::uint64_t MovCellFromA(TCpu8051& cpu, std::uint8_t opcode) {
    Cell(cpu, opcode) = cpu.Acc();
    return 1;
  }
  template <TCell Cell>
  static std::uint64_t IncrementCell(TCpu8051& cpu, std::uint8_t opcode) {
    ++Cell(cpu, opcode);
    return 1;
  }
  template <TCell Cell>
  static std::uint64_t DecrementCell(TCpu8051& cpu, std::uint8_t opcode) {
    --Cell(cpu, opcode);
    return 1;
  }
  template <TCell Cell>
  static std::uint64_t ExchangeCell(TCpu8051& cpu, std::uint8_t opcode) {
    std::uint8_t& cell = Cell(cpu, opcode);
    const std::uint8_t value = cell;
    cell = cpu.Acc();
    cpu.Acc() = value;
    return 1;
  }
  template <TCell Cell>
  static std::uint64_t CompareCellJump(TCpu8051& cpu, std::uint8_t opcode) {
    const std::uint8_t value = Cell(cpu, opcode);
    cpu.CompareJump(value, cpu.Fetch());
    return 2;
  }

  static std::uint64_t ExchangeLowDigit(TCpu8051& cpu, std::uint8_t opcode) {
    std::uint8_t& cell = IndirectCell(cpu, opcode);
    std::uint8_t& a = cpu.Acc();
    const std::uint8_t value = cell;
    cell = static_cast<std::uint8_t>((value & 0xF0) | (a & 0x0F));
    a = static_cast<std::uint8_t>((a & 0xF0) | (value & 0x0F));
    return 1;
  }
  static std::uint64_t DecrementRegisterJump(TCpu8051& cpu, std::uint8_t opcode) {
    const auto offset = static_cast<std::int8_t>(cpu.Fetch());
    if (--RegisterCell(cpu, opcode) != 0) cpu.Jump(offset);
    return 2;
  }

  // --- Data transfer ----------------------------------------------------------------------

  static std::uint64_t Nop(TCpu8051&, std::uint8_t) { return 1; }
  static std::uint64_t MovDirectImmediate(TCpu8051& cpu, std::uint8_t) {
    const std::uint8_t address = cpu.Fetch();
    cpu.WriteDirect(address, cpu.Fetch());
    return 2;
  }
  // The source address comes first in the encoding.
  static std::uint64_t MovDirectDirect(TCpu8051& cpu, std::uint8_t) {
    const std::uint8_t source = cpu.Fetch();
    const std::uint8_t target = cpu.Fetch();
    cpu.WriteDirect(target, cpu.ReadDirect(source));
    return 2;
  }
  static std::uint64_t MovDirectA(TCpu8051& cpu, std::uint8_t) {
    cpu.WriteDirect(cpu.Fetch(), cpu.Acc());
    return 1;
  }
  static std::uint64_t MovDptrImmediate(TCpu8051& cpu, std::uint8_t) {
    cpu.sfr_[sfr::DPH] = cpu.Fetch();
    cpu.sfr_[sfr::DPL] = cpu.Fetch();
    return 2;
  }
  static std::uint64_t PushDirect(TCpu8051& cpu, std::uint8_t) {
    cpu.Push(cpu.ReadDirect(cpu.Fetch()));
    return 2;
  }
  static std::uint64_t PopDirect(TCpu8051& cpu, std::uint8_t) {
    const std::uint8_t address = cpu.Fetch();
    cpu.WriteDirect(address, cpu.Pop());
    return 2;
  }
  static std::uint64_t ExchangeDirect(TCpu8051& cpu, std::uint8_t) {
    const std::uint8_t address = cpu.Fetch();
    const std::uint8_t value = cpu.ReadDirect(address);
    cpu.WriteDirect(address, cpu.Acc());
    cpu.Acc() = value;
    return 1;
  }
  // The PC is already past the instruction.
  static std::uint64_t MovcPc(TCpu8051& cpu, std::uint8_t) {
    cpu.Acc() = cpu.FetchCode(static_cast<std::uint16_t>(cpu.pc_ + cpu.Acc()));
    return 2;
  }
  static std::uint64_t MovcDptr(TCpu8051& cpu, std::uint8_t) {
    cpu.Acc() = cpu.FetchCode(static_cast<std::uint16_t>(Dptr(cpu) + cpu.Acc()));
    return 2;
  }
  static std::uint64_t MovxReadDptr(TCpu8051& cpu, std::uint8_t) {
    cpu.Acc() = cpu.bus_.XdataRead(Dptr(cpu));
    return 2;
  }
  static std::uint64_t MovxReadPaged(TCpu8051& cpu, std::uint8_t opcode) {
    cpu.Acc() = cpu.bus_.XdataRead(PagedAddress(cpu, opcode));
    return 2;
  }
  static std::uint64_t MovxWriteDptr(TCpu8051& cpu, std::uint8_t) {
    cpu.bus_.XdataWrite(Dptr(cpu), cpu.Acc());
    return 2;
  }
  static std::uint64_t MovxWritePaged(TCpu8051& cpu, std::uint8_t opcode) {
    cpu.bus_.XdataWrite(PagedAddress(cpu, opcode), cpu.Acc());
    return 2;
  }

  // --- Arithmetic on A, direct and DPTR ------------------------------------------------------

  static std::uint64_t IncrementA(TCpu8051& cpu, std::uint8_t) {
    ++cpu.Acc();
    return 1;
  }
  static std::uint64_t DecrementA(TCpu8051& cpu, std::uint8_t) {
    --cpu.Acc();
    return 1;
  }
  // INC/DEC direct are read-modify-write: they see the latch.
  static std::uint64_t IncrementDirect(TCpu8051& cpu, std::uint8_t) {
    const std::uint8_t address = cpu.Fetch();
    cpu.WriteDirect(address, static_cast<std::uint8_t>(cpu.ReadDirectLatch(address) + 1));
    return 1;
  }
  static std::uint64_t DecrementDirect(TCpu8051& cpu, std::uint8_t) {
    const std::uint8_t address = cpu.Fetch();
    cpu.WriteDirect(address, static_cast<std::uint8_t>(cpu.ReadDirectLatch(address) - 1));
    return 1;
  }
  static std::uint64_t IncrementDptr(TCpu8051& cpu, std::uint8_t) {
    const auto dptr = static_cast<std::uint16_t>(Dptr(cpu) + 1);
    cpu.sfr_[sfr::DPL] = static_cast<std::uint8_t>(dptr);
    cpu.sfr_[sfr::DPH] = static_cast<std::uint8_t>(dptr >> 8);
    return 2;
  }
  static std::uint64_t Multiply(TCpu8051& cpu, std::uint8_t) {
    cpu.Multiply();
    return 4;
  }
  static std::uint64_t Divide(TCpu8051& cpu, std::uint8_t) {
    cpu.Divide();
    return 4;
  }
  static std::uint64_t DecimalAdjust(TCpu8051& cpu, std::uint8_t) {
    cpu.DecimalAdjust();
    return 1;
  }

  // --- Accumulator shapes ----------------------------------------------------------------------

  static std::uint64_t ClearA(TCpu8051& cpu, std::uint8_t) {
    cpu.Acc() = 0;
    return 1;
  }
  static std::uint64_t ComplementA(TCpu8051& cpu, std::uint8_t) {
    cpu.Acc() = static_cast<std::uint8_t>(~cpu.Acc());
    return 1;
  }
  static std::uint64_t SwapNibbles(TCpu8051& cpu, std::uint8_t) {
    const std::uint8_t a = cpu.Acc();
    cpu.Acc() = static_cast<std::uint8_t>((a << 4) | (a >> 4));
    return 1;
  }
  static std::uint64_t RotateLeft(TCpu8051& cpu, std::uint8_t) {
    const std::uint8_t a = cpu.Acc();
    cpu.Acc() = static_cast<std::uint8_t>((a << 1) | (a >> 7));
    return 1;
  }
  static std::uint64_t RotateRight(TCpu8051& cpu, std::uint8_t) {
    const std::uint8_t a = cpu.Acc();
    cpu.Acc() = static_cast<std::uint8_t>((a >> 1) | (a << 7));
    return 1;
  }
  static std::uint64_t RotateLeftThroughCarry(TCpu8051& cpu, std::uint8_t) {
    const std::uint8_t a = cpu.Acc();
    cpu.Acc() = static_cast<std::uint8_t>((a << 1) | (cpu.Carry() ? 1 : 0));
    cpu.SetCarry((a & 0x80) != 0);
    return 1;
  }
  static std::uint64_t RotateRightThroughCarry(TCpu8051& cpu, std::uint8_t) {
    const std::uint8_t a = cpu.Acc();
    cpu.Acc() = static_cast<std::uint8_t>((a >> 1) | (cpu.Carry() ? 0x80 : 0));
    cpu.SetCarry((a & 0x01) != 0);
    return 1;
  }

  // --- Boolean -----------------------------------------------------------------------------------

  static std::uint64_t ClearCarry(TCpu8051& cpu, std::uint8_t) {
    cpu.SetCarry(false);
    return 1;
  }
  static std::uint64_t SetCarryBit(TCpu8051& cpu, std::uint8_t) {
    cpu.SetCarry(true);
    return 1;
  }
  static std::uint64_t ComplementCarry(TCpu8051& cpu, std::uint8_t) {
    cpu.SetCarry(!cpu.Carry());
    return 1;
  }
  static std::uint64_t ClearBit(TCpu8051& cpu, std::uint8_t) {
    cpu.WriteBit(cpu.Fetch(), false);
    return 1;
  }
  static std::uint64_t SetBit(TCpu8051& cpu, std::uint8_t) {
    cpu.WriteBit(cpu.Fetch(), true);
    return 1;
  }
  static std::uint64_t ComplementBit(TCpu8051& cpu, std::uint8_t) {
    const std::uint8_t bit = cpu.Fetch();
    cpu.WriteBit(bit, !cpu.ReadBitLatch(bit));
    return 1;
  }
  // ANL/ORL C with a bit or its complement.
  template <bool Or, bool Inverted>
  static std::uint64_t CarryLogic(TCpu8051& cpu, std::uint8_t) {
    const bool value = cpu.ReadBit(cpu.Fetch()) != Inverted;
    cpu.SetCarry(Or ? (cpu.Carry() || value) : (cpu.Carry() && value));
    return 2;
  }
  static std::uint64_t MovCarryFromBit(TCpu8051& cpu, std::uint8_t) {
    cpu.SetCarry(cpu.ReadBit(cpu.Fetch()));
    return 1;
  }
  static std::uint64_t MovBitFromCarry(TCpu8051& cpu, std::uint8_t) {
    cpu.WriteBit(cpu.Fetch(), cpu.Carry());
    return 2;
  }

  // --- Branches ------------------------------------------------------------------------------------

  // AJMP and ACALL: the top three opcode bits are address bits 8..10 in the current 2 KiB block.
  static std::uint16_t BlockAddress(TCpu8051& cpu, std::uint8_t opcode, std::uint8_t low) {
    return static_cast<std::uint16_t>((cpu.pc_ & 0xF800) | ((opcode & 0xE0) << 3) | low);
  }
  static void PushReturnAddress(TCpu8051& cpu) {
    cpu.Push(static_cast<std::uint8_t>(cpu.pc_));
    cpu.Push(static_cast<std::uint8_t>(cpu.pc_ >> 8));
  }
  static std::uint16_t FetchAddress16(TCpu8051& cpu) {
    const std::uint8_t high = cpu.Fetch();
    const std::uint8_t low = cpu.Fetch();
    return static_cast<std::uint16_t>((high << 8) | low);
  }
  static std::uint64_t AbsoluteJump(TCpu8051& cpu, std::uint8_t opcode) {
    const std::uint8_t low = cpu.Fetch();
    cpu.pc_ = BlockAddress(cpu, opcode, low);
    return 2;
  }
  static std::uint64_t AbsoluteCall(TCpu8051& cpu, std::uint8_t opcode) {
    const std::uint8_t low = cpu.Fetch();
    PushReturnAddress(cpu);
    cpu.pc_ = BlockAddress(cpu, opcode, low);
    return 2;
  }
  static std::uint64_t LongJump(TCpu8051& cpu, std::uint8_t) {
    cpu.pc_ = FetchAddress16(cpu);
    return 2;
  }
  static std::uint64_t LongCall(TCpu8051& cpu, std::uint8_t) {
    const std::uint16_t target = FetchAddress16(cpu);
    PushReturnAddress(cpu);
    cpu.pc_ = target;
    return 2;
  }
  static std::uint64_t Return(TCpu8051& cpu, std::uint8_t) {
    const std::uint8_t high = cpu.Pop();
    const std::uint8_t low = cpu.Pop();
    cpu.pc_ = static_cast<std::uint16_t>((high << 8) | low);
    return 2;
  }
  static std::uint64_t ReturnFromInterrupt(TCpu8051& cpu, std::uint8_t opcode) {
    Return(cpu, opcode);
    // The higher of the levels in progress ends.
    cpu.inService_ = (cpu.inService_ & 0x02) != 0 ? (cpu.inService_ & 0x01) : 0;
    cpu.interruptHold_ = true;
    return 2;
  }
  static std::uint64_t ShortJump(TCpu8051& cpu, std::uint8_t) {
    cpu.Jump(static_cast<std::int8_t>(cpu.Fetch()));
    return 2;
  }
  static std::uint64_t JumpIndexed(TCpu8051& cpu, std::uint8_t) {
    cpu.pc_ = static_cast<std::uint16_t>(Dptr(cpu) + cpu.Acc());
    return 2;
  }

  using TCondition = bool (*)(const TCpu8051&);
  static bool CarrySet(const TCpu8051& cpu) { return cpu.Carry(); }
  static bool CarryClear(const TCpu8051& cpu) { return !cpu.Carry(); }
  static bool AccumulatorZero(const TCpu8051& cpu) { return cpu.sfr_[sfr::ACC] == 0; }
  static bool AccumulatorNonZero(const TCpu8051& cpu) { return cpu.sfr_[sfr::ACC] != 0; }
  template <TCondition Condition>
  static std::uint64_t JumpIf(TCpu8051& cpu, std::uint8_t) {
    const auto offset = static_cast<std::int8_t>(cpu.Fetch());
    if (Condition(cpu)) cpu.Jump(offset);
    return 2;
  }
  template <bool WhenSet>
  static std::uint64_t JumpIfBit(TCpu8051& cpu, std::uint8_t) {
    const bool value = cpu.ReadBit(cpu.Fetch());
    const auto offset = static_cast<std::int8_t>(cpu.Fetch());
    if (value == WhenSet) cpu.Jump(offset);
    return 2;
  }
  // JBC is read-modify-write: it tests and clears the latch.
  static std::uint64_t JumpIfBitClear(TCpu8051& cpu, std::uint8_t) {
    const std::uint8_t bit = cpu.Fetch();
    const auto offset = static_cast<std::int8_t>(cpu.Fetch());
    if (cpu.ReadBitLatch(bit)) {
      cpu.WriteBit(bit, false);
      cpu.Jump(offset);
    }
    return 2;
  }
  template <TSource Source>
  static std::uint64_t CompareAJump(TCpu8051& cpu, std::uint8_t opcode) {
    cpu.CompareJump(cpu.Acc(), Source(cpu, opcode));
    return 2;
  }
  static std::uint64_t DecrementDirectJump(TCpu8051& cpu, std::uint8_t) {
    const std::uint8_t address = cpu.Fetch();
    const auto offset = static_cast<std::int8_t>(cpu.Fetch());
    const auto value = static_cast<std::uint8_t>(cpu.ReadDirectLatch(address) - 1);
    cpu.WriteDirect(address, value);
    if (value != 0) cpu.Jump(offset);
    return 2;
  }

  // A program that fetches it has run away; it executes as a one-cycle no-op.
  static std::uint64_t Reserved(TCpu8051& cpu, std::uint8_t) {
    cpu.hitReservedOpcode_ = true;
    return 1;
  }

  // --- The table ---------------------------------------------------------------------------------

  // Columns 5..F of a row: direct, @R0/@R1, R0..R7.
  template <TApply Apply>
  static constexpr void FillAccumulatorRow(TTable& table, unsigned row) {
    table[row + 0x5] = AccumulatorOp<Direct, Apply>;
    table[row + 0x6] = table[row + 0x7] = AccumulatorOp<CellValue<IndirectCell>, Apply>;
    FillRegisters(table, row + 0x8, AccumulatorOp<CellValue<RegisterCell>, Apply>);
  }
  static constexpr void FillRegisters(TTable& table, unsigned first, THandler handler) {
    for (unsigned n = 0; n < 8; ++n) table[first + n] = handler;
  }
  static constexpr void FillIndirect(TTable& table, unsigned first, THandler handler) {
    table[first] = table[first + 1] = handler;
  }
  // One opcode in each of the eight 256-byte pages of a 2 KiB block.
  static constexpr void FillPages(TTable& table, unsigned first, THandler handler) {
    for (unsigned page = 0; page < 8; ++page) table[first + page * 0x20] = handler;
  }
  // The families that exist for both @Ri (columns 6-7) and Rn (columns 8-F) of a row.
  static constexpr void FillCells(TTable& table, unsigned row, THandler indirect, THandler reg) {
    FillIndirect(table, row + 0x6, indirect);
    FillRegisters(table, row + 0x8, reg);
  }

  static constexpr void FillFamilies(TTable& t) {
    FillAccumulatorRow<AddPlain>(t, 0x20);
    FillAccumulatorRow<AddWithCarry>(t, 0x30);
    FillAccumulatorRow<CombineIntoA<Or>>(t, 0x40);
    FillAccumulatorRow<CombineIntoA<And>>(t, 0x50);
    FillAccumulatorRow<CombineIntoA<Xor>>(t, 0x60);
    FillAccumulatorRow<Subtract>(t, 0x90);
    FillAccumulatorRow<Load>(t, 0xE0);
    t[0x24] = AccumulatorOp<Immediate, AddPlain>;
    t[0x34] = AccumulatorOp<Immediate, AddWithCarry>;
    t[0x44] = AccumulatorOp<Immediate, CombineIntoA<Or>>;
    t[0x54] = AccumulatorOp<Immediate, CombineIntoA<And>>;
    t[0x64] = AccumulatorOp<Immediate, CombineIntoA<Xor>>;
    t[0x94] = AccumulatorOp<Immediate, Subtract>;
    t[0x74] = AccumulatorOp<Immediate, Load>;

    FillCells(t, 0x00, IncrementCell<IndirectCell>, IncrementCell<RegisterCell>);
    FillCells(t, 0x10, DecrementCell<IndirectCell>, DecrementCell<RegisterCell>);
    FillCells(t, 0x70, MovCellImmediate<IndirectCell>, MovCellImmediate<RegisterCell>);
    FillCells(t, 0x80, MovDirectFromCell<IndirectCell>, MovDirectFromCell<RegisterCell>);
    FillCells(t, 0xA0, MovCellFromDirect<IndirectCell>, MovCellFromDirect<RegisterCell>);
    FillCells(t, 0xB0, CompareCellJump<IndirectCell>, CompareCellJump<RegisterCell>);
    FillCells(t, 0xC0, ExchangeCell<IndirectCell>, ExchangeCell<RegisterCell>);
    FillCells(t, 0xD0, ExchangeLowDigit, DecrementRegisterJump);
    FillCells(t, 0xF0, MovCellFromA<IndirectCell>, MovCellFromA<RegisterCell>);

    FillPages(t, 0x01, AbsoluteJump);
    FillPages(t, 0x11, AbsoluteCall);
  }

  // Column 0: conditional jumps, SJMP, DPTR, stack, MOVX through DPTR.
  static constexpr void FillColumn0(TTable& t) {
    t[0x00] = Nop;
    t[0x10] = JumpIfBitClear;
    t[0x20] = JumpIfBit<true>;
    t[0x30] = JumpIfBit<false>;
    t[0x40] = JumpIf<CarrySet>;
    t[0x50] = JumpIf<CarryClear>;
    t[0x60] = JumpIf<AccumulatorZero>;
    t[0x70] = JumpIf<AccumulatorNonZero>;
    t[0x80] = ShortJump;
    t[0x90] = MovDptrImmediate;
    t[0xA0] = CarryLogic<true, true>;
    t[0xB0] = CarryLogic<false, true>;
    t[0xC0] = PushDirect;
    t[0xD0] = PopDirect;
    t[0xE0] = MovxReadDptr;
    t[0xF0] = MovxWriteDptr;
  }

  // Column 2: long jumps and returns, logic into direct, bit moves, MOVX through R0/R1.
  static constexpr void FillColumn2(TTable& t) {
    t[0x02] = LongJump;
    t[0x12] = LongCall;
    t[0x22] = Return;
    t[0x32] = ReturnFromInterrupt;
    t[0x42] = CombineDirectWithA<Or>;
    t[0x52] = CombineDirectWithA<And>;
    t[0x62] = CombineDirectWithA<Xor>;
    t[0x72] = CarryLogic<true, false>;
    t[0x82] = CarryLogic<false, false>;
    t[0x92] = MovBitFromCarry;
    t[0xA2] = MovCarryFromBit;
    t[0xB2] = ComplementBit;
    t[0xC2] = ClearBit;
    t[0xD2] = SetBit;
    FillIndirect(t, 0xE2, MovxReadPaged);
    FillIndirect(t, 0xF2, MovxWritePaged);
  }

  // Column 3: rotations, logic into direct with #data, indexed jumps and reads, the carry.
  static constexpr void FillColumn3(TTable& t) {
    t[0x03] = RotateRight;
    t[0x13] = RotateRightThroughCarry;
    t[0x23] = RotateLeft;
    t[0x33] = RotateLeftThroughCarry;
    t[0x43] = CombineDirectWithImmediate<Or>;
    t[0x53] = CombineDirectWithImmediate<And>;
    t[0x63] = CombineDirectWithImmediate<Xor>;
    t[0x73] = JumpIndexed;
    t[0x83] = MovcPc;
    t[0x93] = MovcDptr;
    t[0xA3] = IncrementDptr;
    t[0xB3] = ComplementCarry;
    t[0xC3] = ClearCarry;
    t[0xD3] = SetCarryBit;
  }

  // Columns 4 and 5 outside the accumulator rows.
  static constexpr void FillColumns4And5(TTable& t) {
    t[0x04] = IncrementA;
    t[0x14] = DecrementA;
    t[0x84] = Divide;
    t[0xA4] = Multiply;
    t[0xB4] = CompareAJump<Immediate>;
    t[0xC4] = SwapNibbles;
    t[0xD4] = DecimalAdjust;
    t[0xE4] = ClearA;
    t[0xF4] = ComplementA;

    t[0x05] = IncrementDirect;
    t[0x15] = DecrementDirect;
    t[0x75] = MovDirectImmediate;
    t[0x85] = MovDirectDirect;
    t[0xA5] = Reserved;
    t[0xB5] = CompareAJump<Direct>;
    t[0xC5] = ExchangeDirect;
    t[0xD5] = DecrementDirectJump;
    t[0xF5] = MovDirectA;
  }

  static constexpr TTable Build() {
    TTable t{};
    FillFamilies(t);
    FillColumn0(t);
    FillColumn2(t);
    FillColumn3(t);
    FillColumns4And5(t);
    for (const bool filled : t.filled) {
      if (!filled) throw "an opcode without a handler";
    }
    return t;
  }
};

std::uint64_t TCpu8051::Execute(std::uint8_t opcode) {
  static constexpr TInstructions::TTable kDecoder = TInstructions::Build();
  return kDecoder[opcode](*this, opcode);
}

}  // namespace quillorn::sim
