#include "bench/kit/JobHarness.hpp"

#include <time.h>

#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>

#include "jobs/LinkPoll.hpp"
#include "platform/AbortMailbox.hpp"
#include "protocol/ReportScope.hpp"
#include "serial/TraceLog.hpp"

namespace quillorn::benchkit {

TJobRequest JanuaryJobRequest(uint8_t jobKind, uint8_t isFlashJob, const std::string& fileName, int baud) {
  TJobRequest rq;
  rq.JobKind = jobKind;
  rq.IsFlashJob = isFlashJob;
  rq.FileName = fileName;
  rq.SelectedBaud = baud;
  rq.Family = TEcuFamily::January5;
  return rq;
}

namespace {

// Records the stages on the job thread; everything else a job reports is of no interest here.
class TMarkingReport final : public IJobReport {
 public:
  TMarkingReport(TMeasuredBench& bench, std::vector<TMark>& marks) : bench_(bench), marks_(marks) {}
  void ShowStage(const std::string& text) override { Mark(text); }
  void ShowWaitNotice() override {}
  void ShowPercent(int32_t) override {}
  void ShowPassportField(TPassportField, const uint8_t*, int8_t) override {}
  void ShowPassportCaption(const std::string&) override {}
  void Mark(const std::string& text) {
    marks_.push_back({text, TClock::now(), ThreadCpuNs(), bench_.Counts()});
    if (onStage_) onStage_(text);
  }
  std::function<void(const std::string&)> onStage_;

 private:
  TMeasuredBench& bench_;
  std::vector<TMark>& marks_;
};

class TNoPollView final : public ILinkPollView {
 public:
  void ShowProgrammerModel(const std::string&) override {}
  void ShowLinkText(const std::string&) override {}
  void ShowLatencyNotice(const std::string&) override {}
};

}  // namespace

uint64_t ThreadCpuNs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<uint64_t>(t.tv_sec) * 1'000'000'000u + static_cast<uint64_t>(t.tv_nsec);
}

const TMark* TJobRun::Find(const std::string& stage) const {
  for (const TMark& mark : marks)
    if (mark.stage == stage) return &mark;
  return nullptr;
}

TJobHarness::TJobHarness(TMeasuredBench& bench) : bench_(bench) {
  // QUILLORN_TRACE=file: every byte on the line with its time, as the client's --trace writes.
  static TTraceLog trace;
  static const bool tracing = [] {
    const char* path = std::getenv("QUILLORN_TRACE");
    return path != nullptr && trace.Start(path);
  }();
  (void)tracing;
}

TJobHarness::~TJobHarness() { link_.SharedPort.reset(); }

template <typename F>
TJobRun TJobHarness::RunOnThread(F body, std::chrono::milliseconds limit) {
  TJobRun run;
  TMarkingReport report(bench_, run.marks);
  report.onStage_ = onStage_;
  const TReportScope reportScope(link_, report);
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  TAbortMailbox* mailbox = nullptr;
  std::thread job([&] {
    {
      std::lock_guard<std::mutex> lock(mutex);
      mailbox = &ThisThreadAbortMailbox();
    }
    report.Mark("start");
    const ResultCode result = body(run);
    report.Mark("end");
    std::lock_guard<std::mutex> lock(mutex);
    run.result = result;
    finished = true;
    done.notify_all();
  });
  {
    std::unique_lock<std::mutex> lock(mutex);
    if (!done.wait_for(lock, limit, [&] { return finished; })) {
      run.endedInTime = false;
      if (mailbox) mailbox->Post();  // the job's own cancellation; it must still end
    }
  }
  job.join();
  return run;
}

TJobRun TJobHarness::RunFlashJob(TJobRequest request, std::chrono::milliseconds limit, int reachAttempts) {
  request.PortNumber = bench_.PortNumber();
  return RunOnThread(
      [&](TJobRun&) {
        TNoPollView view;
        TLinkPoll poll(loader_, memory_, session_, view);
        const TPollSettings settings{request.PortNumber, request.SelectedBaud, request.Family};
        ResultCode r = ReachEcu(poll, session_, settings, link_);
        for (int attempt = 1; r != kOk && attempt < reachAttempts && !ThisThreadAbortMailbox().IsPosted(); ++attempt)
          r = ReachEcu(poll, session_, settings, link_);
        if (r == kOk) {
          TJobDrivers drivers{loader_, memory_, session_, state_};
          r = PerformJob(request, drivers);
        }
        // As the window does after a job: only a success keeps the bootstrap for the next.
        session_.LinkState = r == kOk ? kLinkBootstrapRunning : kLinkStartOver;
        return r;
      },
      limit);
}

TJobRun TJobHarness::RunIdentification(std::chrono::milliseconds limit) {
  return RunOnThread(
      [&](TJobRun& run) {
        TIdentDrivers drivers{loader_, kwp_};
        TIdentReport report;
        // The port as the window's status poll leaves it before the job's thread starts.
        if (ResultCode r = loader_.Open(bench_.PortNumber(), 38400, kProgrammerLine)) return r;
        const TIdentOutcome outcome = quillorn::RunIdentification(drivers, bench_.PortNumber(), report);
        run.identReport = outcome.reportUtf8;
        session_.LinkState = kLinkStartOver;
        return outcome.result;
      },
      limit);
}

}  // namespace quillorn::benchkit
