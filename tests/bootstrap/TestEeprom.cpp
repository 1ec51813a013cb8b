#include "tests/bootstrap/TestEeprom.hpp"

namespace quillorn::bootstraptests {

void TTestEeprom::SetMasterLines(bool scl, bool sda, std::uint64_t now) {
  const bool sclWas = scl_;
  const bool sdaWas = sda_;
  scl_ = scl;
  sda_ = sda;
  if (scl && sclWas) {
    if (sdaWas && !sda) {
      OnStart();
    } else if (!sdaWas && sda) {
      OnStop(now);
    }
  } else if (scl && !sclWas) {
    OnClockRise(sda);
  } else if (!scl && sclWas) {
    OnClockFall(now);
  }
}

void TTestEeprom::OnStart() {
  pending_.clear();  // a repeated START abandons an unfinished write
  state_ = TState::Control;
  clocks_ = 0;
  shift_ = 0;
  pullSda_ = false;
}

void TTestEeprom::OnStop(std::uint64_t now) {
  if (!pending_.empty() && state_ != TState::Sending) {
    for (const auto& [address, value] : pending_) {
      if (!writeProtected_) {
        memory_[address] = value;
      }
    }
    pending_.clear();
    ++writesCommitted_;
    busyUntil_ = now + writeCycles_;
  }
  state_ = TState::Idle;
  pullSda_ = false;
}

void TTestEeprom::OnClockRise(bool sda) {
  if (state_ == TState::Idle) {
    return;
  }
  ++clocks_;
  if (state_ == TState::Sending) {
    if (clocks_ == 9) {
      masterAcknowledged_ = !sda;
    }
    return;
  }
  if (clocks_ <= 8) {
    shift_ = static_cast<std::uint8_t>((shift_ << 1) | (sda ? 1 : 0));
  }
}

void TTestEeprom::OnClockFall(std::uint64_t now) {
  if (state_ == TState::Idle) {
    return;
  }
  if (state_ == TState::Sending) {
    if (clocks_ < 8) {
      pullSda_ = ((sendByte_ << clocks_) & 0x80) == 0;
    } else if (clocks_ == 8) {
      pullSda_ = false;  // the master's acknowledge
    } else if (masterAcknowledged_) {
      address_ = static_cast<std::uint16_t>((address_ + 1) & 0x1FF);
      sendByte_ = memory_[address_];
      clocks_ = 0;
      pullSda_ = (sendByte_ & 0x80) == 0;
    } else {
      state_ = TState::Idle;
      pullSda_ = false;
    }
    return;
  }
  if (clocks_ == 8) {
    ByteReceived(now);
    pullSda_ = acknowledged_;
    if (!acknowledged_) {
      state_ = TState::Idle;
    }
  } else if (clocks_ == 9) {
    pullSda_ = false;
    clocks_ = 0;
    shift_ = 0;
    if (enterSending_) {
      enterSending_ = false;
      state_ = TState::Sending;
      sendByte_ = memory_[address_];
      pullSda_ = (sendByte_ & 0x80) == 0;
    }
  }
}

void TTestEeprom::ByteReceived(std::uint64_t now) {
  acknowledged_ = true;
  switch (state_) {
    case TState::Control:
      controlBytes_.push_back(shift_);
      if ((shift_ & 0xFC) != 0xA0 || now < busyUntil_) {
        acknowledged_ = false;  // not our A2 A1, or still writing
        return;
      }
      block_ = static_cast<std::uint8_t>((shift_ >> 1) & 1);
      if (shift_ & 1) {
        enterSending_ = true;
      } else {
        state_ = TState::WordAddress;
      }
      return;
    case TState::WordAddress:
      address_ = static_cast<std::uint16_t>((block_ << 8) | shift_);
      state_ = TState::Data;
      return;
    case TState::Data:
      pending_.emplace_back(address_, shift_);
      // Inside a 16-byte page only the low four address bits count on.
      address_ = static_cast<std::uint16_t>((address_ & ~0x0Fu) | ((address_ + 1) & 0x0F));
      return;
    default:
      acknowledged_ = false;
      return;
  }
}

}  // namespace quillorn::bootstraptests
