#include "sim/Bench.hpp"

#include <algorithm>

#include "sim/BoschEcu.hpp"
#include "sim/EcuBoard.hpp"
#include "sim/MemoryImage.hpp"

namespace quillorn::sim {

namespace {

constexpr auto kIdleWait = std::chrono::milliseconds(20);
constexpr int kEventsPerPass = 64;  // then the ECU runs again, so a flood of bytes cannot starve it

std::unique_ptr<TEcu> MakeEcu(const TBenchOptions& options) {
  if (IsBoschModel(options.model)) return std::make_unique<TBoschEcu>(options);
  return std::make_unique<TEcuBoard>(options);
}

}  // namespace

TBench::TBench(const TBenchOptions& options, std::unique_ptr<TBenchPort> port)
    : options_(options),
      port_(std::move(port)),
      ecu_(MakeEcu(options)),
      faults_(options.noise, options.drop, options.seed),
      tamper_(options.tamperWrite) {}

TBench::~TBench() { Stop(nullptr); }

bool TBench::Start(std::string* error) {
  if (started_) return true;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!LoadMemoryImage(options_.flashFile, ecu_->Flash(), error)) return false;
    if (!LoadMemoryImage(options_.eepromFile, ecu_->Eeprom(), error)) return false;
    RefreshPcFrame();
    const auto now = TLineClock::now();
    if (options_.noEcu) ecu_->PowerOff();
    ecu_->SetBreakVisible(port_->HasModemLines());
    if (port_->HasModemLines()) {
      ecu_->SetModeLine(port_->Rts());
      if (options_.programmer == TProgrammerModel::Zhv4 && !options_.noProgrammer) {
        // Powered up with the box's lines as they stand: held, or started as RTS selects.
        port_->SetCts(port_->Dtr());
        ecu_->SetReset(true, !port_->Rts(), now);
        ecu_->SetReset(port_->Dtr(), !port_->Rts(), now);
      }
    }
  }
  started_ = true;
  thread_ = std::thread([this] { Run(); });
  return true;
}

bool TBench::Stop(std::string* error) {
  if (stopped_) return true;
  stopped_ = true;
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
  return started_ ? Save(error) : true;
}

bool TBench::Save(std::string* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  const bool flashSaved = SaveMemoryImage(options_.flashFile, ecu_->Flash(), error);
  const bool eepromSaved = SaveMemoryImage(options_.eepromFile, ecu_->Eeprom(), flashSaved ? error : nullptr);
  return flashSaved && eepromSaved;
}

std::vector<uint8_t> TBench::Flash() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return ecu_->Flash();
}

std::vector<uint8_t> TBench::Eeprom() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return ecu_->Eeprom();
}

void TBench::SetFlash(const std::vector<uint8_t>& image) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto& flash = ecu_->Flash();
  std::copy_n(image.begin(), std::min(image.size(), flash.size()), flash.begin());
}

void TBench::SetEeprom(const std::vector<uint8_t>& image) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto& eeprom = ecu_->Eeprom();
  std::copy_n(image.begin(), std::min(image.size(), eeprom.size()), eeprom.begin());
}

TBenchCounters TBench::Counters() const {
  std::lock_guard<std::mutex> lock(mutex_);
  TBenchCounters counters = counters_;
  const TEcuCounters ecu = ecu_->Counters();
  counters.ecuMachineCycles = ecu.machineCycles;
  counters.ecuProcessingNs = ecu.processingNs;
  counters.lostBytes = ecu.lostBytes;
  counters.flippedBytes = faults_.Flipped();
  counters.droppedBytes = faults_.Dropped();
  counters.tamperedWrites = tamper_.Tampered();
  return counters;
}

void TBench::PowerCycle() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (options_.noEcu) return;
  ecu_->PowerOff();
  ecu_->PowerOn(TLineClock::now());
  frameTracker_.Reset();
  counters_.framesFromPc = 0;
  counters_.ecuPowerLost = false;
}

void TBench::Inspect(const std::function<void(TEcu&)>& f) {
  std::lock_guard<std::mutex> lock(mutex_);
  f(*ecu_);
}

