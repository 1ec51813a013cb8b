#pragma once
// A write job's plan: which bytes go to which page or bank and address. The pre-flight makes it
// from the file before the ECU is touched; after the write the job compares the ECU with it.
#include <cstdint>
#include <map>
#include <vector>

namespace quillorn {

// Consecutive planned bytes in one bank (page), at 16-bit wire addresses.
struct TPlanRange {
  uint8_t Bank = 0;
  uint32_t Address = 0;
  uint32_t Size = 0;
};

class TJobPlan {
 public:
  static constexpr uint32_t kBankSize = 0x10000;

  // Plans one byte; false when the address is already planned (a second record writing it).
  bool Put(uint8_t bank, uint32_t address, uint8_t value);
  // Plans consecutive bytes that stay inside the bank.
  void PutBlock(uint8_t bank, uint32_t address, const uint8_t* data, uint32_t size);

  bool IsPlanned(uint8_t bank, uint32_t address) const;
  // The planned byte, or 0xFF (an erased cell) where nothing is planned.
  uint8_t ByteAt(uint8_t bank, uint32_t address) const;
  // Planned bytes from address on, unplanned ones as 0xFF.
  std::vector<uint8_t> Bytes(uint8_t bank, uint32_t address, uint32_t size) const;

  // Runs of planned bytes, in bank and address order.
  std::vector<TPlanRange> Ranges() const;
  // Per bank, from its first planned byte to its last: one span, gaps included.
  std::vector<TPlanRange> Spans() const;
  uint64_t PlannedBytes() const { return plannedBytes_; }
  bool IsEmpty() const { return plannedBytes_ == 0; }

 private:
  struct TBank {
    std::vector<uint8_t> data = std::vector<uint8_t>(kBankSize, 0xFF);
    std::vector<bool> planned = std::vector<bool>(kBankSize, false);
  };
  std::map<uint8_t, TBank> banks_;
  uint64_t plannedBytes_ = 0;
};

}  // namespace quillorn
