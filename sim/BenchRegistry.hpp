#pragma once
// The benches of this process, one per device path "sim:<model>[,key=value...]". A bench is
// made when its path is first opened and lives until the program ends (or StopAll), because
// the client reopens its port often and the ECU's state must survive that. Opening a path
// gives the PC side of the bench's in-process line, like opening a COM port.
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "serial/SerialDevice.hpp"
#include "sim/link/InProcLine.hpp"
#include "sim/Bench.hpp"

namespace quillorn::sim {

class TBenchRegistry {
 public:
  static TBenchRegistry& Instance();
  ~TBenchRegistry();

  // The PC side of the bench for path, making the bench first if needed. nullptr with *error
  // (a platform error code) and LastError() set when the path is bad or the port is taken.
  std::unique_ptr<TSerialDevice> Open(const std::string& path, int32_t* error);
  // The bench behind path, or nullptr when it has not been opened.
  TBench* Find(const std::string& path);
  // Stops and saves every bench and forgets them. False when a memory file could not be saved.
  bool StopAll(std::string* error = nullptr);
  // Text of the last failure of Open.
  std::string LastError() const;

 private:
  struct TEntry {
    std::shared_ptr<TInProcLine> line;
    std::unique_ptr<TBench> bench;
  };

  TBenchRegistry() = default;
  TEntry* ObtainLocked(const std::string& path, std::string* error);

  mutable std::mutex mutex_;
  std::map<std::string, TEntry> entries_;
  std::string lastError_;
};

// Makes "sim:..." device paths openable through OpenSerialDevice. Idempotent.
void RegisterBenchDevices();

}  // namespace quillorn::sim
