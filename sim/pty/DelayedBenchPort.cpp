#include "sim/pty/DelayedBenchPort.hpp"

namespace quillorn::sim {

TDelayedBenchPort::TDelayedBenchPort(std::unique_ptr<TBenchPort> inner, std::chrono::milliseconds latency)
    : inner_(std::move(inner)), latency_(latency), courier_([this] { PassOnWhenDue(); }) {}

TDelayedBenchPort::~TDelayedBenchPort() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  courier_.join();
}

void TDelayedBenchPort::Write(const uint8_t* data, size_t count) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.push_back({TClock::now() + latency_, std::vector<uint8_t>(data, data + count)});
  }
  changed_.notify_all();
}

// Sleeps until the oldest burst is due (or a new one comes, or the port goes), then hands it
// to the real port outside the lock so the bench never waits for the terminal.
void TDelayedBenchPort::PassOnWhenDue() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    if (pending_.empty()) {
      changed_.wait(lock);
      continue;
    }
    if (TClock::now() < pending_.front().due) {
      changed_.wait_until(lock, pending_.front().due);
      continue;
    }
    TPending due = std::move(pending_.front());
    pending_.pop_front();
    lock.unlock();
    inner_->Write(due.bytes.data(), due.bytes.size());
    lock.lock();
  }
}

}  // namespace quillorn::sim
