#pragma once
// A virtual bench wired into this process through a recorder, so a benchmark or a fault test
// can see what crossed the line: the PC's bytes, the box's echoes, the ECU's answers and how
// long the ECU took from the end of each request to the start of its answer. It also keeps the
// in-process line at hand, so a test can pull the "adapter" out in the middle of a job.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "serial/SerialDevice.hpp"
#include "sim/link/InProcLine.hpp"
#include "sim/Bench.hpp"
#include "sim/BenchPort.hpp"

namespace quillorn::benchkit {

struct TWireCounts {
  uint64_t pcBytes = 0;      // PC -> box
  uint64_t echoBytes = 0;    // box -> PC, the echoes
  uint64_t ecuBytes = 0;     // box -> PC, from the ECU
  // Sum over answers: from the request's last byte to the answer's last byte on the wire, less
  // the answer's wire time. The ECU's own time, as the bench shows it.
  uint64_t ecuTurnNs = 0;
  uint64_t answers = 0;      // bursts of ECU bytes that followed PC bytes
  // Sum over requests that followed an answer: from the answer's last byte reaching the PC to
  // the request's first byte starting on the wire. The client's own turnaround.
  uint64_t clientTurnNs = 0;
};

TWireCounts operator-(const TWireCounts& a, const TWireCounts& b);

// The bench's end of the line, passing everything through and counting it on the way. The
// bench calls it from its one thread; Counts() may be called from any thread.
class TRecordingBenchPort final : public sim::TBenchPort {
 public:
  explicit TRecordingBenchPort(std::shared_ptr<TInProcLine> line) : inner_(std::move(line)) {}

  std::optional<TLineEvent> NextEvent(std::chrono::microseconds timeout) override;
  void Write(const uint8_t* data, size_t count) override;
  void SetCts(bool on) override { inner_.SetCts(on); }
  bool HasModemLines() const override { return inner_.HasModemLines(); }
  bool Dtr() const override { return inner_.Dtr(); }
  bool Rts() const override { return inner_.Rts(); }
  std::optional<TLineSettings> Settings() const override { return inner_.Settings(); }

  TWireCounts Counts() const;

 private:
  TLineClock::duration CharacterTime() const;
  uint64_t EcuSideNs() const;
  sim::TInProcBenchPort inner_;
  mutable std::mutex mutex_;
  TWireCounts counts_;
  bool echoPending_ = false;     // the next one-byte write is the box's echo
  bool answerStarted_ = true;    // the ECU already answered since the last PC byte
  TLineClock::time_point lastPcByteAt_{};
  TLineClock::time_point answerFrom_{};     // the last PC byte before the answer
  uint64_t answerBytes_ = 0;
  TLineClock::time_point answerWireEnd_{};
  TLineClock::time_point answerAtPc_{};  // when the last answer byte reaches the PC
  bool answerPending_ = false;           // an answer ended and no PC byte followed yet
};

// One bench reachable as a port number of this process. Made from a bench path
// "sim:<model>[,key=value...]" (the same options as everywhere); the bench runs until the
// object goes.
class TMeasuredBench {
 public:
  // nullptr with *error set when the path is bad or a memory file cannot be used.
  static std::unique_ptr<TMeasuredBench> Create(const std::string& benchPath, std::string* error);
  ~TMeasuredBench();

  uint8_t PortNumber() const { return portNumber_; }
  sim::TBench& Bench() { return *bench_; }
  TInProcLine& Line() { return *line_; }
  TWireCounts Counts() const { return recorder_->Counts(); }

 private:
  class TProvider;
  TMeasuredBench() = default;

  std::shared_ptr<TInProcLine> line_;
  TRecordingBenchPort* recorder_ = nullptr;  // owned by the bench
  std::unique_ptr<sim::TBench> bench_;
  std::unique_ptr<TProvider> provider_;
  std::string devicePath_;
  uint8_t portNumber_ = 0;
};

}  // namespace quillorn::benchkit
