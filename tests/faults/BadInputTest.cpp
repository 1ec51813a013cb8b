// A write job whose input file cannot be used fails before the ECU is touched beyond the
// passport: the flash keeps every byte it had. Missing, empty and damaged hex files alike.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <random>

#include "bench/kit/JobHarness.hpp"

namespace quillorn::test {
namespace {

using benchkit::TJobHarness;
using benchkit::TMeasuredBench;

class BadInput : public ::testing::Test {
 protected:
  BadInput() {
    char dirTemplate[] = "/tmp/quillorn-badinput-XXXXXX";
    dir_ = mkdtemp(dirTemplate);
    std::mt19937 random(3);
    for (auto& b : flash_) b = static_cast<uint8_t>(random());
  }
  ~BadInput() override {
    harness_.reset();
    bench_.reset();
    std::remove(Path().c_str());
    rmdir(dir_.c_str());
  }
  std::string Path() const { return dir_ + "/image" + extension_; }
  void WriteText(const std::string& text, const char* extension) {
    extension_ = extension;
    std::ofstream(Path(), std::ios::binary) << text;
  }

  // A fresh ECU each time: a "ЖВ-2" box cannot reset it, and the loader of an ECU a failed
  // job has already synchronised does not answer a second synchronisation.
  ResultCode Write() {
    harness_.reset();
    bench_.reset();
    std::string error;
    bench_ = TMeasuredBench::Create("sim:january5,pace=none,erase-time=50", &error);
    if (!bench_) {
      ADD_FAILURE() << error;
      return kOk;
    }
    bench_->Bench().SetFlash(flash_);
    harness_ = std::make_unique<TJobHarness>(*bench_);
    TJobRequest rq;
    rq.JobKind = kJobWrite;
    rq.IsFlashJob = 1;
    rq.FileName = Path();
    rq.SelectedBaud = 57600;
    return harness_->RunFlashJob(rq, std::chrono::seconds(60)).result;
  }

  void ExpectFlashUntouched() {
    const auto flash = bench_->Bench().Flash();
    EXPECT_TRUE(std::equal(flash_.begin(), flash_.end(), flash.begin())) << "the flash was changed";
  }

  std::string dir_, extension_ = ".bin";
  std::vector<uint8_t> flash_ = std::vector<uint8_t>(2 * kPageSize);
  std::unique_ptr<TMeasuredBench> bench_;
  std::unique_ptr<TJobHarness> harness_;
};

TEST_F(BadInput, MissingOrEmptyBinaryNeverErases) {
  extension_ = ".bin";
  EXPECT_EQ(Write(), kFileOpenFailed);
  ExpectFlashUntouched();
  WriteText("", ".bin");
  EXPECT_EQ(Write(), kFileOpenFailed);
  ExpectFlashUntouched();
}

TEST_F(BadInput, DamagedHexNeverErases) {
  // Record checksum off by one in the second record; then a record cut short.
  WriteText(":10000000020102030405060708090A0B0C0D0E0F76\n:10001000101112131415161718191A1B1C1D1E1F69\n"
            ":00000001FF\n", ".hex");
  EXPECT_EQ(Write(), kFileDamaged);
  ExpectFlashUntouched();
  WriteText(":10000000020102030405060708090A0B0C0D0E0F76\n:1000100010111213\n:00000001FF\n", ".hex");
  EXPECT_EQ(Write(), kFileDamaged);
  ExpectFlashUntouched();
  WriteText("S1130000020102030405060708090A0B0C0D0E0F5F\nS9030000FB\n", ".hex");  // bad S1 sum
  EXPECT_EQ(Write(), kFileDamaged);
  ExpectFlashUntouched();
}

}  // namespace
}  // namespace quillorn::test
