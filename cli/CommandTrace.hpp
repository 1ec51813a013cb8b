#pragma once
// The support trace of one command. The drivers keep their port open in the program's link
// state after the command's job, and a traced port writes into this trace: the port is closed
// here, before the trace's file is, so nothing left behind writes into an ended trace.
#include "serial/TraceLog.hpp"

namespace quillorn {

class TCommandTrace {
 public:
  TCommandTrace() = default;
  ~TCommandTrace();
  TCommandTrace(const TCommandTrace&) = delete;
  TCommandTrace& operator=(const TCommandTrace&) = delete;

  TTraceLog& Log() { return log_; }

 private:
  TTraceLog log_;
};

}  // namespace quillorn
