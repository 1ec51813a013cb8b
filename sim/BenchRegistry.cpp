#include "sim/BenchRegistry.hpp"

#include "serial/OpenFailure.hpp"

namespace quillorn::sim {

namespace {

class TBenchDeviceProvider : public TSerialDeviceProvider {
 public:
  std::unique_ptr<TSerialDevice> TryOpen(const std::string& devicePath, bool* served, int32_t* error) override {
    *served = IsBenchPath(devicePath);
    if (!*served) return nullptr;
    auto device = TBenchRegistry::Instance().Open(devicePath, error);
    if (!device) NoteOpenFailure(TBenchRegistry::Instance().LastError());
    return device;
  }
  bool Release(std::string* error) override {
    std::string text;
    if (TBenchRegistry::Instance().StopAll(&text)) return true;
    if (error) *error = "the virtual bench could not save its memory: " + text;
    return false;
  }
};

}  // namespace

TBenchRegistry& TBenchRegistry::Instance() {
  static TBenchRegistry registry;
  return registry;
}

TBenchRegistry::~TBenchRegistry() { StopAll(nullptr); }

TBenchRegistry::TEntry* TBenchRegistry::ObtainLocked(const std::string& path, std::string* error) {
  auto found = entries_.find(path);
  if (found != entries_.end()) return &found->second;
  TBenchOptions options;
  if (!ParseBenchPath(path, &options, error)) return nullptr;
  TEntry entry;
  entry.line = TInProcLine::Create(TLineOptions{options.pace, options.latencyMs});
  entry.bench = std::make_unique<TBench>(options, std::make_unique<TInProcBenchPort>(entry.line));
  if (!entry.bench->Start(error)) return nullptr;
  return &entries_.emplace(path, std::move(entry)).first->second;
}

std::unique_ptr<TSerialDevice> TBenchRegistry::Open(const std::string& path, int32_t* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string text;
  TEntry* entry = ObtainLocked(path, &text);
  if (!entry) {
    lastError_ = text;
    if (error) *error = kErrorFileNotFound;
    return nullptr;
  }
  auto device = entry->line->OpenPcSide(error);
  if (!device) lastError_ = "the port of " + path + " is already open";
  return device;
}

TBench* TBenchRegistry::Find(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = entries_.find(path);
  return found == entries_.end() ? nullptr : found->second.bench.get();
}

bool TBenchRegistry::StopAll(std::string* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  bool saved = true;
  for (auto& [path, entry] : entries_) {
    std::string text;
    if (!entry.bench->Stop(&text)) {
      if (saved && error) *error = text;
      saved = false;
    }
  }
  entries_.clear();
  return saved;
}

std::string TBenchRegistry::LastError() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lastError_;
}

void RegisterBenchDevices() {
  static TBenchDeviceProvider provider;
  RegisterSerialDeviceProvider(&provider);  // registering twice is a no-op
}

}  // namespace quillorn::sim
