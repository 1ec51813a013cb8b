#pragma once
// One virtual bench: the programmer box on a port to the PC, the ECU behind it and the faults
// between them, run by a thread of its own. The box echoes every byte the PC sends; a "ЖВ-4"
// raises CTS while DTR is raised, and DTR holds the ECU in reset (RTS chooses how it starts).
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/BenchOptions.hpp"
#include "sim/BenchPort.hpp"
#include "sim/Ecu.hpp"
#include "sim/FaultInjector.hpp"
#include "sim/FrameReader.hpp"
#include "sim/RequestTamper.hpp"

namespace quillorn::sim {

struct TBenchCounters {
  uint64_t bytesFromPc = 0;
  uint64_t bytesToPc = 0;        // from the ECU, echoes not counted
  uint64_t framesFromPc = 0;     // complete request frames while the ECU's program served them
  uint64_t ecuMachineCycles = 0;
  uint64_t ecuProcessingNs = 0;  // processor time run, or the Bosch ECU's time spent on requests
  uint64_t lostBytes = 0;        // arrived while the ECU's receiver was not ready
  uint64_t flippedBytes = 0;
  uint64_t droppedBytes = 0;
  bool ecuPowerLost = false;
  uint64_t tamperedWrites = 0;   // flash write requests changed by the tamper option
};

class TBench {
 public:
  TBench(const TBenchOptions& options, std::unique_ptr<TBenchPort> port);
  ~TBench();
  TBench(const TBench&) = delete;
  TBench& operator=(const TBench&) = delete;

  // Loads the memory files and starts the bench thread. False with *error set when a memory
  // file exists but cannot be used.
  bool Start(std::string* error);
  // Stops the thread and saves the memory files; safe to call twice.
  bool Stop(std::string* error = nullptr);
  bool Save(std::string* error = nullptr);

  const TBenchOptions& Options() const { return options_; }
  std::vector<uint8_t> Flash() const;
  std::vector<uint8_t> Eeprom() const;
  void SetFlash(const std::vector<uint8_t>& image);
  void SetEeprom(const std::vector<uint8_t>& image);
  TBenchCounters Counters() const;
  // Switches the ECU off and on again: back to its boot loader, power loss undone.
  void PowerCycle();
  // Runs f on the ECU while the bench thread is held off (tests look inside the board).
  void Inspect(const std::function<void(TEcu&)>& f);

 private:
  void Run();
  void Handle(const TLineEvent& event);
  void HandleByte(uint8_t byte, TLineClock::time_point at);
  // The byte's place in the payload of the request frame it belongs to, or -1.
  int TrackFrames(uint8_t byte, TLineClock::time_point at);
  void RefreshPcFrame();
  void ForwardToPc(const std::vector<uint8_t>& bytes);

  TBenchOptions options_;
  std::unique_ptr<TBenchPort> port_;
  std::unique_ptr<TEcu> ecu_;
  TFaultInjector faults_;
  TFrameReader frameTracker_;
  TRequestTamper tamper_;
  TUartFrame pcFrame_{57600, 8, kNoParity};
  TBenchCounters counters_;

  mutable std::mutex mutex_;
  std::thread thread_;
  std::atomic<bool> stopping_{false};
  bool started_ = false;
  bool stopped_ = false;
};

}  // namespace quillorn::sim
