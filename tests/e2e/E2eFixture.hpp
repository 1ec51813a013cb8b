#pragma once
// The fixture of the end-to-end tests: a fresh bench per test, the job run the way the front
// ends run it, files in a scratch folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "bench/kit/JobHarness.hpp"
#include "tests/ProcessTempPath.hpp"

namespace quillorn::test {

using benchkit::TJobHarness;
using benchkit::TJobRun;
using benchkit::TMeasuredBench;
using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

// A fast line keeps a 64 KiB page near ten seconds; the bootstrap runs at whatever rate the
// boot loader was synchronised at, so the traffic is the same as at 38400 bit/s.
inline constexpr int kBaud = 230400;
inline constexpr size_t kPage = 65536;
inline const std::string kFast = ",pace=none,erase-time=50";

inline Bytes RandomImage(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  Bytes image(size);
  for (auto& b : image) b = static_cast<uint8_t>(random());
  image[0] = 0x02;  // starts like ECU code
  return image;
}

inline Bytes Slice(const Bytes& b, size_t from, size_t count) { return Bytes(b.begin() + from, b.begin() + from + count); }

class JobEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = ProcessTempPath(std::string("e2e_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  void MakeBench(const std::string& path) {
    std::string error;
    bench_ = TMeasuredBench::Create(path, &error);
    ASSERT_TRUE(bench_) << error;
    harness_ = std::make_unique<TJobHarness>(*bench_);
  }

  std::string File(const std::string& name) const { return dir_ + "/" + name; }

  void Write(const std::string& name, const Bytes& data) const {
    std::ofstream out(File(name), std::ios::binary);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  }

  Bytes Read(const std::string& name) const {
    std::ifstream in(File(name), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }

  TJobRun Run(TEcuFamily family, TJobAction action, bool flash, const std::string& file, bool dual = false,
              bool secondPage = false, bool verify = true) {
    TJobRequest rq;
    rq.JobKind = JobKindFor(family, action);
    rq.IsFlashJob = flash ? 1 : 0;
    rq.FileName = file.empty() ? "" : File(file);
    rq.SelectedBaud = kBaud;
    rq.Family = family;
    rq.DualProg = dual;
    rq.SecondPage = secondPage;
    rq.Verify = verify;
    return harness_->RunFlashJob(rq, 300s);
  }

  std::string dir_;
  std::unique_ptr<TMeasuredBench> bench_;
  std::unique_ptr<TJobHarness> harness_;
};

}  // namespace quillorn::test
