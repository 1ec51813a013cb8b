#pragma once
// The ECU as the programmer box sees it: a reset line, a boot-mode line, a serial line and a
// power supply. The bench calls it from its one thread; everything is in wall-clock time of
// the line (TLineClock), which each ECU maps to its own clock.
#include <cstdint>
#include <optional>
#include <vector>

#include "sim/link/InProcLine.hpp"
#include "sim/UartLine.hpp"

namespace quillorn::sim {

struct TEcuCounters {
  uint64_t machineCycles = 0;   // processor cycles run (boards with a processor)
  uint64_t processingNs = 0;    // time the ECU spent on requests before answering
  uint64_t lostBytes = 0;       // bytes that arrived while the receiver could not take them
};

class TEcu {
 public:
  virtual ~TEcu() = default;

  // held: the reset line is active. On release the ECU starts in its boot loader when
  // bootLoader is true, otherwise in its own software.
  virtual void SetReset(bool held, bool bootLoader, TLineClock::time_point now) = 0;
  // The boot-mode line as it stands (RTS through the box); nullopt when nothing tells.
  virtual void SetModeLine(std::optional<bool> raised) { (void)raised; }
  // The PC's break: the diagnostic line held low (the KWP 2000 fast initialisation).
  virtual void Break(bool low, TLineClock::time_point at) { (void)low, (void)at; }
  // False behind a pseudo-terminal, where a break never arrives.
  virtual void SetBreakVisible(bool visible) { (void)visible; }
  // Power gone for good: nothing is answered any more.
  virtual void PowerOff() = 0;
  virtual void PowerOn(TLineClock::time_point now) = 0;

  // One character from the PC, sent in pcFrame, whose stop bit ended at `at`.
  virtual void Receive(uint8_t byte, const TUartFrame& pcFrame, TLineClock::time_point at) = 0;
  // Runs the ECU up to now; what it sent in that time is appended to toPc, already as the
  // PC's receiver (pcFrame) reads it.
  virtual void AdvanceTo(TLineClock::time_point now, const TUartFrame& pcFrame, std::vector<uint8_t>& toPc) = 0;
  // When AdvanceTo should run next at the latest.
  virtual TLineClock::time_point NextWake(TLineClock::time_point now) const = 0;
  // True once the ECU's own program serves requests (bootstrap started, or a Bosch ECU).
  virtual bool ServesFrames() const = 0;

  virtual std::vector<uint8_t>& Flash() = 0;
  virtual std::vector<uint8_t>& Eeprom() = 0;
  virtual TEcuCounters Counters() const = 0;
};

}  // namespace quillorn::sim
