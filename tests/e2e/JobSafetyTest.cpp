// The promises a user relies on, proven on the bench through the real wire: a file that does
// not fit is refused before anything changes; hex files made by another tool land exactly;
// a write the line damaged in a way its checksum cannot see is caught by verification.
#include <cstdlib>

#include "tests/e2e/E2eFixture.hpp"
#include "tests/image/HexLines.hpp"

namespace quillorn::test {
namespace {

class JobSafety : public JobEndToEnd {
 protected:
  // The bench's memory before the job, patterned so any change shows.
  void Fill() {
    Bytes flash = bench_->Bench().Flash(), eeprom = bench_->Bench().Eeprom();
    for (size_t i = 0; i < flash.size(); ++i) flash[i] = static_cast<uint8_t>(i * 13 + 5);
    for (size_t i = 0; i < eeprom.size(); ++i) eeprom[i] = static_cast<uint8_t>(i * 3 + 1);
    bench_->Bench().SetFlash(flash);
    bench_->Bench().SetEeprom(eeprom);
    flashBefore_ = flash;
    eepromBefore_ = eeprom;
  }
  void ExpectUntouched() {
    EXPECT_TRUE(bench_->Bench().Flash() == flashBefore_) << "flash changed";
    EXPECT_TRUE(bench_->Bench().Eeprom() == eepromBefore_) << "EEPROM changed";
  }
  void MakeHex(const std::string& name, const std::string& format, const Bytes& image, const char* offset = "0") {
    Write("image.bin", image);
    const std::string cmd = "srec_cat '" + File("image.bin") + "' -binary -offset " + offset + " -o '" + File(name) +
                            "' " + format + " -Output_Block_Size 32 >/dev/null 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << "srec_cat is part of the test command's packages: " << cmd;
  }
  Bytes flashBefore_, eepromBefore_;
};

TEST_F(JobSafety, FilesThatDoNotFitAreRefusedAndTheEcuKeepsItsMemory) {
  struct TCase {
    const char* what;
    const char* model;
    TEcuFamily family;
    bool flash, dual;
    std::string name;
    Bytes content;
    ResultCode code;
  };
  const std::string far = Lines({S2(0x020000, {1, 2, 3})}), noData = ":00000001FF\n";
  const std::string twice = Lines({S1(0x0100, {1, 2, 3}), S1(0x0102, {4})});
  const std::string twoBanks = Lines({S3(0x10120000, {1})});
  const TCase cases[] = {
      {"131,072 bytes without the double image", "january5", TEcuFamily::January5, true, false, "fw.bin",
       RandomImage(2 * kPage, 1), kFileDoesNotFit},
      {"EEPROM of 65,536 bytes", "january5", TEcuFamily::January5, false, false, "immo.eep", RandomImage(kPage, 2),
       kFileDoesNotFit},
      {"hex beyond page 1", "january5", TEcuFamily::January5, true, false, "fw.hex", Bytes(far.begin(), far.end()),
       kFileDoesNotFit},
      {"hex with no data", "m797", TEcuFamily::M797, true, false, "fw.hex", Bytes(noData.begin(), noData.end()),
       kFileDoesNotFit},
      {"two records at one address", "vs51", TEcuFamily::Vs51, true, false, "fw.s19", Bytes(twice.begin(), twice.end()),
       kFileDoesNotFit},
      {"S3 naming two banks", "m10", TEcuFamily::M10, true, false, "fw.s37", Bytes(twoBanks.begin(), twoBanks.end()),
       kFileDamaged},
      {"binary named .hex", "mikas7", TEcuFamily::Mikas7, true, false, "fw.hex", RandomImage(kPage, 3), kFileDamaged},
      {"empty", "vs51", TEcuFamily::Vs51, true, false, "fw.bin", Bytes(), kFileOpenFailed},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    MakeBench(std::string("sim:") + c.model + kFast);  // a fresh ECU: a ЖВ-2 cannot sync twice
    Fill();
    Write(c.name, c.content);
    const TJobRun run = Run(c.family, TJobAction::Write, c.flash, c.name, c.dual);
    EXPECT_EQ(run.result, c.code);
    EXPECT_FALSE(run.Find("Стирание flash"));
    EXPECT_NE(harness_->State().FailureDetail.find(File(c.name)), std::string::npos) << harness_->State().FailureDetail;
    ExpectUntouched();
  }
}

TEST_F(JobSafety, HexFilesOfAnotherToolLandExactlyInTheBanks) {
  MakeBench("sim:m797" + kFast);
  const Bytes image = RandomImage(8 * kPage, 4);
  // The tool writes flat addresses; the eight banks answer at 0x100000-0x17FFFF.
  for (const char* format : {"-motorola -Address_Length=3", "-motorola -Address_Length=4", "-intel"}) {
    SCOPED_TRACE(format);
    MakeHex("fw.hex", format, image, "0x100000");
    bench_->Bench().SetFlash(Bytes(8 * kPage, 0x00));
    // The landing is what this test checks; verification has tests of its own.
    ASSERT_EQ(Run(TEcuFamily::M797, TJobAction::Write, true, "fw.hex", false, false, false).result, kOk);
    EXPECT_TRUE(bench_->Bench().Flash() == image);
  }

  MakeBench("sim:january5" + kFast);
  const Bytes page = RandomImage(kPage, 5);
  MakeHex("fw.s19", "-motorola -Address_Length=2", page);
  ASSERT_EQ(Run(TEcuFamily::January5, TJobAction::Write, true, "fw.s19").result, kOk);
  EXPECT_TRUE(Slice(bench_->Bench().Flash(), 0, kPage) == page) << "an S19 named .s19 is read as hex";
}

TEST_F(JobSafety, OnlyVerificationCatchesAWriteTheLineDamagedWithItsChecksumIntact) {
  struct TCase {
    const char* model;
    TEcuFamily family;
    size_t size;
    const char* where;  // how the first difference is named
  };
  const TCase cases[] = {
      {"january5", TEcuFamily::January5, kPage, "страница 0, адрес 0x00"},  // summed on the ECU
      {"mikas7", TEcuFamily::Mikas7, 4096, "страница 0, адрес 0x00"},       // read back
      {"m10", TEcuFamily::M10, 4096, "банк 0x10, адрес 0x00"},              // read back, eight banks
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.model);
    const Bytes image = RandomImage(c.size, 6);
    Write("fw.bin", image);
    MakeBench(std::string("sim:") + c.model + ",tamper=2" + kFast);
    const TJobRun unverified = Run(c.family, TJobAction::Write, true, "fw.bin", false, false, false);
    EXPECT_EQ(unverified.result, kOk) << "the ECU answered every request with success";
    EXPECT_FALSE(Slice(bench_->Bench().Flash(), 0, c.size) == image);

    MakeBench(std::string("sim:") + c.model + ",tamper=2" + kFast);
    const TJobRun verified = Run(c.family, TJobAction::Write, true, "fw.bin");
    EXPECT_EQ(verified.result, kVerifyMismatch);
    EXPECT_TRUE(verified.Find("Проверка..."));
    EXPECT_NE(harness_->State().FailureDetail.find(c.where), std::string::npos) << harness_->State().FailureDetail;
  }
}

}  // namespace
}  // namespace quillorn::test
