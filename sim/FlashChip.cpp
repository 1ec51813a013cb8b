#include "sim/FlashChip.hpp"

#include <algorithm>

namespace quillorn::sim {

namespace {

constexpr uint8_t kManufacturer = 0x01;
constexpr uint8_t kDq7 = 0x80, kDq6 = 0x40, kDq5 = 0x20, kDq3 = 0x08;

}  // namespace

TFlashChip::TFlashChip(TFlashChipKind kind, uint32_t size, TFlashTiming timing, TFlashFaults faults)
    : kind_(kind), timing_(timing), faults_(faults), array_(size, 0xFF) {}

uint32_t TFlashChip::CommandAddress(uint32_t address) const {
  return kind_ == TFlashChipKind::Normal20 ? (address & 0x7FFF) : (address & 0x0FFF);
}

bool TFlashChip::IsFirstUnlock(uint32_t address) const {
  return CommandAddress(address) == (kind_ == TFlashChipKind::Normal20 ? 0x5555u : 0x0AAAu);
}

bool TFlashChip::IsSecondUnlock(uint32_t address) const {
  return CommandAddress(address) == (kind_ == TFlashChipKind::Normal20 ? 0x2AAAu : 0x0555u);
}

void TFlashChip::Settle(uint64_t nowNs) {
  if (mode_ != TMode::Busy || nowNs < doneAtNs_) return;
  if (operationFails_) {
    // The embedded algorithm gave up: DQ5 shows it until a reset command.
    if (operation_ == TOperation::Program) array_[programAddress_] &= programValue_;
    operation_ = TOperation::None;
    mode_ = TMode::Failed;
    return;
  }
  FinishOperation();
  mode_ = TMode::Read;
}

void TFlashChip::FinishOperation() {
  if (operation_ == TOperation::Program) array_[programAddress_] &= programValue_;
  if (operation_ == TOperation::Erase) std::fill(array_.begin(), array_.end(), 0xFF);
  operation_ = TOperation::None;
}

void TFlashChip::StartProgram(uint32_t address, uint8_t value, uint64_t nowNs) {
  programAddress_ = address % static_cast<uint32_t>(array_.size());
  programValue_ = value;
  operation_ = TOperation::Program;
  const bool injected = faults_.programFailAddress && *faults_.programFailAddress == programAddress_;
  // NOR cells only go from 1 to 0; asking for a 1 over a 0 never verifies.
  const bool raisesBits = (array_[programAddress_] & value) != value;
  operationFails_ = injected || raisesBits;
  if (injected) operation_ = TOperation::None;  // the cells do not take the charge at all
  doneAtNs_ = nowNs + (operationFails_ ? timing_.programLimitNs : timing_.programNs);
  mode_ = TMode::Busy;
}

void TFlashChip::StartErase(uint64_t nowNs) {
  operation_ = faults_.eraseFail ? TOperation::None : TOperation::Erase;
  operationFails_ = faults_.eraseFail;
  programValue_ = 0xFF;  // data polling during erase compares with erased data
  doneAtNs_ = nowNs + timing_.eraseNs;
  mode_ = TMode::Busy;
}

uint8_t TFlashChip::StatusByte() {
  toggle_ = !toggle_;
  uint8_t status = static_cast<uint8_t>(~programValue_ & kDq7);
  if (toggle_) status |= kDq6;
  if (mode_ == TMode::Failed) status |= kDq5;
  if (operation_ == TOperation::Erase) status |= kDq3;  // the erase timer has started
  return status;
}

uint8_t TFlashChip::AutoselectByte(uint32_t address) const {
  if (kind_ == TFlashChipKind::Normal20) {
    switch (address & 0x03) {
      case 0: return kManufacturer;
      case 1: return 0x20;
      default: return 0x00;  // sector protection: none
    }
  }
  // Byte mode of a 16-bit chip: the identifier words split into bytes, low byte first.
  switch (address & 0x03) {
    case 0: return kManufacturer;
    case 2: return 0x51;
    case 3: return 0x22;
    default: return 0x00;
  }
}

uint8_t TFlashChip::Read(uint32_t address, uint64_t nowNs) {
  Settle(nowNs);
  if (mode_ == TMode::Busy || mode_ == TMode::Failed) return StatusByte();
  if (mode_ == TMode::Autoselect) return AutoselectByte(address);
  return array_[address % array_.size()];
}

void TFlashChip::Write(uint32_t address, uint8_t value, uint64_t nowNs) {
  Settle(nowNs);
  if (mode_ == TMode::Busy) return;  // commands are ignored while the embedded algorithm runs
  if (programArmed_) {
    programArmed_ = false;
    StartProgram(address, value, nowNs);
    return;
  }
  if (value == 0xF0) {  // reset, accepted in any cycle and the only way out of a DQ5 failure
    mode_ = TMode::Read;
    unlockStep_ = 0;
    eraseArmed_ = false;
    return;
  }
  if (mode_ == TMode::Failed) return;
  switch (unlockStep_) {
    case 0:
      unlockStep_ = IsFirstUnlock(address) && value == 0xAA ? 1 : 0;
      if (unlockStep_ == 0) eraseArmed_ = false;
      return;
    case 1:
      unlockStep_ = IsSecondUnlock(address) && value == 0x55 ? 2 : 0;
      if (unlockStep_ == 0) eraseArmed_ = false;
      return;
    default:
      break;
  }
  unlockStep_ = 0;
  if (!IsFirstUnlock(address)) {
    eraseArmed_ = false;
    return;
  }
  if (eraseArmed_) {
    eraseArmed_ = false;
    if (value == 0x10) StartErase(nowNs);
    return;
  }
  switch (value) {
    case 0x90: mode_ = TMode::Autoselect; break;
    case 0xA0: programArmed_ = true; break;
    case 0x80: eraseArmed_ = true; break;
    default: break;
  }
}

void TFlashChip::HardwareReset(uint64_t nowNs) {
  Settle(nowNs);
  if (mode_ == TMode::Busy) {
    if (operationFails_ && operation_ == TOperation::Program) array_[programAddress_] &= programValue_;
    if (!operationFails_) FinishOperation();
    operation_ = TOperation::None;
  }
  mode_ = TMode::Read;
  unlockStep_ = 0;
  eraseArmed_ = false;
  programArmed_ = false;
}

bool TFlashChip::Busy(uint64_t nowNs) {
  Settle(nowNs);
  return mode_ == TMode::Busy;
}

}  // namespace quillorn::sim
