#include "sim/pty/BreakTimingLog.hpp"

namespace quillorn::sim {

namespace {

double Ms(TLineClock::duration span) { return std::chrono::duration<double, std::milli>(span).count(); }

}  // namespace

void TBreakTimingLog::Note(const TLineEvent& event) {
  switch (event.kind) {
    case TLineEvent::Kind::Byte:
      if (breakOff_) Print(event.at);
      lastByte_ = event.at;
      return;
    case TLineEvent::Kind::BreakOn:
      if (breakOff_) Print(std::nullopt);
      breakOn_ = event.at;
      return;
    case TLineEvent::Kind::BreakOff:
      if (breakOn_) breakOff_ = event.at;
      return;
    default:
      return;
  }
}

void TBreakTimingLog::Print(std::optional<TLineClock::time_point> nextByte) {
  std::fprintf(out_, "quillorn-sim: break: idle ");
  if (lastByte_) std::fprintf(out_, "%.1f ms", Ms(*breakOn_ - *lastByte_));
  else std::fprintf(out_, "since the start");
  std::fprintf(out_, ", low %.1f ms, high ", Ms(*breakOff_ - *breakOn_));
  if (nextByte) std::fprintf(out_, "%.1f ms before the next byte\n", Ms(*nextByte - *breakOff_));
  else std::fprintf(out_, "until the next break\n");
  std::fflush(out_);
  breakOn_.reset();
  breakOff_.reset();
}

}  // namespace quillorn::sim
