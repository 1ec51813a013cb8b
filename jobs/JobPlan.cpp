#include "jobs/JobPlan.hpp"

namespace quillorn {

bool TJobPlan::Put(uint8_t bank, uint32_t address, uint8_t value) {
  TBank& b = banks_[bank];
  if (b.planned[address]) return false;
  b.planned[address] = true;
  b.data[address] = value;
  ++plannedBytes_;
  return true;
}

void TJobPlan::PutBlock(uint8_t bank, uint32_t address, const uint8_t* data, uint32_t size) {
  for (uint32_t i = 0; i < size && address + i < kBankSize; ++i) Put(bank, address + i, data[i]);
}

bool TJobPlan::IsPlanned(uint8_t bank, uint32_t address) const {
  const auto found = banks_.find(bank);
  return found != banks_.end() && address < kBankSize && found->second.planned[address];
}

uint8_t TJobPlan::ByteAt(uint8_t bank, uint32_t address) const {
  const auto found = banks_.find(bank);
  return found == banks_.end() || address >= kBankSize ? 0xFF : found->second.data[address];
}

std::vector<uint8_t> TJobPlan::Bytes(uint8_t bank, uint32_t address, uint32_t size) const {
  std::vector<uint8_t> bytes(size);
  for (uint32_t i = 0; i < size; ++i) bytes[i] = ByteAt(bank, address + i);
  return bytes;
}

std::vector<TPlanRange> TJobPlan::Ranges() const {
  std::vector<TPlanRange> ranges;
  for (const auto& [bank, b] : banks_) {
    for (uint32_t a = 0; a < kBankSize;) {
      if (!b.planned[a]) {
        ++a;
        continue;
      }
      const uint32_t start = a;
      while (a < kBankSize && b.planned[a]) ++a;
      ranges.push_back({bank, start, a - start});
    }
  }
  return ranges;
}

std::vector<TPlanRange> TJobPlan::Spans() const {
  std::vector<TPlanRange> spans;
  for (const TPlanRange& r : Ranges()) {
    if (!spans.empty() && spans.back().Bank == r.Bank) {
      spans.back().Size = r.Address + r.Size - spans.back().Address;
    } else {
      spans.push_back(r);
    }
  }
  return spans;
}

}  // namespace quillorn
