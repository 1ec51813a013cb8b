#pragma once
// The bench's end of a pseudo-terminal (Linux): the PC opens the slave device like a serial
// port. A pseudo-terminal carries bytes only: no modem lines, no break, so the box behaves as
// a "ЖВ-2" there, unless the modem lines come through the side channel of ModemLineServer.hpp
// (a client with the preloaded library). The line settings the PC applied are read from the
// shared terminal settings.
#include <deque>
#include <memory>
#include <string>

#include "sim/BenchPort.hpp"
#include "sim/pty/BreakTimingLog.hpp"
#include "sim/pty/ModemLineServer.hpp"

namespace quillorn::sim {

class TPtyBenchPort : public TBenchPort {
 public:
  // A new pseudo-terminal in raw mode; nullptr with *error set when none can be made.
  static std::unique_ptr<TPtyBenchPort> Create(std::string* error);
  ~TPtyBenchPort() override;

  // Modem lines and break through a side channel; false with *error set when it cannot listen.
  bool EnableModemLines(std::string* error);
  // Empty without modem lines.
  std::string ModemSocketPath() const { return modem_ ? modem_->SocketPath() : std::string(); }
  const std::string& SlavePath() const { return slavePath_; }

  std::optional<TLineEvent> NextEvent(std::chrono::microseconds timeout) override;
  void Write(const uint8_t* data, size_t count) override;
  void SetCts(bool on) override {
    if (modem_) modem_->SetCts(on);
  }
  bool HasModemLines() const override { return modem_ != nullptr; }
  bool Dtr() const override { return modem_ && modem_->Dtr(); }
  bool Rts() const override { return modem_ && modem_->Rts(); }
  std::optional<TLineSettings> Settings() const override;
  bool ReportsSettingsChanges() const override { return false; }

 private:
  TPtyBenchPort(int master, int slave, std::string slavePath);
  void Collect(std::chrono::microseconds timeout);
  void ReadTerminal();

  int master_;
  int slave_;  // kept open so the master never sees a hang-up between two opens by the PC
  std::string slavePath_;
  std::unique_ptr<TModemLineServer> modem_;
  std::deque<TModemEvent> pending_;
  int answerOwed_ = -1;  // the client whose line change the bench was last given
  TBreakTimingLog breakLog_{stderr};
};

}  // namespace quillorn::sim
