#pragma once

// A minimal board around the 8051 core for its tests: 64 KiB of code, 64 KiB on the
// external bus, port pins that devices can pull low, and a record of what software wrote.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "sim/cpu/Cpu8051.hpp"

namespace quillorn::sim::test {

class TTestBus : public ICpuBus {
public:
  TTestBus();

  std::uint8_t CodeRead(std::uint16_t address) override { ++codeReads; return code[address]; }
  std::uint8_t XdataRead(std::uint16_t address) override { return xdata[address]; }
  void XdataWrite(std::uint16_t address, std::uint8_t value) override {
    xdata[address] = value;
    xdataWrites.emplace_back(address, value);
  }
  std::uint8_t PortPins(int port, std::uint8_t latch) override {
    ++pinReads;
    return static_cast<std::uint8_t>(latch & ~pulledLow[port]);
  }
  void PortLatchWritten(int port, std::uint8_t latch) override { latchWrites.emplace_back(port, latch); }
  void SfrWritten(std::uint8_t address, std::uint8_t value) override { sfrWrites.emplace_back(address, value); }

  // Places bytes in code memory.
  void Load(std::uint16_t address, const std::vector<std::uint8_t>& bytes);

  std::vector<std::uint8_t> code;
  std::vector<std::uint8_t> xdata;
  std::uint8_t pulledLow[4] = {};  // pins a device holds low, per port
  int codeReads = 0;
  int pinReads = 0;
  std::vector<std::pair<std::uint16_t, std::uint8_t>> xdataWrites;
  std::vector<std::pair<int, std::uint8_t>> latchWrites;
  std::vector<std::pair<std::uint8_t, std::uint8_t>> sfrWrites;
};

// Steps until PC equals `pc` (before executing there) or the cycle budget is spent.
// Returns true when PC was reached.
bool RunUntilPc(TCpu8051& cpu, std::uint16_t pc, std::uint64_t maxCycles = 1000000);

// Reads an Intel HEX file into code memory. Returns false on a missing or malformed file.
bool LoadIntelHex(const std::string& path, std::vector<std::uint8_t>& code);

}  // namespace quillorn::sim::test
