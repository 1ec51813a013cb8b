// The instruction decoder: one switch over the 256 opcodes, returning machine cycles.

#include "sim/cpu/Cpu8051.hpp"

namespace quillorn::sim {

// Opcodes whose low bits select R0..R7 or @R0/@R1.
#define QUILLORN_CASE_RN(op) \
  case (op):                 \
  case (op) + 1:             \
  case (op) + 2:             \
  case (op) + 3:             \
  case (op) + 4:             \
  case (op) + 5:             \
  case (op) + 6:             \
  case (op) + 7
#define QUILLORN_CASE_RI(op) \
  case (op):                 \
  case (op) + 1
// AJMP and ACALL: one opcode in each of the eight 256-byte pages of a 2 KiB block.
#define QUILLORN_CASE_PAGES(op) \
  case (op):                    \
  case (op) + 0x20:             \
  case (op) + 0x40:             \
  case (op) + 0x60:             \
  case (op) + 0x80:             \
  case (op) + 0xA0:             \
  case (op) + 0xC0:             \
  case (op) + 0xE0

std::uint64_t TCpu8051::Execute(std::uint8_t opcode) {
  auto indirect = [this](std::uint8_t op) -> std::uint8_t& { return iram_[Reg(op & 1)]; };
  auto rel = [this]() { return static_cast<std::int8_t>(Fetch()); };
  auto& a = sfr_[sfr::ACC];

  switch (opcode) {
    // --- Data transfer ---------------------------------------------------------------
    case 0x00:  // NOP
      return 1;
    case 0x74:  // MOV A,#data
      a = Fetch();
      return 1;
    case 0x75: {  // MOV direct,#data
      const std::uint8_t address = Fetch();
      WriteDirect(address, Fetch());
      return 2;
    }
    QUILLORN_CASE_RI(0x76):  // MOV @Ri,#data
      indirect(opcode) = Fetch();
      return 1;
    QUILLORN_CASE_RN(0x78):  // MOV Rn,#data
      Reg(opcode & 7) = Fetch();
      return 1;
    case 0x85: {  // MOV direct,direct (source first in the encoding)
      const std::uint8_t source = Fetch();
      const std::uint8_t target = Fetch();
      WriteDirect(target, ReadDirect(source));
      return 2;
    }
    QUILLORN_CASE_RI(0x86):  // MOV direct,@Ri
      WriteDirect(Fetch(), indirect(opcode));
      return 2;
    QUILLORN_CASE_RN(0x88):  // MOV direct,Rn
      WriteDirect(Fetch(), Reg(opcode & 7));
      return 2;
    case 0x90: {  // MOV DPTR,#data16
      sfr_[sfr::DPH] = Fetch();
      sfr_[sfr::DPL] = Fetch();
      return 2;
    }
    QUILLORN_CASE_RI(0xA6):  // MOV @Ri,direct
      indirect(opcode) = ReadDirect(Fetch());
      return 2;
    QUILLORN_CASE_RN(0xA8):  // MOV Rn,direct
      Reg(opcode & 7) = ReadDirect(Fetch());
      return 2;
    case 0xE5:  // MOV A,direct
      a = ReadDirect(Fetch());
      return 1;
    QUILLORN_CASE_RI(0xE6):  // MOV A,@Ri
      a = indirect(opcode);
      return 1;
    QUILLORN_CASE_RN(0xE8):  // MOV A,Rn
      a = Reg(opcode & 7);
      return 1;
    case 0xF5:  // MOV direct,A
      WriteDirect(Fetch(), a);
      return 1;
    QUILLORN_CASE_RI(0xF6):  // MOV @Ri,A
      indirect(opcode) = a;
      return 1;
    QUILLORN_CASE_RN(0xF8):  // MOV Rn,A
      Reg(opcode & 7) = a;
      return 1;
    case 0xC0:  // PUSH direct
      Push(ReadDirect(Fetch()));
      return 2;
    case 0xD0: {  // POP direct
      const std::uint8_t address = Fetch();
      WriteDirect(address, Pop());
      return 2;
    }
    case 0xC5: {  // XCH A,direct
      const std::uint8_t address = Fetch();
      const std::uint8_t value = ReadDirect(address);
      WriteDirect(address, a);
      a = value;
      return 1;
    }
    QUILLORN_CASE_RI(0xC6): {  // XCH A,@Ri
      std::uint8_t& cell = indirect(opcode);
      const std::uint8_t value = cell;
      cell = a;
      a = value;
      return 1;
    }
    QUILLORN_CASE_RN(0xC8): {  // XCH A,Rn
      std::uint8_t& reg = Reg(opcode & 7);
      const std::uint8_t value = reg;
      reg = a;
      a = value;
      return 1;
    }
    QUILLORN_CASE_RI(0xD6): {  // XCHD A,@Ri
      std::uint8_t& cell = indirect(opcode);
      const std::uint8_t value = cell;
      cell = static_cast<std::uint8_t>((value & 0xF0) | (a & 0x0F));
      a = static_cast<std::uint8_t>((a & 0xF0) | (value & 0x0F));
      return 1;
    }
    case 0x83: {  // MOVC A,@A+PC (PC already past the instruction)
      a = FetchCode(static_cast<std::uint16_t>(pc_ + a));
      return 2;
    }
    case 0x93: {  // MOVC A,@A+DPTR
      const std::uint16_t dptr = static_cast<std::uint16_t>((sfr_[sfr::DPH] << 8) | sfr_[sfr::DPL]);
      a = FetchCode(static_cast<std::uint16_t>(dptr + a));
      return 2;
    }
    case 0xE0:  // MOVX A,@DPTR
      a = bus_.XdataRead(static_cast<std::uint16_t>((sfr_[sfr::DPH] << 8) | sfr_[sfr::DPL]));
      return 2;
    QUILLORN_CASE_RI(0xE2):  // MOVX A,@Ri (P2 supplies the high address byte)
      a = bus_.XdataRead(static_cast<std::uint16_t>((sfr_[sfr::P2] << 8) | Reg(opcode & 1)));
      return 2;
    case 0xF0:  // MOVX @DPTR,A
      bus_.XdataWrite(static_cast<std::uint16_t>((sfr_[sfr::DPH] << 8) | sfr_[sfr::DPL]), a);
      return 2;
    QUILLORN_CASE_RI(0xF2):  // MOVX @Ri,A
      bus_.XdataWrite(static_cast<std::uint16_t>((sfr_[sfr::P2] << 8) | Reg(opcode & 1)), a);
      return 2;

    // --- Arithmetic ------------------------------------------------------------------
    case 0x24: Add(Fetch(), false); return 1;
    case 0x25: Add(ReadDirect(Fetch()), false); return 1;
    QUILLORN_CASE_RI(0x26): Add(indirect(opcode), false); return 1;
    QUILLORN_CASE_RN(0x28): Add(Reg(opcode & 7), false); return 1;
    case 0x34: Add(Fetch(), Carry()); return 1;
    case 0x35: Add(ReadDirect(Fetch()), Carry()); return 1;
    QUILLORN_CASE_RI(0x36): Add(indirect(opcode), Carry()); return 1;
    QUILLORN_CASE_RN(0x38): Add(Reg(opcode & 7), Carry()); return 1;
    case 0x94: Subb(Fetch()); return 1;
    case 0x95: Subb(ReadDirect(Fetch())); return 1;
    QUILLORN_CASE_RI(0x96): Subb(indirect(opcode)); return 1;
    QUILLORN_CASE_RN(0x98): Subb(Reg(opcode & 7)); return 1;
    case 0x04: ++a; return 1;
    case 0x05: {  // INC direct (read-modify-write)
      const std::uint8_t address = Fetch();
      WriteDirect(address, static_cast<std::uint8_t>(ReadDirectLatch(address) + 1));
      return 1;
    }
    QUILLORN_CASE_RI(0x06): ++indirect(opcode); return 1;
    QUILLORN_CASE_RN(0x08): ++Reg(opcode & 7); return 1;
    case 0x14: --a; return 1;
    case 0x15: {  // DEC direct (read-modify-write)
      const std::uint8_t address = Fetch();
      WriteDirect(address, static_cast<std::uint8_t>(ReadDirectLatch(address) - 1));
      return 1;
    }
    QUILLORN_CASE_RI(0x16): --indirect(opcode); return 1;
    QUILLORN_CASE_RN(0x18): --Reg(opcode & 7); return 1;
    case 0xA3: {  // INC DPTR
      const std::uint16_t dptr = static_cast<std::uint16_t>(((sfr_[sfr::DPH] << 8) | sfr_[sfr::DPL]) + 1);
      sfr_[sfr::DPL] = static_cast<std::uint8_t>(dptr);
      sfr_[sfr::DPH] = static_cast<std::uint8_t>(dptr >> 8);
      return 2;
    }
    case 0xA4: Multiply(); return 4;
    case 0x84: Divide(); return 4;
    case 0xD4: DecimalAdjust(); return 1;

    // --- Logic -----------------------------------------------------------------------
    case 0x42: {  // ORL direct,A
      const std::uint8_t address = Fetch();
      WriteDirect(address, static_cast<std::uint8_t>(ReadDirectLatch(address) | a));
      return 1;
    }
    case 0x43: {  // ORL direct,#data
      const std::uint8_t address = Fetch();
      const std::uint8_t value = Fetch();
      WriteDirect(address, static_cast<std::uint8_t>(ReadDirectLatch(address) | value));
      return 2;
    }
    case 0x44: a |= Fetch(); return 1;
    case 0x45: a |= ReadDirect(Fetch()); return 1;
    QUILLORN_CASE_RI(0x46): a |= indirect(opcode); return 1;
    QUILLORN_CASE_RN(0x48): a |= Reg(opcode & 7); return 1;
    case 0x52: {  // ANL direct,A
      const std::uint8_t address = Fetch();
      WriteDirect(address, static_cast<std::uint8_t>(ReadDirectLatch(address) & a));
      return 1;
    }
    case 0x53: {  // ANL direct,#data
      const std::uint8_t address = Fetch();
      const std::uint8_t value = Fetch();
      WriteDirect(address, static_cast<std::uint8_t>(ReadDirectLatch(address) & value));
      return 2;
    }
    case 0x54: a &= Fetch(); return 1;
    case 0x55: a &= ReadDirect(Fetch()); return 1;
    QUILLORN_CASE_RI(0x56): a &= indirect(opcode); return 1;
    QUILLORN_CASE_RN(0x58): a &= Reg(opcode & 7); return 1;
    case 0x62: {  // XRL direct,A
      const std::uint8_t address = Fetch();
      WriteDirect(address, static_cast<std::uint8_t>(ReadDirectLatch(address) ^ a));
      return 1;
    }
    case 0x63: {  // XRL direct,#data
      const std::uint8_t address = Fetch();
      const std::uint8_t value = Fetch();
      WriteDirect(address, static_cast<std::uint8_t>(ReadDirectLatch(address) ^ value));
      return 2;
    }
    case 0x64: a ^= Fetch(); return 1;
    case 0x65: a ^= ReadDirect(Fetch()); return 1;
    QUILLORN_CASE_RI(0x66): a ^= indirect(opcode); return 1;
    QUILLORN_CASE_RN(0x68): a ^= Reg(opcode & 7); return 1;
    case 0xE4: a = 0; return 1;                                   // CLR A
    case 0xF4: a = static_cast<std::uint8_t>(~a); return 1;       // CPL A
    case 0xC4: a = static_cast<std::uint8_t>((a << 4) | (a >> 4)); return 1;  // SWAP A
    case 0x23: a = static_cast<std::uint8_t>((a << 1) | (a >> 7)); return 1;  // RL A
    case 0x03: a = static_cast<std::uint8_t>((a >> 1) | (a << 7)); return 1;  // RR A
    case 0x33: {  // RLC A
      const bool out = (a & 0x80) != 0;
      a = static_cast<std::uint8_t>((a << 1) | (Carry() ? 1 : 0));
      SetCarry(out);
      return 1;
    }
    case 0x13: {  // RRC A
      const bool out = (a & 0x01) != 0;
      a = static_cast<std::uint8_t>((a >> 1) | (Carry() ? 0x80 : 0));
      SetCarry(out);
      return 1;
    }

    // --- Boolean ---------------------------------------------------------------------
    case 0xC3: SetCarry(false); return 1;       // CLR C
    case 0xD3: SetCarry(true); return 1;        // SETB C
    case 0xB3: SetCarry(!Carry()); return 1;    // CPL C
    case 0xC2: WriteBit(Fetch(), false); return 1;  // CLR bit
    case 0xD2: WriteBit(Fetch(), true); return 1;   // SETB bit
    case 0xB2: {  // CPL bit
      const std::uint8_t bit = Fetch();
      WriteBit(bit, !ReadBitLatch(bit));
      return 1;
    }
    case 0x82: { const bool v = ReadBit(Fetch()); SetCarry(Carry() && v); return 2; }   // ANL C,bit
    case 0xB0: { const bool v = ReadBit(Fetch()); SetCarry(Carry() && !v); return 2; }  // ANL C,/bit
    case 0x72: { const bool v = ReadBit(Fetch()); SetCarry(Carry() || v); return 2; }   // ORL C,bit
    case 0xA0: { const bool v = ReadBit(Fetch()); SetCarry(Carry() || !v); return 2; }  // ORL C,/bit
    case 0xA2: SetCarry(ReadBit(Fetch())); return 1;  // MOV C,bit
    case 0x92: WriteBit(Fetch(), Carry()); return 2;  // MOV bit,C

    // --- Branches --------------------------------------------------------------------
    QUILLORN_CASE_PAGES(0x01): {  // AJMP addr11
      const std::uint8_t low = Fetch();
      pc_ = static_cast<std::uint16_t>((pc_ & 0xF800) | ((opcode & 0xE0) << 3) | low);
      return 2;
    }
    QUILLORN_CASE_PAGES(0x11): {  // ACALL addr11
      const std::uint8_t low = Fetch();
      Push(static_cast<std::uint8_t>(pc_));
      Push(static_cast<std::uint8_t>(pc_ >> 8));
      pc_ = static_cast<std::uint16_t>((pc_ & 0xF800) | ((opcode & 0xE0) << 3) | low);
      return 2;
    }
    case 0x02: {  // LJMP addr16
      const std::uint8_t high = Fetch();
      const std::uint8_t low = Fetch();
      pc_ = static_cast<std::uint16_t>((high << 8) | low);
      return 2;
    }
    case 0x12: {  // LCALL addr16
      const std::uint8_t high = Fetch();
      const std::uint8_t low = Fetch();
      Push(static_cast<std::uint8_t>(pc_));
      Push(static_cast<std::uint8_t>(pc_ >> 8));
      pc_ = static_cast<std::uint16_t>((high << 8) | low);
      return 2;
    }
    case 0x22:  // RET
    case 0x32: {  // RETI
      const std::uint8_t high = Pop();
      const std::uint8_t low = Pop();
      pc_ = static_cast<std::uint16_t>((high << 8) | low);
      if (opcode == 0x32) {
        // The higher of the levels in progress ends.
        inService_ = (inService_ & 0x02) != 0 ? (inService_ & 0x01) : 0;
        interruptHold_ = true;
      }
      return 2;
    }
    case 0x80: Jump(rel()); return 2;  // SJMP
    case 0x73:  // JMP @A+DPTR
      pc_ = static_cast<std::uint16_t>(((sfr_[sfr::DPH] << 8) | sfr_[sfr::DPL]) + a);
      return 2;
    case 0x40: { const auto r = rel(); if (Carry()) Jump(r); return 2; }   // JC
    case 0x50: { const auto r = rel(); if (!Carry()) Jump(r); return 2; }  // JNC
    case 0x60: { const auto r = rel(); if (a == 0) Jump(r); return 2; }    // JZ
    case 0x70: { const auto r = rel(); if (a != 0) Jump(r); return 2; }    // JNZ
    case 0x20: {  // JB bit,rel
      const bool v = ReadBit(Fetch());
      const auto r = rel();
      if (v) Jump(r);
      return 2;
    }
    case 0x30: {  // JNB bit,rel
      const bool v = ReadBit(Fetch());
      const auto r = rel();
      if (!v) Jump(r);
      return 2;
    }
    case 0x10: {  // JBC bit,rel (read-modify-write)
      const std::uint8_t bit = Fetch();
      const auto r = rel();
      if (ReadBitLatch(bit)) {
        WriteBit(bit, false);
        Jump(r);
      }
      return 2;
    }
    case 0xB4: CompareJump(a, Fetch()); return 2;  // CJNE A,#data,rel
    case 0xB5: CompareJump(a, ReadDirect(Fetch())); return 2;  // CJNE A,direct,rel
    QUILLORN_CASE_RI(0xB6): {  // CJNE @Ri,#data,rel
      const std::uint8_t value = indirect(opcode);
      CompareJump(value, Fetch());
      return 2;
    }
    QUILLORN_CASE_RN(0xB8): {  // CJNE Rn,#data,rel
      const std::uint8_t value = Reg(opcode & 7);
      CompareJump(value, Fetch());
      return 2;
    }
    QUILLORN_CASE_RN(0xD8): {  // DJNZ Rn,rel
      const auto r = rel();
      if (--Reg(opcode & 7) != 0) Jump(r);
      return 2;
    }
    case 0xD5: {  // DJNZ direct,rel (read-modify-write)
      const std::uint8_t address = Fetch();
      const auto r = rel();
      const auto value = static_cast<std::uint8_t>(ReadDirectLatch(address) - 1);
      WriteDirect(address, value);
      if (value != 0) Jump(r);
      return 2;
    }

    case 0xA5:  // reserved
      hitReservedOpcode_ = true;
      return 1;
  }
  return 1;  // every opcode is handled above
}

#undef QUILLORN_CASE_RN
#undef QUILLORN_CASE_RI
#undef QUILLORN_CASE_PAGES

}  // namespace quillorn::sim
