#pragma once
// The bench's end of the modem-line side channel (sim/pty/ModemWire.hpp): a unix socket in a
// private temporary directory, one connection per client process. It keeps the lines of the
// box as the client set them and as the box drives CTS.
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include <poll.h>

#include "sim/link/InProcLine.hpp"

namespace quillorn::sim {

inline constexpr size_t kRequestKinds = 6;

// A line change for the bench, and the client to answer once the bench has acted on it.
struct TModemEvent {
  TLineEvent event;
  int answerTo = -1;
};

class TModemLineServer {
 public:
  // Listening; nullptr with *error set when the socket cannot be made.
  static std::unique_ptr<TModemLineServer> Create(std::string* error);
  ~TModemLineServer();
  TModemLineServer(const TModemLineServer&) = delete;
  TModemLineServer& operator=(const TModemLineServer&) = delete;

  const std::string& SocketPath() const { return socketPath_; }
  void AddPollEntries(std::vector<pollfd>* entries) const;
  // Takes every waiting connection and request: changes of DTR, RTS and break become events
  // (a change that changes nothing is answered at once), requests for the lines are answered.
  void Serve(std::deque<TModemEvent>* events);
  // Tells the client the lines as they are now: its change has been acted on.
  void Answer(int client);

  bool Dtr() const { return dtr_; }
  bool Rts() const { return rts_; }
  void SetCts(bool on) { cts_ = on; }
  // The rate a client set through the UART's custom divisor, which Linux applies while termios
  // says 38400; 0 when none is set.
  uint32_t CustomRate() const;

 private:
  TModemLineServer(int listener, std::string directory, std::string socketPath);
  void Accept();
  // False when the client is gone.
  bool ServeClient(int client, std::deque<TModemEvent>* events);
  void ChangeLines(int client, uint32_t mask, uint32_t levels, TLineClock::time_point at,
                   std::deque<TModemEvent>* events);

  int listener_;
  std::string directory_;
  std::string socketPath_;
  std::vector<int> clients_;
  bool dtr_ = false, rts_ = false, cts_ = false;
  uint32_t divisor_ = 0;
  uint64_t requests_[kRequestKinds] = {};  // by kind, reported when the bench ends
};

}  // namespace quillorn::sim