void TBench::RefreshPcFrame() {
  if (const auto settings = port_->Settings()) {
    pcFrame_ = {settings->baud, settings->dataBits, settings->parity};
  }
}

void TBench::Run() {
  std::vector<uint8_t> toPc;
  while (!stopping_) {
    auto wait = std::chrono::duration_cast<std::chrono::microseconds>(kIdleWait);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      const auto now = TLineClock::now();
      const auto untilWake = std::chrono::duration_cast<std::chrono::microseconds>(ecu_->NextWake(now) - now);
      wait = std::clamp(untilWake, std::chrono::microseconds(0), wait);
    }
    std::optional<TLineEvent> event = port_->NextEvent(wait);
    std::lock_guard<std::mutex> lock(mutex_);
    for (int handled = 1; event; ++handled) {
      Handle(*event);
      if (handled == kEventsPerPass) break;
      event = port_->NextEvent(std::chrono::microseconds(0));
    }
    toPc.clear();
    ecu_->AdvanceTo(TLineClock::now(), pcFrame_, toPc);
    ForwardToPc(toPc);
  }
}

void TBench::Handle(const TLineEvent& event) {
  switch (event.kind) {
    case TLineEvent::Kind::Byte:
      HandleByte(event.byte, event.at);
      return;
    case TLineEvent::Kind::Settings:
      RefreshPcFrame();
      return;
    case TLineEvent::Kind::Dtr:
      if (options_.programmer != TProgrammerModel::Zhv4 || options_.noProgrammer) return;
      port_->SetCts(event.level);
      ecu_->SetReset(event.level, !port_->Rts(), event.at);
      return;
    case TLineEvent::Kind::Rts:
      if (!options_.noProgrammer) ecu_->SetModeLine(event.level);
      return;
    case TLineEvent::Kind::BreakOn:
    case TLineEvent::Kind::BreakOff:
      if (!options_.noProgrammer && !options_.noEcu && !counters_.ecuPowerLost) {
        ecu_->Break(event.kind == TLineEvent::Kind::BreakOn, event.at);
      }
      return;
    default:
      return;  // opening and closing the port change nothing on this box
  }
}

void TBench::HandleByte(uint8_t byte, TLineClock::time_point at) {
  ++counters_.bytesFromPc;
  if (!port_->ReportsSettingsChanges()) RefreshPcFrame();
  if (options_.noProgrammer) return;
  port_->Write(&byte, 1);  // the box's echo comes back before anything the ECU says
  if (options_.noEcu || counters_.ecuPowerLost) return;
  const int payloadIndex = TrackFrames(byte, at);
  if (counters_.ecuPowerLost) return;
  const uint8_t sent = tamper_.Pass(byte, payloadIndex);
  if (const std::optional<uint8_t> arrived = faults_.Pass(sent)) ecu_->Receive(*arrived, pcFrame_, at);
}

int TBench::TrackFrames(uint8_t byte, TLineClock::time_point at) {
  if (!ecu_->ServesFrames()) {
    frameTracker_.Reset();
    return -1;
  }
  const TFrameReader::TResult result = frameTracker_.Feed(byte, at);
  if (result.event == TFrameReader::TEvent::Frame) ++counters_.framesFromPc;
  const auto& limit = options_.powerLossAfterFrames;
  if (result.event == TFrameReader::TEvent::Started && limit && counters_.framesFromPc >= *limit) {
    ecu_->PowerOff();
    counters_.ecuPowerLost = true;
  }
  return result.payloadIndex;
}

void TBench::ForwardToPc(const std::vector<uint8_t>& bytes) {
  if (bytes.empty() || options_.noProgrammer) return;
  std::vector<uint8_t> passed;
  passed.reserve(bytes.size());
  for (uint8_t byte : bytes) {
    if (const std::optional<uint8_t> arrived = faults_.Pass(byte)) passed.push_back(*arrived);
  }
  counters_.bytesToPc += passed.size();
  if (!passed.empty()) port_->Write(passed.data(), passed.size());
}

}  // namespace quillorn::sim
