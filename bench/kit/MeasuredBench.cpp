#include "bench/kit/MeasuredBench.hpp"

#include <algorithm>
#include <atomic>

#include "serial/PortMap.hpp"
#include "sim/BenchOptions.hpp"

namespace quillorn::benchkit {

TWireCounts operator-(const TWireCounts& a, const TWireCounts& b) {
  return {a.pcBytes - b.pcBytes,     a.echoBytes - b.echoBytes, a.ecuBytes - b.ecuBytes,
          a.ecuTurnNs - b.ecuTurnNs, a.answers - b.answers,     a.clientTurnNs - b.clientTurnNs};
}

namespace {
uint64_t Nanos(TLineClock::duration d) {
  return d.count() > 0 ? static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(d).count()) : 0;
}
}  // namespace

std::optional<TLineEvent> TRecordingBenchPort::NextEvent(std::chrono::microseconds timeout) {
  std::optional<TLineEvent> event = inner_.NextEvent(timeout);
  if (event && event->kind == TLineEvent::Kind::Byte) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++counts_.pcBytes;
    if (answerPending_) {
      answerPending_ = false;
      counts_.ecuTurnNs += EcuSideNs();
      // The byte's time is when its stop bit ended: it started one character earlier.
      counts_.clientTurnNs += Nanos(event->at - CharacterTime() - answerAtPc_);
    }
    echoPending_ = true;
    answerStarted_ = false;
    lastPcByteAt_ = event->at;
  }
  return event;
}

// The box echoes a byte the moment it has it, before the bench looks at the next event; any
// other write is the ECU speaking.
void TRecordingBenchPort::Write(const uint8_t* data, size_t count) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (echoPending_ && count == 1) {
      echoPending_ = false;
      ++counts_.echoBytes;
    } else {
      counts_.ecuBytes += count;
      if (!answerStarted_) {
        answerStarted_ = true;
        ++counts_.answers;
        answerFrom_ = lastPcByteAt_;
        answerBytes_ = 0;
        answerWireEnd_ = {};
      }
      // The line paces the bytes one character apart from now or from the previous ones.
      answerBytes_ += count;
      answerWireEnd_ = std::max(TLineClock::now(), answerWireEnd_) + CharacterTime() * static_cast<int64_t>(count);
      answerAtPc_ = answerWireEnd_ + std::chrono::milliseconds(inner_.Line()->Options().latencyMs);
      answerPending_ = true;
    }
  }
  inner_.Write(data, count);
}

// From the request's last byte to the answer's last byte on the wire, less the answer's own
// wire time: the ECU's work, and any pause it (or the bench's stepping) left inside the answer.
uint64_t TRecordingBenchPort::EcuSideNs() const {
  return Nanos(answerWireEnd_ - answerFrom_ - CharacterTime() * static_cast<int64_t>(answerBytes_));
}

TWireCounts TRecordingBenchPort::Counts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  TWireCounts counts = counts_;
  if (answerPending_) counts.ecuTurnNs += EcuSideNs();
  return counts;
}

TLineClock::duration TRecordingBenchPort::CharacterTime() const {
  const std::optional<TLineSettings> s = inner_.Settings();
  if (!s) return {};
  return std::chrono::microseconds(CharacterTimeMicros(s->baud, s->dataBits, s->parity, s->stopBits));
}


class TMeasuredBench::TProvider final : public TSerialDeviceProvider {
 public:
  TProvider(std::string path, std::shared_ptr<TInProcLine> line) : path_(std::move(path)), line_(std::move(line)) {}
  std::unique_ptr<TSerialDevice> TryOpen(const std::string& devicePath, bool* served, int32_t* error) override {
    *served = devicePath == path_;
    if (!*served) return nullptr;
    return line_->OpenPcSide(error);
  }

 private:
  std::string path_;
  std::shared_ptr<TInProcLine> line_;
};

std::unique_ptr<TMeasuredBench> TMeasuredBench::Create(const std::string& benchPath, std::string* error) {
  sim::TBenchOptions options;
  if (!sim::ParseBenchPath(benchPath, &options, error)) return nullptr;
  static std::atomic<unsigned> serial{0};
  std::unique_ptr<TMeasuredBench> made(new TMeasuredBench());
  made->line_ = TInProcLine::Create(TLineOptions{options.pace, options.latencyMs});
  auto recorder = std::make_unique<TRecordingBenchPort>(made->line_);
  made->recorder_ = recorder.get();
  made->bench_ = std::make_unique<sim::TBench>(options, std::move(recorder));
  if (!made->bench_->Start(error)) return nullptr;
  made->devicePath_ = "measured-bench:" + std::to_string(serial.fetch_add(1));
  made->provider_ = std::make_unique<TProvider>(made->devicePath_, made->line_);
  RegisterSerialDeviceProvider(made->provider_.get());
  made->portNumber_ = TPortMap::Instance().AssignPort(made->devicePath_);
  if (made->portNumber_ == 0) {
    if (error) *error = "no port number is free for the bench";
    return nullptr;
  }
  return made;
}

TMeasuredBench::~TMeasuredBench() {
  if (provider_) UnregisterSerialDeviceProvider(provider_.get());
  if (portNumber_ != 0) TPortMap::Instance().SetOverride(portNumber_, "");
  if (bench_) bench_->Stop(nullptr);
}

}  // namespace quillorn::benchkit
