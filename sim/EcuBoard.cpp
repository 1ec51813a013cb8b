#include "sim/EcuBoard.hpp"

#include <algorithm>

namespace quillorn::sim {

namespace {

// The CPU never runs more than this far behind the wall clock: after a longer stall of the
// host (a debugger, a loaded machine) it continues from now instead of racing to catch up.
constexpr uint64_t kMaxLagCycles = kMachineCyclesPerSecond / 10;

struct TI2cPins {
  int port;
  uint8_t scl;
  uint8_t sda;
};

TI2cPins PinsOf(TI2cWiring wiring) {
  switch (wiring) {
    case TI2cWiring::Second: return {1, 2, 3};
    case TI2cWiring::Third: return {3, 4, 5};
    default: return {1, 0, 1};
  }
}

TFlashTiming TimingOf(const TBenchOptions& options) {
  TFlashTiming timing;
  timing.programNs = uint64_t{options.programTimeUs} * 1000;
  timing.eraseNs = uint64_t{options.eraseTimeMs} * 1'000'000;
  timing.programLimitNs = std::max<uint64_t>(timing.programNs * 10, 1000);
  return timing;
}

}  // namespace

TEcuBoard::TEcuBoard(const TBenchOptions& options)
    : model_(options.model),
      flash_(FlashChipKindOf(options.model), FlashSize(options.model), TimingOf(options),
             TFlashFaults{options.eraseFail, options.programFailAddress}),
      eeprom_(uint64_t{options.eepromWriteTimeMs} * 1'000'000, options.eepromNack),
      loader_(xram_),
      cpu_(std::make_unique<TCpu8051>(static_cast<ICpuBus&>(*this))),
      diagnostics_(MakeDiagnosticSoftware(options.model)) {
  cpu_->SetSerialTransmitHandler([this](uint8_t byte) { SendToPc(byte); });
}

uint64_t TEcuBoard::CycleAt(TLineClock::time_point at) const {
  if (at <= anchorTime_) return anchorCycle_;
  const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(at - anchorTime_).count();
  return anchorCycle_ + static_cast<uint64_t>(elapsed) / kNanosPerMachineCycle;
}

void TEcuBoard::HoldInReset() {
  flash_.HardwareReset(NowNs());
  cpu_->Reset();
  cpu_->SetCodeWindow(nullptr, 0, 0);
  std::fill(std::begin(latches_), std::end(latches_), 0xFF);
  UpdateEepromLines();
  loader_.Reset();
  received_.clear();
}

void TEcuBoard::SetReset(bool held, bool bootLoader, TLineClock::time_point now) {
  if (state_ == TRunState::Off) return;
  if (held) {
    if (state_ != TRunState::InReset) HoldInReset();
    state_ = TRunState::InReset;
    return;
  }
  if (state_ != TRunState::InReset) return;
  // Without its boot-mode pin the processor runs the ECU's own software: the diagnostics.
  state_ = bootLoader ? TRunState::BootLoader : TRunState::OwnSoftware;
  if (state_ == TRunState::OwnSoftware && diagnostics_) diagnostics_->Start(now);
}

void TEcuBoard::Break(bool low, TLineClock::time_point at) {
  if (state_ == TRunState::OwnSoftware && diagnostics_) diagnostics_->Break(low, at);
}

void TEcuBoard::SetBreakVisible(bool visible) {
  if (diagnostics_) diagnostics_->SetBreakVisible(visible);
}

TUartFrame TEcuBoard::DiagnosticFrame() const {
  return TUartFrame{diagnostics_ ? diagnostics_->LineRate() : 9600u, 8, kNoParity};
}

void TEcuBoard::PowerOff() {
  HoldInReset();
  state_ = TRunState::Off;
}

void TEcuBoard::PowerOn(TLineClock::time_point now) {
  HoldInReset();
  state_ = TRunState::BootLoader;
}

void TEcuBoard::SendToPc(uint8_t byte) {
  toPc_.push_back(outputFrame_ ? ResampleCharacter(byte, uartFrame_, *outputFrame_) : byte);
}

void TEcuBoard::LoaderReceive(uint8_t byte, const TUartFrame& pcFrame, TLineClock::time_point at) {
  if (loader_.State() == TC509BootLoader::TState::WaitSync) {
    uartFrame_.baud = MeasuredLoaderRate(byte, pcFrame);
  } else {
    byte = ResampleCharacter(byte, pcFrame, uartFrame_);
  }
  const TC509BootLoader::TAnswer answer = loader_.Receive(byte);
  if (answer.byte) SendToPc(*answer.byte);
  if (answer.startAddress) StartProcessor(*answer.startAddress, at);
}

void TEcuBoard::StartProcessor(uint16_t address, TLineClock::time_point now) {
  cpu_->Reset();
  cpu_->SetCodeWindow(xram_.data(), kXramBase, kXramSize);
  cpu_->SetPc(address);
  // The bootstrap runs the serial port in mode 1: ten bits per character.
  cpu_->SetSerialCharCycles(CharacterCycles(uartFrame_.baud, 10));
  anchorTime_ = now;
  anchorCycle_ = cpu_->Cycles();
  receiverFreeCycle_ = anchorCycle_;
  received_.clear();
  state_ = TRunState::Running;
}

void TEcuBoard::Receive(uint8_t byte, const TUartFrame& pcFrame, TLineClock::time_point at) {
  if (state_ == TRunState::BootLoader) {
    outputFrame_ = &pcFrame;
    LoaderReceive(byte, pcFrame, at);
    outputFrame_ = nullptr;
    return;
  }
  if (state_ == TRunState::OwnSoftware && diagnostics_) {
    diagnostics_->Receive(ResampleCharacter(byte, pcFrame, DiagnosticFrame()), at);
    return;
  }
  if (state_ != TRunState::Running) return;
  // The receiver takes one character per character time of the sender, however the bytes
  // were bunched on the way.
  const uint32_t bits = 1 + pcFrame.dataBits + (pcFrame.parity == kNoParity ? 0 : 1) + 1;
  // A byte the bench thread hands over late arrives now, never in the processor's past.
  const uint64_t arrival = std::max({CycleAt(at), receiverFreeCycle_, cpu_->Cycles()});
  received_.push_back({ResampleCharacter(byte, pcFrame, uartFrame_), arrival});
  receiverFreeCycle_ = arrival + CharacterCycles(pcFrame.baud, bits);
}

void TEcuBoard::AdvanceTo(TLineClock::time_point now, const TUartFrame& pcFrame, std::vector<uint8_t>& toPc) {
  outputFrame_ = &pcFrame;
  if (state_ == TRunState::Running) {
    uint64_t target = CycleAt(now);
    if (target > cpu_->Cycles() + kMaxLagCycles) {  // the ECU's clock falls behind the wall clock
      const uint64_t skipped = target - (cpu_->Cycles() + kMaxLagCycles);
      anchorTime_ = now;
      anchorCycle_ = target - skipped;
      target = anchorCycle_;
      for (TPendingByte& pending : received_) pending.deliverAtCycle -= std::min(pending.deliverAtCycle, skipped);
      receiverFreeCycle_ -= std::min(receiverFreeCycle_, skipped);
    }
    while (cpu_->Cycles() < target) {
      if (!received_.empty() && received_.front().deliverAtCycle <= cpu_->Cycles()) {
        if (!cpu_->SerialReceive(received_.front().byte)) ++lostBytes_;
        received_.pop_front();
      }
      const uint64_t until = received_.empty() ? target : std::min(target, received_.front().deliverAtCycle);
      cpu_->RunCycles(std::max<uint64_t>(until - std::min(until, cpu_->Cycles()), 1));
    }
  }
  if (state_ == TRunState::OwnSoftware && diagnostics_) {
    std::vector<uint8_t> sent;
    diagnostics_->AdvanceTo(now, sent);
    for (uint8_t byte : sent) toPc_.push_back(ResampleCharacter(byte, DiagnosticFrame(), pcFrame));
  }
  toPc.insert(toPc.end(), toPc_.begin(), toPc_.end());
  toPc_.clear();
  outputFrame_ = nullptr;
}

TLineClock::time_point TEcuBoard::NextWake(TLineClock::time_point now) const {
  const auto idle = now + std::chrono::milliseconds(50);
  if (state_ == TRunState::Running) return now + std::chrono::milliseconds(1);
  if (state_ == TRunState::OwnSoftware && diagnostics_) return std::min(idle, diagnostics_->NextWake());
  return idle;
}

TEcuCounters TEcuBoard::Counters() const {
  TEcuCounters counters;
  counters.machineCycles = cpu_->Cycles();
  counters.processingNs = cpu_->Cycles() * kNanosPerMachineCycle;
  counters.lostBytes = lostBytes_;
  return counters;
}

// --- the board around the processor ---

uint8_t TEcuBoard::CodeRead(uint16_t address) {
  // Boot ROM below the XRAM: only the two vectors that lead into the uploaded image.
  switch (address) {
    case 0x000B: return 0x02;
    case 0x000C: return 0xF4;
    case 0x000D: return 0x00;
    case 0x0023: return 0x02;
    case 0x0024: return 0xF4;
    case 0x0025: return 0x10;
    default: return 0xFF;
  }
}

uint32_t TEcuBoard::ChipAddress(uint16_t address) const {
  if (FlashSize(model_) <= kPageSize) return address;
  const uint32_t page = (latches_[1] >> 4) & 1;  // P1.4 drives A16
  return (page << 16) | address;
}

uint8_t TEcuBoard::XdataRead(uint16_t address) { return flash_.Read(ChipAddress(address), NowNs()); }

void TEcuBoard::XdataWrite(uint16_t address, uint8_t value) { flash_.Write(ChipAddress(address), value, NowNs()); }

uint8_t TEcuBoard::PortPins(int port, uint8_t latch) {
  const TI2cPins pins = PinsOf(EepromWiringOf(model_));
  if (port == pins.port && eeprom_.PullsSdaLow()) latch = static_cast<uint8_t>(latch & ~(1u << pins.sda));
  return latch;
}

void TEcuBoard::PortLatchWritten(int port, uint8_t latch) {
  if (port < 0 || port > 3) return;
  latches_[port] = latch;
  if (port == PinsOf(EepromWiringOf(model_)).port) UpdateEepromLines();
}

void TEcuBoard::UpdateEepromLines() {
  const TI2cPins pins = PinsOf(EepromWiringOf(model_));
  const uint8_t latch = latches_[pins.port];
  eeprom_.SetMasterLines(((latch >> pins.scl) & 1) != 0, ((latch >> pins.sda) & 1) != 0, NowNs());
}

void TEcuBoard::SfrWritten(uint8_t address, uint8_t value) {
  if (address == 0xC2) outputService_ = value;
}

}  // namespace quillorn::sim
