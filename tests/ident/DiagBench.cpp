#include "tests/ident/DiagBench.hpp"

#include <algorithm>
#include <cstdlib>

namespace quillorn::test {

TDiagBench::TDiagBench(std::shared_ptr<TInProcLine> line, std::unique_ptr<sim::TDiagnosticSoftware> software,
                       TDiagBenchOptions options)
    : line_(std::move(line)), software_(std::move(software)), options_(options) {
  if (software_) software_->SetBreakVisible(options_.breakVisible);
  thread_ = std::thread([this] { Run(); });
}

TDiagBench::~TDiagBench() {
  stop_ = true;
  thread_.join();
}

std::vector<TDiagBench::TEdge> TDiagBench::BreakEdges() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return edges_;
}

std::vector<TLineClock::time_point> TDiagBench::ByteTimes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return byteTimes_;
}

// The ECU's receiver reads the PC's characters only when rate and size agree (within 2 %);
// anything else is noise to it, and its answers are noise to the PC.
bool TDiagBench::FramesAgree(const TLineSettings& settings) const {
  const double rate = software_->LineRate();
  return settings.dataBits == 8 && settings.parity == kNoParity && std::abs(settings.baud - rate) <= rate * 0.02;
}

void TDiagBench::Run() {
  using namespace std::chrono;
  while (!stop_) {
    auto timeout = microseconds(5000);
    if (software_ && running_) {
      const auto wake = software_->NextWake();
      const auto now = TLineClock::now();
      if (wake <= now) {
        timeout = microseconds(0);
      } else if (wake - now < timeout) {
        timeout = duration_cast<microseconds>(wake - now);
      }
    }
    if (auto event = line_->PeerNextEvent(timeout)) Handle(*event);
    if (software_ && running_) {
      std::vector<uint8_t> sent;
      software_->AdvanceTo(TLineClock::now(), sent);
      if (!sent.empty() && FramesAgree(line_->PeerSettings())) line_->PeerWrite(sent.data(), sent.size());
    }
  }
}

void TDiagBench::Handle(const TLineEvent& event) {
  if (!options_.programmer) return;
  switch (event.kind) {
    case TLineEvent::Kind::Byte: {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        byteTimes_.push_back(event.at);
      }
      line_->PeerWrite(&event.byte, 1);  // the box's echo
      if (software_ && running_ && FramesAgree(line_->PeerSettings())) {
        software_->Receive(event.byte, event.at);
        ++bytesToSoftware_;
      }
      break;
    }
    case TLineEvent::Kind::BreakOn:
    case TLineEvent::Kind::BreakOff: {
      const bool low = event.kind == TLineEvent::Kind::BreakOn;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        edges_.push_back({low, event.at});
      }
      if (software_ && running_ && options_.breakVisible) software_->Break(low, event.at);
      break;
    }
    case TLineEvent::Kind::Dtr:
      // DTR holds the ECU in reset; on release RTS chooses its diagnostic software.
      if (event.level) {
        running_ = false;
      } else if (line_->PeerRts()) {
        running_ = software_ != nullptr;
        if (running_) software_->Start(event.at);
      }
      break;
    default: break;
  }
}

}  // namespace quillorn::test
