#pragma once
// The ECU's own diagnostic software, the part of the virtual ECU that answers the
// identification job: KWP 2000 after a fast initialisation (Январь 5.x, Январь 7.2, VS 5.1,
// Микас 7.6) or the Микас 7.1 / 7.2 request link. It runs when the programmer releases the ECU
// from reset with RTS raised. The board that hosts it converts characters between the PC's
// frame and the software's own (LineRate, 8 data bits, no parity), so everything here is in
// the software's frame and in the line's wall-clock time.
#include <cstdint>
#include <memory>
#include <vector>

#include "sim/link/InProcLine.hpp"
#include "sim/BenchOptions.hpp"

namespace quillorn::sim {

class TDiagnosticSoftware {
 public:
  virtual ~TDiagnosticSoftware() = default;

  // The software starts (reset released into it, or power on with it selected).
  virtual void Start(TLineClock::time_point at) = 0;
  // The K-line driven low (a break) or released, as the PC's port did it.
  virtual void Break(bool low, TLineClock::time_point at) = 0;
  // One character as the software's receiver read it; its stop bit ended at `at`.
  virtual void Receive(uint8_t byte, TLineClock::time_point at) = 0;
  // Appends the characters the software sent up to now.
  virtual void AdvanceTo(TLineClock::time_point now, std::vector<uint8_t>& sent) = 0;
  // When AdvanceTo has something to send next; TLineClock::time_point::max() when nothing.
  virtual TLineClock::time_point NextWake() const = 0;
  // The rate of the software's serial line: 10400 bit/s for KWP 2000, 9600 for the Микас link.
  virtual uint32_t LineRate() const = 0;
  // Behind a pseudo-terminal a break cannot be seen: a start request after a long enough idle
  // line then counts as fast-initialised.
  virtual void SetBreakVisible(bool visible) { (void)visible; }
};

// The model's diagnostic software with its identification texts; nullptr for the models that
// have none here (the eight-bank ECUs).
std::unique_ptr<TDiagnosticSoftware> MakeDiagnosticSoftware(TEcuModel model);

}  // namespace quillorn::sim
