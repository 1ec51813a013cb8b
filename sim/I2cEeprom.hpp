#pragma once
// A 24C04-class serial EEPROM (512 bytes) on a two-wire bus that the processor bit-bangs.
// The bus is open-drain: the line is low when the master's pin or the chip pulls it low. The
// chip watches the master's SCL and SDA and answers by pulling SDA low (acknowledge, zero data
// bits); it changes SDA only while SCL is low, as the bus requires.
//
// Control byte 1010 A2 A1 B0 R/W with A2 = A1 = 0: 0xA0 addresses bytes 0-255, 0xA2 bytes
// 256-511. Writes go into a 16-byte page buffer and are stored at the STOP; the chip then
// does not acknowledge until its write cycle is over.
#include <cstdint>
#include <vector>

#include "sim/BenchOptions.hpp"

namespace quillorn::sim {

class TI2cEeprom {
 public:
  TI2cEeprom(uint64_t writeCycleNs, bool neverAcknowledge);

  // The master's pin levels (true = released/high), whenever either may have changed.
  void SetMasterLines(bool scl, bool sda, uint64_t nowNs);
  // True while the chip pulls SDA low.
  bool PullsSdaLow() const { return pullSda_; }
  bool WriteCycleRunning(uint64_t nowNs) const { return nowNs < writeDoneNs_; }

  std::vector<uint8_t>& Memory() { return memory_; }
  const std::vector<uint8_t>& Memory() const { return memory_; }

 private:
  enum class TState { Idle, Receiving, Sending };

  void OnStart();
  void OnStop(uint64_t nowNs);
  void OnClockRise(bool sda, uint64_t nowNs);
  void OnClockFall(uint64_t nowNs);
  void ByteReceived(uint64_t nowNs);
  void LoadNextReadByte();

  uint64_t writeCycleNs_;
  bool neverAcknowledge_;
  std::vector<uint8_t> memory_;

  bool scl_ = true, sda_ = true;
  bool pullSda_ = false;
  TState state_ = TState::Idle;
  int bitCount_ = 0;          // bits of the current byte clocked so far; 8 = the acknowledge clock
  uint8_t shift_ = 0;
  bool acknowledgeClock_ = false;  // the 9th clock of a byte is under way
  bool acknowledging_ = false;     // the chip acknowledges in this 9th clock
  bool masterAcknowledged_ = false;
  bool readMode_ = false;
  uint8_t block_ = 0;         // B0 of the control byte
  uint8_t sendByte_ = 0;
  int bytesInTransfer_ = 0;   // bytes received since the control byte
  uint16_t address_ = 0;      // 9-bit address counter
  uint16_t pageBase_ = 0;
  uint8_t page_[16] = {};
  bool pageDirty_[16] = {};
  bool pending_ = false;      // data bytes waiting for the STOP
  uint64_t writeDoneNs_ = 0;
};

}  // namespace quillorn::sim
