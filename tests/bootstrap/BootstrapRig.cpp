#include "tests/bootstrap/BootstrapRig.hpp"

#include <algorithm>

namespace quillorn::bootstraptests {
namespace {

constexpr std::uint16_t XramBase = 0xF400;
constexpr std::size_t XramSize = 0x0C00;
constexpr std::uint16_t EntryPoint = 0xF420;
constexpr std::uint64_t EepromWriteCycles = 13'333;  // 5 ms

}  // namespace

std::vector<std::uint8_t> Request(std::vector<std::uint8_t> body) {
  std::vector<std::uint8_t> frame;
  frame.reserve(body.size() + 3);
  frame.push_back(0x46);
  frame.push_back(static_cast<std::uint8_t>(body.size() + 0x55));
  std::uint8_t sum = static_cast<std::uint8_t>(frame[0] + frame[1]);
  for (std::uint8_t b : body) {
    frame.push_back(b);
    sum = static_cast<std::uint8_t>(sum + b);
  }
  frame.push_back(static_cast<std::uint8_t>(-sum));
  return frame;
}

TBootstrapRig::TBootstrapRig(std::span<const std::uint8_t> image, TTestFlashConfig flash,
                             TWiring eepromWiring)
    : xram_(XramSize, 0xFF), flash_(flash), eeprom_(EepromWriteCycles) {
  std::copy(image.begin(), image.end(), xram_.begin());
  switch (eepromWiring) {
    case TWiring::First: eepromPort_ = 1; sclMask_ = 0x01; sdaMask_ = 0x02; break;
    case TWiring::Second: eepromPort_ = 1; sclMask_ = 0x04; sdaMask_ = 0x08; break;
    case TWiring::Third: eepromPort_ = 3; sclMask_ = 0x10; sdaMask_ = 0x20; break;
  }
  sim::ICpuBus& board = *this;
  cpu_ = std::make_unique<sim::TCpu8051>(board);
  cpu_->Reset();
  cpu_->SetCodeWindow(xram_.data(), XramBase, XramSize);
  cpu_->SetSerialCharCycles(CharCycles);
  cpu_->SetSerialTransmitHandler([this](std::uint8_t byte) {
    if (received_.empty()) {
      firstReplyByte_ = cpu_->Cycles() - CharCycles;
    }
    received_.push_back(byte);
  });
  // The boot loader has just jumped to the uploaded program.
  cpu_->SetPc(EntryPoint);
  Run(200);
}

std::uint8_t TBootstrapRig::CodeRead(std::uint16_t address) {
  // Boot ROM: LJMP 0xF400 at the timer 0 vector, LJMP 0xF410 at the serial vector.
  static constexpr std::uint8_t timerVector[] = {0x02, 0xF4, 0x00};
  static constexpr std::uint8_t serialVector[] = {0x02, 0xF4, 0x10};
  if (address >= 0x000B && address < 0x000E) {
    return timerVector[address - 0x000B];
  }
  if (address >= 0x0023 && address < 0x0026) {
    return serialVector[address - 0x0023];
  }
  return 0xFF;
}

std::uint32_t TBootstrapRig::FlashAddress(std::uint16_t address) const {
  return (flash_.PageLineWired() && PageLine() ? 0x10000u : 0u) | address;
}

std::uint8_t TBootstrapRig::XdataRead(std::uint16_t address) {
  return flash_.Read(FlashAddress(address), cpu_->Cycles());
}

void TBootstrapRig::XdataWrite(std::uint16_t address, std::uint8_t value) {
  flash_.Write(FlashAddress(address), value, cpu_->Cycles());
}

std::uint8_t TBootstrapRig::PortPins(int port, std::uint8_t latch) {
  if (port == eepromPort_ && eeprom_.PullsSdaLow()) {
    return static_cast<std::uint8_t>(latch & ~sdaMask_);
  }
  return latch;
}

void TBootstrapRig::PortLatchWritten(int port, std::uint8_t latch) {
  if (port == eepromPort_) {
    eeprom_.SetMasterLines((latch & sclMask_) != 0, (latch & sdaMask_) != 0, cpu_->Cycles());
  }
}

void TBootstrapRig::SfrWritten(std::uint8_t address, std::uint8_t value) {
  if (address == 0xC2) {
    outputSteps_.push_back({cpu_->Cycles(), value});
  }
}

void TBootstrapRig::Send(std::span<const std::uint8_t> bytes, std::uint64_t gapBefore) {
  std::uint64_t at = std::max(cpu_->Cycles(), pending_.empty() ? 0 : pending_.back().at);
  at += gapBefore;
  for (std::uint8_t b : bytes) {
    at += CharCycles;
    pending_.push_back({at, b});
  }
}

void TBootstrapRig::Deliver() {
  while (nextPending_ < pending_.size() && pending_[nextPending_].at <= cpu_->Cycles()) {
    if (!cpu_->SerialReceive(pending_[nextPending_].value)) {
      ++bytesLost_;
    }
    lastDelivery_ = cpu_->Cycles();
    ++nextPending_;
  }
}

void TBootstrapRig::Run(std::uint64_t cycles) {
  const std::uint64_t end = cpu_->Cycles() + cycles;
  while (cpu_->Cycles() < end) {
    Deliver();
    cpu_->Step();
  }
}

std::vector<std::uint8_t> TBootstrapRig::AwaitReply(std::uint64_t limit) {
  received_.clear();
  const std::uint64_t lastByteAt = pending_.empty() ? 0 : pending_.back().at;
  const std::uint64_t deadline = std::max(cpu_->Cycles(), lastByteAt) + limit;
  while (cpu_->Cycles() < deadline) {
    Deliver();
    cpu_->Step();
    if (received_.size() >= 2 && received_[1] >= 0x55 &&
        received_.size() >= received_[1] - 0x55u + 3u) {
      // A whole frame; a few more cycles let the program re-enable its receiver.
      Run(50);
      return received_;
    }
  }
  return {};
}

std::vector<std::uint8_t> TBootstrapRig::Exchange(const std::vector<std::uint8_t>& request,
                                                  std::uint64_t limit) {
  Send(request);
  return AwaitReply(limit);
}

}  // namespace quillorn::bootstraptests
