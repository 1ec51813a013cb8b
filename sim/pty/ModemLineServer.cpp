#include "sim/pty/ModemLineServer.hpp"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sim/pty/ModemWire.hpp"

namespace quillorn::sim {

namespace {

using namespace modem;

TLineClock::time_point ClientTime(int64_t atNs) {
  return TLineClock::time_point(std::chrono::duration_cast<TLineClock::duration>(std::chrono::nanoseconds(atNs)));
}

TLineEvent LineEvent(TLineEvent::Kind kind, bool level, TLineClock::time_point at) {
  TLineEvent event;
  event.kind = kind;
  event.level = level;
  event.at = at;
  return event;
}

}  // namespace

std::unique_ptr<TModemLineServer> TModemLineServer::Create(std::string* error) {
  char directory[] = "/tmp/quillorn-modem.XXXXXX";
  if (mkdtemp(directory) == nullptr) {
    if (error) *error = std::string("cannot make a directory for the modem lines: ") + std::strerror(errno);
    return nullptr;
  }
  const std::string socketPath = std::string(directory) + "/lines";
  const int listener = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
  if (listener < 0 || bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, 8) != 0) {
    if (error) *error = "cannot listen on " + socketPath + ": " + std::strerror(errno);
    if (listener >= 0) close(listener);
    unlink(socketPath.c_str());
    rmdir(directory);
    return nullptr;
  }
  return std::unique_ptr<TModemLineServer>(new TModemLineServer(listener, directory, socketPath));
}

TModemLineServer::TModemLineServer(int listener, std::string directory, std::string socketPath)
    : listener_(listener), directory_(std::move(directory)), socketPath_(std::move(socketPath)) {}

TModemLineServer::~TModemLineServer() {
  std::fprintf(stderr, "quillorn-sim: modem-line requests: %llu line changes, %llu line reads, %llu breaks, %llu divisors\n",
               static_cast<unsigned long long>(requests_[kSetLines]), static_cast<unsigned long long>(requests_[kGetLines]),
               static_cast<unsigned long long>(requests_[kBreakOn]), static_cast<unsigned long long>(requests_[kSetDivisor]));
  for (int client : clients_) close(client);
  close(listener_);
  unlink(socketPath_.c_str());
  rmdir(directory_.c_str());
}

void TModemLineServer::AddPollEntries(std::vector<pollfd>* entries) const {
  entries->push_back({listener_, POLLIN, 0});
  for (int client : clients_) entries->push_back({client, POLLIN, 0});
}

void TModemLineServer::Serve(std::deque<TModemEvent>* events) {
  Accept();
  std::vector<int> gone;
  for (int client : clients_) {
    if (!ServeClient(client, events)) gone.push_back(client);
  }
  for (int client : gone) {
    close(client);
    clients_.erase(std::find(clients_.begin(), clients_.end(), client));
    // An event still queued for it must not answer a descriptor that may be reused.
    for (TModemEvent& pending : *events) {
      if (pending.answerTo == client) pending.answerTo = -1;
    }
  }
}

void TModemLineServer::Accept() {
  for (;;) {
    const int client = accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (client < 0) return;
    clients_.push_back(client);
  }
}

bool TModemLineServer::ServeClient(int client, std::deque<TModemEvent>* events) {
  for (;;) {
    TRequest request;
    const ssize_t got = recv(client, &request, sizeof request, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return errno == EAGAIN || errno == EWOULDBLOCK;
    if (got != sizeof request) return false;  // closed, or not one of ours
    const auto at = ClientTime(request.atNs);
    if (request.kind < kRequestKinds) ++requests_[request.kind];
    switch (request.kind) {
      case kSetLines:
        ChangeLines(client, request.mask, request.levels, at, events);
        break;
      case kBreakOn:
      case kBreakOff:
        events->push_back({LineEvent(request.kind == kBreakOn ? TLineEvent::Kind::BreakOn : TLineEvent::Kind::BreakOff,
                                     request.kind == kBreakOn, at),
                           client});
        break;
      case kSetDivisor:
        divisor_ = request.levels;
        Answer(client);
        break;
      default:
        Answer(client);
        break;
    }
  }
}

// RTS goes first: DTR's release of the ECU reads RTS to choose what it starts.
void TModemLineServer::ChangeLines(int client, uint32_t mask, uint32_t levels, TLineClock::time_point at,
                                   std::deque<TModemEvent>* events) {
  const size_t before = events->size();
  const bool rts = (levels & kLineRts) != 0;
  if ((mask & kLineRts) && rts != rts_) {
    rts_ = rts;
    events->push_back({LineEvent(TLineEvent::Kind::Rts, rts, at), -1});
  }
  const bool dtr = (levels & kLineDtr) != 0;
  if ((mask & kLineDtr) && dtr != dtr_) {
    dtr_ = dtr;
    events->push_back({LineEvent(TLineEvent::Kind::Dtr, dtr, at), -1});
  }
  if (events->size() == before) Answer(client);
  else events->back().answerTo = client;
}

void TModemLineServer::Answer(int client) {
  if (client < 0) return;
  TReply reply;
  reply.lines = (dtr_ ? kLineDtr : 0) | (rts_ ? kLineRts : 0) | (cts_ ? kLineCts : 0);
  reply.divisor = divisor_;
  (void)send(client, &reply, sizeof reply, MSG_NOSIGNAL | MSG_DONTWAIT);
}

uint32_t TModemLineServer::CustomRate() const { return divisor_ == 0 ? 0 : kUartBaseRate / divisor_; }

}  // namespace quillorn::sim
