#pragma once
// Runs the program's jobs against a measured bench the way the front ends do (the poll's way
// to the ECU, then the job on a thread of its own), with fresh driver instances on a link
// state of their own, and notes when each stage began: wall clock, the job thread's own CPU
// time and the line counts at that moment.
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bench/kit/MeasuredBench.hpp"
#include "jobs/FlashJob.hpp"
#include "jobs/IdentJob.hpp"
#include "protocol/KW2000Pro.hpp"

namespace quillorn::benchkit {

using TClock = std::chrono::steady_clock;

struct TMark {
  std::string stage;
  TClock::time_point at{};
  uint64_t threadCpuNs = 0;
  TWireCounts counts;
};

struct TJobRun {
  ResultCode result = kOk;
  bool endedInTime = true;  // false: the job outlived its limit (it was then told to abort)
  std::vector<TMark> marks;  // every stage, then "end"
  std::string identReport;   // identification jobs only
  // The span from the first mark with this stage text to the end; nullptr when absent.
  const TMark* Find(const std::string& stage) const;
  const TMark& End() const { return marks.back(); }
};

// A January 5 flash or EEPROM job request on the given file at the given line rate.
TJobRequest JanuaryJobRequest(uint8_t jobKind, uint8_t isFlashJob, const std::string& fileName, int baud);

class TJobHarness {
 public:
  explicit TJobHarness(TMeasuredBench& bench);
  ~TJobHarness();

  // The flash and EEPROM job; request.PortNumber is set to the bench's port. A success leaves
  // the bootstrap running for the next job, a failure makes the next job start over.
  // reachAttempts > 1 repeats the poll's pass to the ECU, as the window's timer keeps trying
  // until the link is up; the command-line client makes one pass.
  TJobRun RunFlashJob(TJobRequest request, std::chrono::milliseconds limit, int reachAttempts = 1);
  // The identification job at the bench's port.
  TJobRun RunIdentification(std::chrono::milliseconds limit);
  TLinkState& Link() { return link_; }
  // What the last job kept: its file format and the words of its last failure.
  const TJobState& State() const { return state_; }
  // Called on the job thread with every stage text as the job shows it ("start", "end" too).
  void OnStage(std::function<void(const std::string&)> callback) { onStage_ = std::move(callback); }

 private:
  template <typename F>
  TJobRun RunOnThread(F body, std::chrono::milliseconds limit);

  TMeasuredBench& bench_;
  TLinkState link_;
  TC509Pro loader_{link_};
  TFlashPro memory_{link_};
  TKW2000Pro kwp_{link_};
  TLinkSession session_;
  TJobState state_;
  std::function<void(const std::string&)> onStage_;
};

uint64_t ThreadCpuNs();

}  // namespace quillorn::benchkit
