#pragma once
// The link status poll: a small state machine advanced once a second between jobs. It opens the
// port, tells the programmer model from CTS, finds the ECU's boot loader (or an eight-bank ECU)
// and keeps a running bootstrap alive. The window ticks it from its timer; the command-line
// client runs the same ticks to reach the ECU before a job.
#include <cstdint>
#include <set>
#include <string>

#include "jobs/EcuFamily.hpp"
#include "jobs/LinkSession.hpp"
#include "protocol/C509Pro.hpp"
#include "protocol/FlashPro.hpp"

namespace quillorn {

// What a tick found out about the link.
enum class TLinkFinding : uint8_t {
  Searching,     // the port was opened afresh: no ECU is known until a later tick finds one
  EcuAnswers,    // a boot loader, an eight-bank ECU or a running bootstrap is there for a job
  Model4Answers  // the programmer is a "ЖВ-4": it can reset the ECU, so identification works
};

// What the poll shows; the window binds it to its controls.
class ILinkPollView {
 public:
  virtual ~ILinkPollView() = default;
  // Only a view with job controls has something to decide here.
  virtual void OnLinkFinding(TLinkFinding) {}
  virtual void ShowProgrammerModel(const std::string& textUtf8) = 0;  // "ЖВ-4" or empty
  virtual void ShowLinkText(const std::string& textUtf8) = 0;         // status bar panel 2
  // A slow adapter's cost and cure (jobs/LatencyNotice.hpp); must not wait for the user.
  virtual void ShowLatencyNotice(const std::string& textUtf8) = 0;
};

struct TPollSettings {
  uint8_t portNumber = 1;
  int baud = 38400;
  TEcuFamily family = TEcuFamily::January5;
};

inline constexpr const char* kTextModel4 = "ЖВ-4";
inline constexpr const char* kTextLinkUp = "Связь с ЭБУ";
inline constexpr const char* kTextLinkDown = " Нет связи ";

class TLinkPoll {
 public:
  TLinkPoll(TC509Pro& loader, TFlashPro& memory, TLinkSession& session, ILinkPollView& view)
      : loader_(loader), memory_(memory), session_(session), view_(view) {}

  // One tick of the status timer.
  void Tick(const TPollSettings& settings);
  // Once the ECU answers: the echo delay the connection saw, told once per port if it costs.
  // The ticks call it when they have samples enough; the command-line pass when it is through.
  void TellLatencyOnce(uint8_t portNumber);

  // After a sync the boot loader did not answer: a "ЖВ-2" cannot reset the ECU, so the
  // bootstrap an earlier job left may still run there (it drops the sync byte). One short
  // read, the keep-alive of a running bootstrap, finds it; when it is the bootstrap the
  // family needs, LinkState 5 and true. Otherwise false, with the sync's result kept for the
  // message (check the cable and the family chosen).
  bool FindRunningBootstrap(const TPollSettings& settings);

 private:
  // Each returns true when the tick ends without refreshing the link text.
  bool OpenAndRaiseDtr(const TPollSettings& settings);
  bool TellProgrammerModel();
  void FindEcu(const TPollSettings& settings);
  void FindBanksEcu();
  void ProbeLoader();
  void KeepBootstrapAlive();
  bool RunningBootstrapFits(TEcuFamily family);
  void ShowLinkText();

  TC509Pro& loader_;
  TFlashPro& memory_;
  TLinkSession& session_;
  ILinkPollView& view_;
  std::set<uint8_t> latencyTold_;  // ports whose slow adapter the user has heard about
};

// Runs the poll's ticks from the start until the ECU answers or a pass fails, without the
// timer's pauses: the command-line client's way to the ECU. 0 when the ECU's boot loader, a
// bootstrap still running from an earlier run (LinkState 5) or an eight-bank ECU answered,
// otherwise the link's result code.
ResultCode ReachEcu(TLinkPoll& poll, TLinkSession& session, const TPollSettings& settings, TLinkState& link);

}  // namespace quillorn
