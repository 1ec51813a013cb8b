#pragma once
#include <atomic>

namespace quillorn {

// The abort request a front end posts to a running job. It stands in for the Windows thread
// message 1025: one mailbox per thread, posted from another thread, taken (and so removed)
// by the owning thread when it looks.
class TAbortMailbox {
 public:
  void Post() { posted_.store(true, std::memory_order_release); }
  // True once per post: looking consumes the request.
  bool Take() { return posted_.exchange(false, std::memory_order_acq_rel); }
  bool IsPosted() const { return posted_.load(std::memory_order_acquire); }

 private:
  std::atomic<bool> posted_{false};
};

// The calling thread's own mailbox. A job thread hands its address to the front end, which
// posts to it; every cancellation point of the job looks into it with PeekAbortMessage.
TAbortMailbox& ThisThreadAbortMailbox();

// Looks for a posted abort in the calling thread's mailbox and removes it.
inline bool PeekAbortMessage() { return ThisThreadAbortMailbox().Take(); }

}  // namespace quillorn
