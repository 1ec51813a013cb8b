// quillorn-sim: the virtual bench on a pseudo-terminal. Prints the terminal's path on its
// first line (with --modem-lines, the client's environment on the second), serves until
// SIGINT or SIGTERM, then saves the memory files.
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include "sim/Bench.hpp"
#include "sim/BenchOptions.hpp"
#include "sim/pty/ModemWire.hpp"
#include "sim/pty/DelayedBenchPort.hpp"
#include "sim/pty/PtyBenchPort.hpp"

namespace {

constexpr const char* kModemLinesWord = "--modem-lines";

void PrintUsage() {
  std::fprintf(stderr,
               "usage: quillorn-sim --model january5|vs51|january72|mikas7|mikas76|m797|m10 [--key value ...]\n"
               "  --flash FILE --eeprom FILE   memory images, loaded at start and saved at exit\n"
               "  --noise P --drop P --seed N  line faults between box and ECU\n"
               "  --erase-fail --program-fail ADDR --eeprom-nack --power-loss-after N --tamper N\n"
               "  --no-programmer --no-ecu --erase-time MS --program-time US --eeprom-write-time MS\n"
               "  --latency MS                 every byte reaches the PC MS later, as through a USB adapter\n"
               "  --modem-lines                DTR, RTS, CTS and break for a client started with the\n"
               "                               environment printed on the second line\n");
}

// Takes the word out of the bench's own words; true when it was there.
bool TakeWord(std::vector<std::string>& words, const std::string& word) {
  const auto found = std::find(words.begin(), words.end(), word);
  if (found == words.end()) return false;
  words.erase(found);
  return true;
}

// The library is built next to this program.
std::string ModemLibraryPath() {
  char self[PATH_MAX] = {};
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string path(self, length > 0 ? static_cast<size_t>(length) : 0);
  return path.substr(0, path.find_last_of('/') + 1) + quillorn::sim::modem::kLibraryName;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace quillorn::sim;
  std::vector<std::string> words(argv + 1, argv + argc);
  if (!words.empty() && (words[0] == "--help" || words[0] == "-h")) {
    PrintUsage();
    return 0;
  }
  const bool modemLines = TakeWord(words, kModemLinesWord);
  // The library is test equipment: a build has it, the installed package does not. A client
  // started with a missing preload would run without modem lines and not say so.
  if (modemLines && access(ModemLibraryPath().c_str(), R_OK) != 0) {
    std::fprintf(stderr, "quillorn-sim: --modem-lines needs %s, which a build makes beside this program\n",
                 ModemLibraryPath().c_str());
    return 2;
  }
  std::string path, error;
  TBenchOptions options;
  if (!BenchPathFromArguments(words, &path, &error) || !ParseBenchPath(path, &options, &error)) {
    std::fprintf(stderr, "quillorn-sim: %s\n", error.c_str());
    PrintUsage();
    return 2;
  }

  // Signals are taken by sigwait below, never by a handler in the middle of the bench's work.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  auto port = TPtyBenchPort::Create(&error);
  if (!port || (modemLines && !port->EnableModemLines(&error))) {
    std::fprintf(stderr, "quillorn-sim: %s\n", error.c_str());
    return 1;
  }
  const std::string slavePath = port->SlavePath();
  const std::string modemSocket = port->ModemSocketPath();
  std::unique_ptr<TBenchPort> benchPort = std::move(port);
  if (options.latencyMs > 0)
    benchPort = std::make_unique<TDelayedBenchPort>(std::move(benchPort), std::chrono::milliseconds(options.latencyMs));
  TBench bench(options, std::move(benchPort));
  if (!bench.Start(&error)) {
    std::fprintf(stderr, "quillorn-sim: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s\n", slavePath.c_str());
  if (modemLines) {
    std::printf("LD_PRELOAD=%s %s=%s %s=%s\n", ModemLibraryPath().c_str(), modem::kSocketVariable,
                modemSocket.c_str(), modem::kTerminalVariable, slavePath.c_str());
  }
  std::fflush(stdout);
  if (modemLines) {
    std::fprintf(stderr, "quillorn-sim: %s on %s, modem lines for clients with that environment\n",
                 ModelName(options.model), slavePath.c_str());
  } else {
    std::fprintf(stderr, "quillorn-sim: %s on %s (a pseudo-terminal has no modem lines: the box acts as a ЖВ-2)\n",
                 ModelName(options.model), slavePath.c_str());
  }

  int received = 0;
  sigwait(&stopSignals, &received);
  if (!bench.Stop(&error)) {
    std::fprintf(stderr, "quillorn-sim: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
