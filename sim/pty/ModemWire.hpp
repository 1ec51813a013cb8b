#pragma once
// The side channel that gives a pseudo-terminal modem lines: quillorn-sim listens on a unix
// socket, and a small library preloaded into the client process turns the client's modem-line
// and break calls on the bench's terminal into requests here. Every request is answered with
// the lines as the box then has them; a change is answered only after the bench has acted on
// it, so anything the client writes afterwards reaches the bench after the change.
#include <cstdint>

namespace quillorn::sim::modem {

// Environment of the client process: the socket and the terminal whose calls go through it.
inline constexpr const char* kSocketVariable = "QUILLORN_MODEM";
inline constexpr const char* kTerminalVariable = "QUILLORN_MODEM_TTY";
inline constexpr const char* kLibraryName = "libquillorn_modem.so";

enum TRequestKind : uint32_t { kSetLines = 1, kBreakOn = 2, kBreakOff = 3, kGetLines = 4, kSetDivisor = 5 };

inline constexpr uint32_t kLineDtr = 1;
inline constexpr uint32_t kLineRts = 2;
inline constexpr uint32_t kLineCts = 4;

// A rate termios cannot name (the diagnostic line's 10400) is set the way Wine sets it on
// Linux: B38400 in termios and a custom divisor of the UART's base clock, which the library
// answers for the bench's terminal as this UART (a PC's 16550).
inline constexpr uint32_t kUartBaseRate = 115200;

struct TRequest {
  uint32_t kind = 0;
  uint32_t mask = 0;    // kSetLines: the lines that change...
  uint32_t levels = 0;  // ...and their new levels; kSetDivisor: the divisor, 0 for none
  uint32_t reserved = 0;
  int64_t atNs = 0;     // CLOCK_MONOTONIC when the client made the call (the bench's clock too)
};

struct TReply {
  uint32_t lines = 0;    // kLine* bits: DTR and RTS as set, CTS as the box drives it
  uint32_t divisor = 0;  // the custom divisor in force, 0 for none
};

}  // namespace quillorn::sim::modem
