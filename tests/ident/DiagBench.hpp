#pragma once
// A small bench for the identification tests: an echoing programmer box on an in-process line
// with an ECU behind it that runs its diagnostic software when released from reset with RTS
// raised. It records the PC's break edges for the timing checks. The full virtual bench hosts
// the same diagnostic software on its ECU board.
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "sim/link/InProcLine.hpp"
#include "sim/diag/DiagnosticSoftware.hpp"

namespace quillorn::test {

struct TDiagBenchOptions {
  bool programmer = true;    // false: nothing echoes, nothing reaches the ECU
  bool breakVisible = true;  // false: the line behaves like a pseudo-terminal (no break)
};

class TDiagBench {
 public:
  // software may be null: no ECU on the line.
  TDiagBench(std::shared_ptr<TInProcLine> line, std::unique_ptr<sim::TDiagnosticSoftware> software,
             TDiagBenchOptions options = {});
  ~TDiagBench();

  struct TEdge {
    bool low;
    TLineClock::time_point at;
  };
  std::vector<TEdge> BreakEdges() const;
  // When the PC's last byte before `edge` ended on the wire (the line's idle time starts).
  std::vector<TLineClock::time_point> ByteTimes() const;
  // Bytes the ECU's software took in (after the box), in its own frame.
  size_t BytesToSoftware() const { return bytesToSoftware_.load(); }

 private:
  void Run();
  void Handle(const TLineEvent& event);
  bool FramesAgree(const TLineSettings& settings) const;

  std::shared_ptr<TInProcLine> line_;
  std::unique_ptr<sim::TDiagnosticSoftware> software_;
  TDiagBenchOptions options_;
  bool running_ = false;  // the diagnostic software runs
  std::atomic<size_t> bytesToSoftware_{0};
  mutable std::mutex mutex_;
  std::vector<TEdge> edges_;
  std::vector<TLineClock::time_point> byteTimes_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace quillorn::test
