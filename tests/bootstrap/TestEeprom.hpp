#pragma once
// A 24C04-class I2C EEPROM (512 bytes, A2 = A1 = 0) for the bootstrap tests. It watches the
// master's SCL and SDA latches, answers by pulling SDA low, stores written bytes at STOP and
// then ignores its control byte for the write cycle. Time is machine cycles.

#include <array>
#include <cstdint>
#include <vector>

namespace quillorn::bootstraptests {

class TTestEeprom {
 public:
  explicit TTestEeprom(std::uint64_t writeCycles) : writeCycles_(writeCycles) { memory_.fill(0xFF); }

  // A protected chip acknowledges and runs its write cycle but keeps its old contents.
  void SetWriteProtected(bool on) { writeProtected_ = on; }

  // The master's line levels (true = released), after every latch write of its port.
  void SetMasterLines(bool scl, bool sda, std::uint64_t now);
  bool PullsSdaLow() const { return pullSda_; }

  std::array<std::uint8_t, 512>& Memory() { return memory_; }
  // Every control byte seen after a START, acknowledged or not.
  const std::vector<std::uint8_t>& ControlBytes() const { return controlBytes_; }
  int WriteCycles() const { return writesCommitted_; }

 private:
  enum class TState { Idle, Control, WordAddress, Data, Sending };

  void OnStart();
  void OnStop(std::uint64_t now);
  void OnClockRise(bool sda);
  void OnClockFall(std::uint64_t now);
  void ByteReceived(std::uint64_t now);

  std::uint64_t writeCycles_;
  std::array<std::uint8_t, 512> memory_{};
  std::vector<std::uint8_t> controlBytes_;
  int writesCommitted_ = 0;
  bool writeProtected_ = false;

  bool scl_ = true;
  bool sda_ = true;
  bool pullSda_ = false;
  TState state_ = TState::Idle;
  int clocks_ = 0;  // rising SCL edges in the current byte, 9 with the acknowledge clock
  std::uint8_t shift_ = 0;
  bool acknowledged_ = false;
  bool masterAcknowledged_ = false;
  bool enterSending_ = false;
  std::uint16_t address_ = 0;
  std::uint8_t block_ = 0;
  std::uint8_t sendByte_ = 0;
  std::vector<std::pair<std::uint16_t, std::uint8_t>> pending_;
  std::uint64_t busyUntil_ = 0;
};

}  // namespace quillorn::bootstraptests
