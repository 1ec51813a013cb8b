#pragma once
// One launch policy for both front ends: the request a job button or a command makes, the
// refusals, the pre-flight and its questions. The window and the command line only ask the
// questions and show the answers; neither decides what may start.
#include <string>
#include <vector>

#include "jobs/JobRequest.hpp"
#include "jobs/PreFlight.hpp"
#include "jobs/ResultMessage.hpp"

namespace quillorn {

inline constexpr uint32_t kReplyTimeoutMs = 500;
inline constexpr uint32_t kLongReplyTimeoutMs = 2000;

struct TLaunchChoice {
  TEcuFamily Family = TEcuFamily::January5;
  TJobAction Action = TJobAction::Write;
  bool Flash = true;
  std::string File;  // UTF-8
  uint8_t PortNumber = 1;
  int Baud = 38400;
  bool LongTimeout = false;
  bool DualProg = false;
  bool SecondPage = false;
  bool Verify = true;
  bool VerifyOnly = false;
  // A write or an EEPROM clear keeps the memory it changes in a file first.
  bool Backup = true;
  std::string BackupFolder;  // UTF-8; empty: the user's own backup folder
};

struct TLaunch {
  TJobRequest Request;
  bool Refused = false;
  TResultMessage Refusal;  // what the user reads when the job may not start
  std::vector<TLaunchQuestion> Questions;  // every one must be answered yes
};

// The request, then the refusals and the pre-flight; nothing here touches a port.
TLaunch PrepareLaunch(const TLaunchChoice& choice);

// A trace log may not be written over the job's own file (compared as files, not as names).
// Empty when the trace file is fine, otherwise why not.
std::string TraceConflict(const TJobRequest& request, const std::string& traceFile);

}  // namespace quillorn
