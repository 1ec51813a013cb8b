#include "tests/bootstrap/TestFlash.hpp"

namespace quillorn::bootstraptests {

TTestFlash::TTestFlash(TTestFlashConfig config) : config_(config), cells_(Size, 0xFF) {}

std::uint32_t TTestFlash::Decoded(std::uint32_t address) const {
  return address & (config_.byteMode ? 0x0FFFu : 0x7FFFu);
}

std::uint32_t TTestFlash::CommandAddress() const { return config_.byteMode ? 0x0AAA : 0x5555; }

std::uint32_t TTestFlash::SecondUnlockAddress() const {
  return config_.byteMode ? 0x0555 : 0x2AAA;
}

void TTestFlash::Settle(std::uint64_t now) {
  if (mode_ != TMode::Busy || now < doneAt_) {
    return;
  }
  if (failAtEnd_) {
    mode_ = TMode::Failed;
    return;
  }
  if (busyWithErase_) {
    cells_.assign(Size, 0xFF);
  } else {
    cells_[busyAddress_] &= busyValue_;
    ++bytesProgrammed_;
  }
  mode_ = TMode::Read;
}

std::uint8_t TTestFlash::Read(std::uint32_t address, std::uint64_t now) {
  Settle(now);
  address %= Size;
  if (mode_ == TMode::Busy || mode_ == TMode::Failed) {
    toggle_ = !toggle_;
    std::uint8_t status = busyWithErase_ ? 0x00 : static_cast<std::uint8_t>(~busyValue_ & 0x80);
    if (toggle_) {
      status |= 0x40;
    }
    if (mode_ == TMode::Failed) {
      status |= 0x20;
    }
    return status;
  }
  if (mode_ == TMode::Autoselect) {
    const std::uint32_t offset = address & 0xFF;
    const std::uint32_t codeAt = config_.byteMode ? 2 : 1;
    if (offset == 0) {
      return 0x01;
    }
    return offset == codeAt ? config_.deviceCode : 0x00;
  }
  return cells_[address];
}

void TTestFlash::Write(std::uint32_t address, std::uint8_t value, std::uint64_t now) {
  Settle(now);
  address %= Size;
  if (mode_ == TMode::Busy) {
    return;
  }
  if (mode_ == TMode::ProgramNext) {
    Program(address, value, now);
    return;
  }
  if (value == 0xF0 && unlockStep_ != 2) {
    // The one-cycle reset, from any address: leaves autoselect and the failed state.
    mode_ = TMode::Read;
    unlockStep_ = 0;
    eraseSetup_ = false;
    return;
  }
  if (mode_ == TMode::Failed) {
    return;
  }
  const std::uint32_t decoded = Decoded(address);
  if (unlockStep_ == 0 && decoded == CommandAddress() && value == 0xAA) {
    unlockStep_ = 1;
  } else if (unlockStep_ == 1 && decoded == SecondUnlockAddress() && value == 0x55) {
    unlockStep_ = 2;
  } else if (unlockStep_ == 2 && decoded == CommandAddress()) {
    unlockStep_ = 0;
    Command(value);
    if (mode_ == TMode::Busy) {
      doneAt_ = now + config_.eraseCycles;
    }
  } else {
    unlockStep_ = 0;
    eraseSetup_ = false;
  }
}

void TTestFlash::Command(std::uint8_t command) {
  if (eraseSetup_) {
    eraseSetup_ = false;
    if (command == 0x10) {
      ++erasesStarted_;
      mode_ = TMode::Busy;
      busyWithErase_ = true;
      failAtEnd_ = config_.eraseFails;
    }
    return;
  }
  switch (command) {
    case 0x90: mode_ = TMode::Autoselect; ++autoselects_; break;
    case 0xA0: mode_ = TMode::ProgramNext; break;
    case 0x80: eraseSetup_ = true; break;
    case 0xF0: mode_ = TMode::Read; break;
    default: break;
  }
}

void TTestFlash::Program(std::uint32_t address, std::uint8_t value, std::uint64_t now) {
  mode_ = TMode::Busy;
  busyWithErase_ = false;
  busyAddress_ = address;
  busyValue_ = value;
  // NOR cells only go from 1 to 0: asking for a 1 over a 0 runs into the time limit.
  failAtEnd_ = (cells_[address] & value) != value;
  doneAt_ = now + config_.programCycles;
}

}  // namespace quillorn::bootstraptests
