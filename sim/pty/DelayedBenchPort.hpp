#pragma once
// A bench port behind a USB adapter: everything the bench sends towards the PC reaches it
// latency later, in order, while the PC's bytes and the lines pass straight through. The
// stand-alone bench uses it for its `latency` option; the in-process line delays on its own.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "sim/BenchPort.hpp"

namespace quillorn::sim {

class TDelayedBenchPort final : public TBenchPort {
 public:
  TDelayedBenchPort(std::unique_ptr<TBenchPort> inner, std::chrono::milliseconds latency);
  ~TDelayedBenchPort() override;

  std::optional<TLineEvent> NextEvent(std::chrono::microseconds timeout) override { return inner_->NextEvent(timeout); }
  void Write(const uint8_t* data, size_t count) override;
  void SetCts(bool on) override { inner_->SetCts(on); }
  bool HasModemLines() const override { return inner_->HasModemLines(); }
  bool Dtr() const override { return inner_->Dtr(); }
  bool Rts() const override { return inner_->Rts(); }
  std::optional<TLineSettings> Settings() const override { return inner_->Settings(); }
  bool ReportsSettingsChanges() const override { return inner_->ReportsSettingsChanges(); }

 private:
  using TClock = std::chrono::steady_clock;
  struct TPending {
    TClock::time_point due;
    std::vector<uint8_t> bytes;
  };
  void PassOnWhenDue();

  std::unique_ptr<TBenchPort> inner_;
  const std::chrono::milliseconds latency_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<TPending> pending_;
  bool stopping_ = false;
  std::thread courier_;
};

}  // namespace quillorn::sim
