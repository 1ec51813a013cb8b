#include "sim/I2cEeprom.hpp"

namespace quillorn::sim {

TI2cEeprom::TI2cEeprom(uint64_t writeCycleNs, bool neverAcknowledge)
    : writeCycleNs_(writeCycleNs), neverAcknowledge_(neverAcknowledge), memory_(kEepromSize, 0xFF) {}

void TI2cEeprom::SetMasterLines(bool scl, bool sda, uint64_t nowNs) {
  const bool oldScl = scl_;
  const bool oldSda = sda_;
  if (oldScl == scl) {
    sda_ = sda;
    if (scl && oldSda && !sda) OnStart();
    if (scl && !oldSda && sda) OnStop(nowNs);
    return;
  }
  if (scl) {
    sda_ = sda;  // data is set up before the clock rises
    scl_ = true;
    OnClockRise(sda_ && !pullSda_, nowNs);
  } else {
    scl_ = false;
    OnClockFall(nowNs);
    sda_ = sda;  // with the clock low a data change is no condition
  }
}

void TI2cEeprom::OnStart() {
  state_ = TState::Receiving;
  bitCount_ = 0;
  shift_ = 0;
  bytesInTransfer_ = 0;
  acknowledgeClock_ = false;
  pullSda_ = false;
  readMode_ = false;
  pending_ = false;  // a repeated START abandons data bytes that had no STOP
}

void TI2cEeprom::OnStop(uint64_t nowNs) {
  pullSda_ = false;
  state_ = TState::Idle;
  if (!pending_) return;
  pending_ = false;
  for (int i = 0; i < 16; ++i) {
    if (pageDirty_[i]) memory_[(pageBase_ + i) % kEepromSize] = page_[i];
    pageDirty_[i] = false;
  }
  writeDoneNs_ = nowNs + writeCycleNs_;
}

void TI2cEeprom::OnClockRise(bool sda, uint64_t nowNs) {
  if (state_ == TState::Idle) return;
  if (bitCount_ < 8) {
    if (state_ == TState::Receiving) shift_ = static_cast<uint8_t>((shift_ << 1) | (sda ? 1 : 0));
    ++bitCount_;
    return;
  }
  if (state_ == TState::Sending && !acknowledgeClock_) {
    acknowledgeClock_ = true;
    masterAcknowledged_ = !sda;
  }
}

void TI2cEeprom::OnClockFall(uint64_t nowNs) {
  if (state_ == TState::Idle) return;
  if (state_ == TState::Receiving) {
    if (bitCount_ == 8 && !acknowledgeClock_) {
      acknowledgeClock_ = true;
      ByteReceived(nowNs);
      return;
    }
    if (acknowledgeClock_) {
      acknowledgeClock_ = false;
      pullSda_ = false;
      bitCount_ = 0;
      shift_ = 0;
      if (readMode_) {
        state_ = TState::Sending;
        LoadNextReadByte();
      }
    }
    return;
  }
  // Sending: drive the next bit after each data clock, release for the master's acknowledge.
  if (bitCount_ < 8) {
    pullSda_ = ((sendByte_ >> (7 - bitCount_)) & 1) == 0;
    return;
  }
  if (!acknowledgeClock_) {
    pullSda_ = false;
    return;
  }
  acknowledgeClock_ = false;
  if (!masterAcknowledged_) {
    state_ = TState::Idle;  // the master ends the read; it sends a STOP next
    pullSda_ = false;
    return;
  }
  address_ = static_cast<uint16_t>((address_ + 1) % kEepromSize);
  LoadNextReadByte();
}

void TI2cEeprom::LoadNextReadByte() {
  sendByte_ = memory_[address_ % kEepromSize];
  bitCount_ = 0;
  pullSda_ = (sendByte_ & 0x80) == 0;
}

void TI2cEeprom::ByteReceived(uint64_t nowNs) {
  ++bytesInTransfer_;
  if (bytesInTransfer_ == 1) {
    const bool ours = (shift_ & 0xFC) == 0xA0;  // 1010, A2 = A1 = 0; B0 and R/W free
    if (!ours || neverAcknowledge_ || WriteCycleRunning(nowNs)) {
      state_ = TState::Idle;  // no acknowledge; the chip waits for the next START
      pullSda_ = false;
      acknowledgeClock_ = false;
      return;
    }
    block_ = (shift_ >> 1) & 1;
    readMode_ = (shift_ & 1) != 0;
    if (readMode_) address_ = static_cast<uint16_t>((block_ << 8) | (address_ & 0xFF));
    pullSda_ = true;
    return;
  }
  if (readMode_) return;  // not reached: a read sends, it does not receive
  if (bytesInTransfer_ == 2) {
    address_ = static_cast<uint16_t>((block_ << 8) | shift_);
    pageBase_ = static_cast<uint16_t>(address_ & ~0x0F);
    for (bool& dirty : pageDirty_) dirty = false;
    pullSda_ = true;
    return;
  }
  page_[address_ & 0x0F] = shift_;
  pageDirty_[address_ & 0x0F] = true;
  pending_ = true;
  address_ = static_cast<uint16_t>((address_ & ~0x0F) | ((address_ + 1) & 0x0F));  // rolls within the page
  pullSda_ = true;
}

}  // namespace quillorn::sim
