#include "PcSide.hpp"

#include <gtest/gtest.h>

#include <chrono>

#include "sim/BenchOptions.hpp"
#include "sim/BenchPort.hpp"

namespace quillorn::sim::test {

TPcSide::TPcSide(const std::string& path, bool pace) {
  TBenchOptions options;
  std::string error;
  EXPECT_TRUE(ParseBenchPath(path, &options, &error)) << error;
  line_ = TInProcLine::Create(TLineOptions{pace, 0});
  device_ = line_->OpenPcSide(nullptr);
  SetLine(57600);
  bench_ = std::make_unique<TBench>(options, std::make_unique<TInProcBenchPort>(line_));
  EXPECT_TRUE(bench_->Start(&error)) << error;
}

TPcSide::~TPcSide() {
  bench_->Stop(nullptr);
  device_.reset();
}

void TPcSide::SetLine(uint32_t baud, uint8_t dataBits, uint8_t parity, uint8_t stopBits) {
  TDcb dcb;
  device_->GetState(dcb, nullptr);
  dcb.BaudRate = baud;
  dcb.ByteSize = dataBits;
  dcb.Parity = parity;
  dcb.StopBits = stopBits;
  ASSERT_TRUE(device_->SetState(dcb, nullptr));
}

void TPcSide::Send(const TBytes& bytes) {
  uint32_t written = 0;
  ASSERT_TRUE(device_->Write(bytes.data(), static_cast<uint32_t>(bytes.size()), &written, nullptr));
  ASSERT_EQ(written, bytes.size());
}

TBytes TPcSide::Receive(size_t count, uint32_t limitMs) {
  TBytes received;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  while (received.size() < count) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    TCommTimeouts timeouts;
    timeouts.ReadTotalTimeoutConstant = static_cast<uint32_t>(left.count());
    device_->SetTimeouts(timeouts, nullptr);
    uint8_t buffer[512];
    uint32_t got = 0;
    const auto want = static_cast<uint32_t>(std::min<size_t>(count - received.size(), sizeof buffer));
    if (!device_->Read(buffer, want, &got, nullptr)) break;
    received.insert(received.end(), buffer, buffer + got);
  }
  return received;
}

TBytes TPcSide::Exchange(const TBytes& bytes, size_t answerBytes, uint32_t limitMs) {
  Send(bytes);
  return Receive(bytes.size() + answerBytes, limitMs);
}

bool TPcSide::Silent(uint32_t limitMs) { return Receive(1, limitMs).empty(); }

void TPcSide::SetDtr(bool on) { device_->Escape(on ? kSetDtr : kClrDtr); }
void TPcSide::SetRts(bool on) { device_->Escape(on ? kSetRts : kClrRts); }

bool TPcSide::Cts() {
  uint32_t status = 0;
  device_->GetModemStatus(&status);
  return (status & kMsCtsOn) != 0;
}

bool TPcSide::Upload(const TBytes& image, uint16_t start) {
  auto answer = [this](const TBytes& block) {
    const TBytes back = Exchange(block, 1);
    return back.size() == block.size() + 1 ? back.back() : 0x00;
  };
  if (answer({0x00}) != 0x55) return false;
  if (answer({0x00, 0x00, 0xF4, 0x00, 0xFF, 0xFF, 0x12, 0xE6}) != 0x55) return false;
  size_t offset = 0;
  while (true) {
    const size_t count = std::min<size_t>(16, image.size() - offset);
    TBytes block;
    if (count == 16) {
      block.push_back(0x01);
    } else {
      block.push_back(0x02);
      block.push_back(static_cast<uint8_t>(count));
    }
    block.insert(block.end(), image.begin() + static_cast<long>(offset), image.begin() + static_cast<long>(offset + count));
    while (block.size() < 17) block.push_back(0xFF);
    uint8_t sum = 0;
    for (uint8_t byte : block) sum ^= byte;
    block.push_back(sum);
    if (answer(block) != 0x55) return false;
    offset += count;
    if (count < 16) break;
  }
  TBytes startBlock = {0x00, 0x01, static_cast<uint8_t>(start >> 8), static_cast<uint8_t>(start & 0xFF), 0xFF, 0xFF, 0xFF};
  uint8_t sum = 0;
  for (uint8_t byte : startBlock) sum ^= byte;
  startBlock.push_back(sum);
  return answer(startBlock) == 0x55;
}

TBytes Frame(uint8_t prefix, const TBytes& payload) {
  // Byte by byte: GCC 12 warns falsely about a range insert into a short vector.
  TBytes frame = {prefix, static_cast<uint8_t>(payload.size() + 0x55)};
  for (uint8_t byte : payload) frame.push_back(byte);
  uint8_t sum = 0;
  for (uint8_t byte : frame) sum = static_cast<uint8_t>(sum + byte);
  frame.push_back(static_cast<uint8_t>(0x100 - sum));
  return frame;
}

TBytes Concat(const TBytes& a, const TBytes& b) {
  TBytes joined = a;
  joined.insert(joined.end(), b.begin(), b.end());
  return joined;
}

}  // namespace quillorn::sim::test
