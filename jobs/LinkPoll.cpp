#include "jobs/LinkPoll.hpp"

#include "jobs/LatencyNotice.hpp"
#include "platform/Clock.hpp"
#include "serial/PortMap.hpp"

namespace quillorn {

namespace {
constexpr uint32_t kPollReplyTimeoutMs = 100;
constexpr uint8_t kBanksPollByte = 0x00;
constexpr uint8_t kM797Answer = 0xC5;
constexpr uint8_t kM10Answer = 0xD5;
constexpr uint16_t kLoaderAddress = 0xF400;
constexpr uint16_t kProbeEraseWord = 0x0014;
constexpr uint8_t kProbeEraseByte = 0x94;  // addressing bit 7 and 20: the Микас bootstrap makes it 25
// Echo samples the window's probes gather before a slow line is judged: with three, one wait
// stretched by a busy PC cannot raise a false alarm (the judgement takes their median).
constexpr size_t kLatencySamples = 3;
// Between two ticks of the command-line pass: lets a programmer's reset line settle and the
// ECU's boot loader come up after DTR drops (the window's timer waits a whole second).
constexpr uint32_t kTickSettleMs = 100;
}  // namespace

void TLinkPoll::Tick(const TPollSettings& settings) {
  switch (session_.LinkState) {
    case kLinkStartOver:
      if (OpenAndRaiseDtr(settings)) return;
      break;
    case kLinkDtrRaised:
      if (TellProgrammerModel()) return;
      break;
    case kLinkModelKnown: FindEcu(settings); break;
    case kLinkLoaderAnswers:
      ProbeLoader();
      if (session_.LinkState == kLinkLoaderAnswers && loader_.Link.EchoLatency.Count() >= kLatencySamples)
        TellLatencyOnce(settings.portNumber);
      break;
    case kLinkBootstrapRunning: KeepBootstrapAlive(); break;
    default: break;  // 4 and 6: only the link text
  }
  ShowLinkText();
}

bool TLinkPoll::OpenAndRaiseDtr(const TPollSettings& settings) {
  view_.OnLinkFinding(TLinkFinding::Searching);
  loader_.SetReplyTimeout(kPollReplyTimeoutMs);
  if (loader_.Open(settings.portNumber, settings.baud, kProgrammerLine) != kOk) return false;
  if (settings.family == TEcuFamily::M797) loader_.SetRts();
  else loader_.ClearRts();
  loader_.SetDtr();
  session_.LinkState = kLinkDtrRaised;
  return true;
}

bool TLinkPoll::TellProgrammerModel() {
  TSerialPort32* port = loader_.Link.SharedPort.get();
  if (port != nullptr && port->IsCtsOn()) {
    session_.Model4Detected = 1;
    view_.ShowProgrammerModel(kTextModel4);
    view_.OnLinkFinding(TLinkFinding::Model4Answers);
  } else {
    session_.Model4Detected = 0;
    view_.ShowProgrammerModel("");
  }
  loader_.ClearDtr();
  session_.LinkState = kLinkModelKnown;
  return true;
}

void TLinkPoll::FindEcu(const TPollSettings& settings) {
  if (TSerialPort32* port = loader_.Link.SharedPort.get()) port->ClearReceive(nullptr);
  if (IsEightBankFamily(settings.family)) {
    FindBanksEcu();
    // Nothing more goes to an eight-bank ECU before a job: its one exchange is all there is.
    if (session_.LinkState == kLinkBanksEcuAnswers) TellLatencyOnce(settings.portNumber);
    return;
  }
  session_.LinkState = loader_.SyncLoader() == kOk ? kLinkLoaderAnswers : kLinkStartOver;
}

void TLinkPoll::FindBanksEcu() {
  session_.LinkState = kLinkStartOver;
  if (loader_.SendByte(kBanksPollByte) != kOk) return;
  uint8_t answer = 0;
  if (loader_.ReceiveByte(answer) != kOk) return;
  if (answer == kM797Answer || answer == kM10Answer) {
    session_.LinkState = kLinkBanksEcuAnswers;
    view_.OnLinkFinding(TLinkFinding::EcuAnswers);
  } else {
    loader_.Link.LastResult = kLoaderUnexpected;
  }
}

void TLinkPoll::ProbeLoader() {
  // A header with block length 0 carries a wrong checksum on purpose: the loader's complaint
  // proves it listens, and nothing is started.
  if (loader_.SendHeader(kLoaderAddress, 0) == kBadChecksum) {
    loader_.Link.LastResult = kOk;
    view_.OnLinkFinding(TLinkFinding::EcuAnswers);
  } else {
    session_.LinkState = kLinkStartOver;
  }
}

void TLinkPoll::KeepBootstrapAlive() {
  uint8_t byte = 0;
  if (memory_.ReadBlock(0, &byte, 1) != kOk) session_.LinkState = kLinkStartOver;
  // Even after a failed keep-alive: the next tick starts over and reports the search.
  view_.OnLinkFinding(TLinkFinding::EcuAnswers);
}

// The sync byte has to go first: a boot loader takes the first byte it sees for its sync byte,
// so a read request sent to a fresh one would leave it at a wrong rate until a power cycle.
bool TLinkPoll::FindRunningBootstrap(const TPollSettings& settings) {
  if (IsEightBankFamily(settings.family) || session_.Model4Detected == 1) return false;
  TLinkState& link = loader_.Link;
  const int syncResult = link.LastResult;
  const uint8_t space = link.MemorySpace, retries = link.RetryCount;
  link.MemorySpace = kFlashSpace;
  link.RetryCount = 1;  // one request, under the poll's reply timeout
  if (TSerialPort32* port = link.SharedPort.get()) port->ClearReceive(nullptr);
  uint8_t byte = 0;
  const bool usable = memory_.ReadBlock(0, &byte, 1) == kOk && RunningBootstrapFits(settings.family);
  link.MemorySpace = space;
  link.RetryCount = retries;
  if (!usable) {
    link.LastResult = syncResult;
    return false;
  }
  session_.LinkState = kLinkBootstrapRunning;
  view_.OnLinkFinding(TLinkFinding::EcuAnswers);
  return true;
}

// A bootstrap left by a job of the other kind of family (the user chose the wrong one first)
// would answer every request, yet read or write the second flash page as the first. The two
// tell themselves apart by the erase byte they echo: the January one keeps its addressing bit,
// the Микас one clamps the byte to 25. Nothing is erased: a write job sends its own erase
// parameters before its erase request.
bool TLinkPoll::RunningBootstrapFits(TEcuFamily family) {
  const ResultCode echo = memory_.EraseFlash(kProbeEraseWord, kProbeEraseByte);
  return family == TEcuFamily::Mikas7 ? echo == kEraseByteMismatch : echo == kOk;
}

void TLinkPoll::TellLatencyOnce(uint8_t portNumber) {
  if (latencyTold_.count(portNumber) != 0) return;
  const std::string devicePath = TPortMap::Instance().DevicePath(portNumber);
  TLatencyFacts facts;
  // A device path the user gave (POSIX) says more than the number it was mapped to.
  facts.portName = devicePath.rfind('/', 0) == 0 ? devicePath : "COM" + std::to_string(portNumber);
  facts.echoMicros = loader_.Link.EchoLatency.EstimateMicros();
  // The platform is asked only about a line that is slow: a quick one needs no advice.
  if (LatencyNotice(facts).empty()) return;
  facts.adapter = QueryAdapterLatency(devicePath);
  latencyTold_.insert(portNumber);
  view_.ShowLatencyNotice(LatencyNotice(facts));
}

void TLinkPoll::ShowLinkText() { view_.ShowLinkText(loader_.Link.LastResult != kOk ? kTextLinkDown : kTextLinkUp); }

ResultCode ReachEcu(TLinkPoll& poll, TLinkSession& session, const TPollSettings& settings, TLinkState& link) {
  if (session.LinkState == kLinkBootstrapRunning) return kOk;
  session.LinkState = kLinkStartOver;
  // Open and raise DTR, tell the model and drop DTR, find the ECU: one pass of the poll.
  for (int8_t expected : {kLinkStartOver, kLinkDtrRaised, kLinkModelKnown}) {
    if (session.LinkState != expected) return link.LastResult != kOk ? link.LastResult : kTimeout;
    poll.Tick(settings);
    SleepMs(kTickSettleMs);
  }
  if (session.LinkState == kLinkBanksEcuAnswers) return kOk;
  if (session.LinkState != kLinkLoaderAnswers) {
    if (poll.FindRunningBootstrap(settings)) return kOk;
    return link.LastResult != kOk ? link.LastResult : kTimeout;
  }
  poll.Tick(settings);  // the loader probe
  if (session.LinkState != kLinkLoaderAnswers) return link.LastResult != kOk ? link.LastResult : kTimeout;
  // No more probes for the sake of measuring: on a noisy line each could fail the connection.
  poll.TellLatencyOnce(settings.portNumber);
  return kOk;
}

}  // namespace quillorn
