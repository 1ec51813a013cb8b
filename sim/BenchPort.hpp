#pragma once
// The bench's end of the cable to the PC: the in-process line, or a pseudo-terminal for the
// stand-alone bench. A pseudo-terminal has no modem lines and no break.
#include <chrono>
#include <optional>

#include "sim/link/InProcLine.hpp"

namespace quillorn::sim {

class TBenchPort {
 public:
  virtual ~TBenchPort() = default;
  // Next thing the PC did, waiting at most timeout.
  virtual std::optional<TLineEvent> NextEvent(std::chrono::microseconds timeout) = 0;
  virtual void Write(const uint8_t* data, size_t count) = 0;
  virtual void SetCts(bool on) = 0;
  virtual bool HasModemLines() const = 0;
  virtual bool Dtr() const = 0;
  virtual bool Rts() const = 0;
  // The PC's line settings; nullopt when the port cannot tell.
  virtual std::optional<TLineSettings> Settings() const = 0;
  // True when a change of the settings arrives as a Settings event; otherwise the bench reads
  // them afresh for every byte.
  virtual bool ReportsSettingsChanges() const { return true; }
};

// The peer side of an in-process line.
class TInProcBenchPort : public TBenchPort {
 public:
  explicit TInProcBenchPort(std::shared_ptr<TInProcLine> line) : line_(std::move(line)) {}

  std::optional<TLineEvent> NextEvent(std::chrono::microseconds timeout) override {
    return line_->PeerNextEvent(timeout);
  }
  void Write(const uint8_t* data, size_t count) override { line_->PeerWrite(data, count); }
  void SetCts(bool on) override { line_->PeerSetCts(on); }
  bool HasModemLines() const override { return true; }
  bool Dtr() const override { return line_->PeerDtr(); }
  bool Rts() const override { return line_->PeerRts(); }
  std::optional<TLineSettings> Settings() const override { return line_->PeerSettings(); }
  const std::shared_ptr<TInProcLine>& Line() const { return line_; }

 private:
  std::shared_ptr<TInProcLine> line_;
};

}  // namespace quillorn::sim
