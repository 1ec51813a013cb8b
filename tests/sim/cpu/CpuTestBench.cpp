#include "tests/sim/cpu/CpuTestBench.hpp"

#include <fstream>

namespace quillorn::sim::test {

TTestBus::TTestBus() : code(0x10000, 0xFF), xdata(0x10000, 0x00) {}

void TTestBus::Load(std::uint16_t address, const std::vector<std::uint8_t>& bytes) {
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    code[static_cast<std::uint16_t>(address + i)] = bytes[i];
  }
}

bool RunUntilPc(TCpu8051& cpu, std::uint16_t pc, std::uint64_t maxCycles) {
  const std::uint64_t start = cpu.Cycles();
  while (cpu.Pc() != pc) {
    if (cpu.Cycles() - start >= maxCycles) {
      return false;
    }
    cpu.Step();
  }
  return true;
}

namespace {
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}
}  // namespace

bool LoadIntelHex(const std::string& path, std::vector<std::uint8_t>& code) {
  std::ifstream in(path);
  if (!in) {
    return false;
  }
  std::string line;
  while (std::getline(in, line)) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (line.empty()) continue;
    if (line[0] != ':' || line.size() < 11 || (line.size() - 1) % 2 != 0) return false;
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 1; i + 1 < line.size(); i += 2) {
      const int high = HexValue(line[i]);
      const int low = HexValue(line[i + 1]);
      if (high < 0 || low < 0) return false;
      bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    std::uint8_t sum = 0;
    for (const auto b : bytes) sum = static_cast<std::uint8_t>(sum + b);
    const std::size_t count = bytes[0];
    if (sum != 0 || bytes.size() != count + 5) return false;
    const std::uint16_t address = static_cast<std::uint16_t>((bytes[1] << 8) | bytes[2]);
    if (bytes[3] == 0x01) return true;
    if (bytes[3] != 0x00) continue;
    for (std::size_t i = 0; i < count; ++i) {
      code[static_cast<std::uint16_t>(address + i)] = bytes[4 + i];
    }
  }
  return false;  // no end record
}

}  // namespace quillorn::sim::test
