#pragma once
// The replies the diagnostic software has decided on, each leaving the ECU at its own time:
// a real ECU answers after its response delay, not the moment a request ends.
#include <cstdint>
#include <deque>
#include <vector>

#include "sim/link/InProcLine.hpp"

namespace quillorn::sim {

struct TTimedReply {
  std::vector<uint8_t> bytes;
  TLineClock::time_point due;
};

class TReplyQueue {
 public:
  void Add(std::vector<uint8_t> bytes, TLineClock::time_point due) { replies_.push_back({std::move(bytes), due}); }
  void Clear() { replies_.clear(); }

  // Puts every reply due by now on the line, oldest first, telling onSent of each.
  template <class OnSent>
  void SendDue(TLineClock::time_point now, std::vector<uint8_t>& sent, OnSent onSent) {
    while (!replies_.empty() && replies_.front().due <= now) {
      const TTimedReply& reply = replies_.front();
      sent.insert(sent.end(), reply.bytes.begin(), reply.bytes.end());
      onSent(reply);
      replies_.pop_front();
    }
  }
  void SendDue(TLineClock::time_point now, std::vector<uint8_t>& sent) {
    SendDue(now, sent, [](const TTimedReply&) {});
  }

  // When the next reply is due; TLineClock::time_point::max() when none waits.
  TLineClock::time_point NextDue() const {
    return replies_.empty() ? TLineClock::time_point::max() : replies_.front().due;
  }

 private:
  std::deque<TTimedReply> replies_;
};

}  // namespace quillorn::sim
