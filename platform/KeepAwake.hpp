#pragma once
// Keeps the computer from going to sleep while a job runs: an ECU left half-programmed because
// the laptop dozed off stays erased. The system may sleep again once the object is gone. The
// request belongs to the thread that made it, so make and destroy the object on one thread.
namespace quillorn {

class TKeepAwake {
 public:
  TKeepAwake();
  ~TKeepAwake();
  TKeepAwake(const TKeepAwake&) = delete;
  TKeepAwake& operator=(const TKeepAwake&) = delete;
};

}  // namespace quillorn
