#pragma once
// The bench's end of a pseudo-terminal (Linux): the PC opens the slave device like a serial
// port. A pseudo-terminal carries bytes only: no modem lines, no break, so the box behaves as
// a "ЖВ-2" there. The line settings the PC applied are read from the shared terminal settings.
#include <memory>
#include <string>

#include "sim/BenchPort.hpp"

namespace quillorn::sim {

class TPtyBenchPort : public TBenchPort {
 public:
  // A new pseudo-terminal in raw mode; nullptr with *error set when none can be made.
  static std::unique_ptr<TPtyBenchPort> Create(std::string* error);
  ~TPtyBenchPort() override;

  const std::string& SlavePath() const { return slavePath_; }

  std::optional<TLineEvent> NextEvent(std::chrono::microseconds timeout) override;
  void Write(const uint8_t* data, size_t count) override;
  void SetCts(bool) override {}
  bool HasModemLines() const override { return false; }
  bool Dtr() const override { return false; }
  bool Rts() const override { return false; }
  std::optional<TLineSettings> Settings() const override;
  bool ReportsSettingsChanges() const override { return false; }

 private:
  TPtyBenchPort(int master, int slave, std::string slavePath);

  int master_;
  int slave_;  // kept open so the master never sees a hang-up between two opens by the PC
  std::string slavePath_;
  uint8_t buffer_[256];
  size_t buffered_ = 0;
  size_t next_ = 0;
};

}  // namespace quillorn::sim
