#pragma once
// A driver that sends nothing to a port: it records every WriteBlock with the bank and memory
// space of the moment, serves ReadBlock from a banked memory, and can fail or post an abort at
// a chosen call. Also a report that records what it is shown, and scratch files.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/AbortMailbox.hpp"
#include "report/JobReport.hpp"
#include "protocol/Protocol.hpp"
#include "tests/ProcessTempPath.hpp"

namespace quillorn::test {

struct TRecordedCall {
  uint32_t Address = 0;
  uint8_t Bank = 0;
  uint8_t Space = 0;
  std::vector<uint8_t> Bytes;  // data written, or the count asked for a read
};

class TRecordingProtocol final : public TProtocol {
 public:
  explicit TRecordingProtocol(TLinkState& link) : TProtocol(link) {}

  ResultCode WriteBlock(uint32_t address, const uint8_t* data, uint8_t count) override {
    Writes.push_back({address, Link.BankByte, Link.MemorySpace, std::vector<uint8_t>(data, data + count)});
    return Complete(Writes.size());
  }

  ResultCode ReadBlock(uint32_t address, uint8_t* buffer, uint8_t count) override {
    Reads.push_back({address, Link.BankByte, Link.MemorySpace, std::vector<uint8_t>(count)});
    for (uint8_t i = 0; i < count; ++i) buffer[i] = MemoryByte(Link.BankByte, address + i);
    return Complete(Reads.size());
  }

  // What the memory holds: a byte derived from bank and address unless set explicitly.
  uint8_t MemoryByte(uint8_t bank, uint32_t address) const {
    auto found = Memory.find((uint64_t{bank} << 32) | address);
    if (found != Memory.end()) return found->second;
    return static_cast<uint8_t>(address * 7 + bank * 31 + (address >> 8));
  }
  void SetMemory(uint8_t bank, uint32_t address, const std::vector<uint8_t>& bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) Memory[(uint64_t{bank} << 32) | (address + i)] = bytes[i];
  }

  std::vector<TRecordedCall> Writes;
  std::vector<TRecordedCall> Reads;
  std::map<uint64_t, uint8_t> Memory;
  size_t FailAtCall = 0;   // 1-based call (write or read) that fails; 0 never
  ResultCode FailWith = kWriteFailed;
  size_t AbortAtCall = 0;  // 1-based call after which an abort is posted to this thread

 private:
  ResultCode Complete(size_t callNumber) {
    if (callNumber == AbortAtCall) ThisThreadAbortMailbox().Post();
    return Store(callNumber == FailAtCall ? FailWith : kOk);
  }
};

class TRecordingReport final : public IJobReport {
 public:
  struct TField {
    TPassportField Field;
    std::vector<uint8_t> Bytes;
  };
  void ShowStage(const std::string& text) override { Stages.push_back(text); }
  void ShowWaitNotice() override {}
  void ShowPercent(int32_t percent) override { Percents.push_back(percent); }
  void ShowPassportField(TPassportField field, const uint8_t* bytes, int8_t length) override {
    Fields.push_back({field, std::vector<uint8_t>(bytes, bytes + length)});
  }
  void ShowPassportCaption(const std::string& text) override { Captions.push_back(text); }

  std::vector<std::string> Stages;
  std::vector<int32_t> Percents;
  std::vector<TField> Fields;
  std::vector<std::string> Captions;
};

// UTF-8 text and paths: std::string holds UTF-8 throughout the program.
inline std::string Utf8Of(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}
inline std::filesystem::path PathFromUtf8(const std::string& text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

// A fresh link state, driver and report per test, and a scratch folder removed afterwards.
class ImageTest : public ::testing::Test {
 protected:
  ImageTest() {
    link.Report = &report;
    while (PeekAbortMessage()) {
    }
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder = ProcessTempPath(std::string("image-") + info->test_suite_name() + "-" + info->name());
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
  }
  ~ImageTest() override {
    while (PeekAbortMessage()) {
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }

  std::string PathOf(const std::string& name) const { return Utf8Of(folder / PathFromUtf8(name)); }
  std::string FolderPath() const { return Utf8Of(folder); }

  std::string WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) const {
    std::ofstream out(PathFromUtf8(PathOf(name)), std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return PathOf(name);
  }
  std::string WriteText(const std::string& name, const std::string& text) const {
    return WriteFile(name, std::vector<uint8_t>(text.begin(), text.end()));
  }
  std::vector<uint8_t> ReadFile(const std::string& path) const {
    std::ifstream in(PathFromUtf8(path), std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  static std::vector<uint8_t> RandomBytes(size_t count, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(count);
    for (auto& b : bytes) b = static_cast<uint8_t>(random());
    return bytes;
  }

  TLinkState link;
  TRecordingReport report;
  TRecordingProtocol driver{link};
  std::filesystem::path folder;
};

// Number of files this process holds open; -1 where the system cannot tell.
int OpenFileCount();

// True when nothing holds the file open: on Linux by the descriptor count, on Windows because
// an open file cannot be deleted.
::testing::AssertionResult FileIsClosed(const std::string& path, int openFilesBefore);

}  // namespace quillorn::test
