#include "jobs/Passport.hpp"

#include <cstring>

#include "tests/image/ImageTestSupport.hpp"

namespace quillorn::test {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

class JobPassport : public ImageTest {
 protected:
  // A binary image of the given size, 0xFF like erased flash, with texts at chosen offsets.
  std::string Image(size_t size, const std::vector<std::pair<uint32_t, std::string>>& texts) {
    Bytes image(size, 0xFF);
    for (const auto& [offset, text] : texts) std::memcpy(image.data() + offset, text.data(), text.size());
    return WriteFile("image.bin", image);
  }

  const TRecordingReport::TField& FieldOf(TPassportField field) {
    for (const auto& shown : report.Fields) {
      if (shown.Field == field) return shown;
    }
    static const TRecordingReport::TField none{field, {}};
    ADD_FAILURE() << "field not shown";
    return none;
  }
};

TEST_F(JobPassport, FlashWriteShowsTheImageFilesFields) {
  const std::string path = Image(65536, {{0x6020, "2111-1411020-60 "}, {0x6030, "03.04.2005      "},
                                         {0x6040, "\xC2\xC0\xC7-2111 1.5L   "}});
  EXPECT_EQ(ShowJobPassport({0, 1, 2, path}, driver), kOk);
  EXPECT_EQ(report.Captions, (std::vector<std::string>{"Записываемая прошивка"}));
  ASSERT_EQ(report.Fields.size(), 3u);
  EXPECT_EQ(report.Fields[0].Field, TPassportField::SoftwareVersion);
  EXPECT_EQ(report.Fields[0].Bytes, Text("2111-1411020-60 "));
  EXPECT_EQ(report.Fields[1].Bytes, Text("03.04.2005      "));
  EXPECT_EQ(report.Fields[2].Field, TPassportField::Engine);
  EXPECT_EQ(PassportFieldText(report.Fields[2].Bytes.data(), 16), "\xC2\xC0\xC7-2111 1.5L   ");
  EXPECT_TRUE(driver.Reads.empty()) << "the ECU is not asked";
}

TEST_F(JobPassport, ErasedFieldsReachTheReportAndAreNotPrintable) {
  const std::string path = Image(65536, {});
  EXPECT_EQ(ShowJobPassport({0, 1, 2, path}, driver), kOk);
  ASSERT_EQ(report.Fields.size(), 3u);
  EXPECT_EQ(report.Fields[0].Bytes, Bytes(16, 0xFF));
  EXPECT_FALSE(IsPrintablePassport(report.Fields[0].Bytes.data(), 16));
}

TEST_F(JobPassport, MikasImageFieldsAreTakenAsTheyAre) {
  const std::string path = Image(65536, {{0x7FB0, "\x8C\x88\x8A\x80\x91 7.1"}, {0x8030, "01.02.03"}, {0x8040, "settings"}});
  EXPECT_EQ(ShowJobPassport({2, 1, 2, path}, driver), kOk);
  ASSERT_EQ(report.Fields.size(), 3u);
  EXPECT_EQ(Bytes(report.Fields[0].Bytes.begin(), report.Fields[0].Bytes.begin() + 9), Text("\x8C\x88\x8A\x80\x91 7.1"));
  EXPECT_EQ(Bytes(report.Fields[2].Bytes.begin(), report.Fields[2].Bytes.begin() + 8), Text("settings"));
}

TEST_F(JobPassport, ShortFileKeepsTheSharedBufferAndStopsAtItsEnd) {
  const std::string path = Image(0x6035, {{0x6020, "ABCDEFGHIJKLMNOP"}, {0x6030, "12345"}});
  EXPECT_EQ(ShowJobPassport({0, 1, 2, path}, driver), kOk);
  ASSERT_EQ(report.Fields.size(), 2u) << "the engine field yields no byte";
  EXPECT_EQ(report.Fields[1].Bytes, Text("12345FGHIJKLMNOP"));
}

TEST_F(JobPassport, HexOrMissingFilesShowOnlyTheCaption) {
  EXPECT_EQ(ShowJobPassport({0, 1, 1, WriteText("image.hex", "S9030000FC\n")}, driver), kOk);
  EXPECT_EQ(ShowJobPassport({2, 1, 2, PathOf("absent.bin")}, driver), kOk);
  EXPECT_EQ(report.Captions.size(), 2u);
  EXPECT_TRUE(report.Fields.empty());
  EXPECT_TRUE(driver.Reads.empty());
}

TEST_F(JobPassport, OtherJobsReadTheFieldsFromFlashBankZero) {
  driver.SetMemory(0, 0x6020, Text("2111-1411020-60 "));
  link.BankByte = 5;
  for (const TPassportJob& job : {TPassportJob{1, 1, 0, ""}, TPassportJob{0, 0, 2, ""}, TPassportJob{4, 0, 0, ""}}) {
    driver.Reads.clear();
    report.Fields.clear();
    report.Captions.clear();
    EXPECT_EQ(ShowJobPassport(job, driver), kOk);
    EXPECT_EQ(report.Captions, (std::vector<std::string>{"Прошивка в контроллере"}));
    ASSERT_EQ(driver.Reads.size(), 3u);
    const uint32_t addresses[] = {0x6020, 0x6030, 0x6040};
    for (size_t i = 0; i < 3; ++i) {
      EXPECT_EQ(driver.Reads[i].Address, addresses[i]);
      EXPECT_EQ(driver.Reads[i].Bytes.size(), 16u);
      EXPECT_EQ(driver.Reads[i].Space, 2);
      EXPECT_EQ(driver.Reads[i].Bank, 0);
    }
    EXPECT_EQ(FieldOf(TPassportField::SoftwareVersion).Bytes, Text("2111-1411020-60 "));
  }
}

TEST_F(JobPassport, MikasEcuConvertsOnlyTheSoftwareVersionFromOem) {
  const std::string oem = "\x8C\xA8\xAA\xA0\xE1 7.1 \xF0\x9F";  // "Микас 7.1 ЁЯ" in 866
  driver.SetMemory(0, 0x7FB0, Text(oem + std::string(16 - oem.size(), ' ')));
  driver.SetMemory(0, 0x8030, Text("\x8C\xA8\xAA\xA0\xE1 date      "));
  for (const TPassportJob& job : {TPassportJob{3, 1, 0, ""}, TPassportJob{2, 0, 0, ""}}) {
    report.Fields.clear();
    report.Captions.clear();
    EXPECT_EQ(ShowJobPassport(job, driver), kOk);
    EXPECT_EQ(report.Captions, (std::vector<std::string>{"Считанная прошивка"}));
    EXPECT_EQ(FieldOf(TPassportField::SoftwareVersion).Bytes, Text("\xCC\xE8\xEA\xE0\xF1 7.1 \xA8\xDF    "));
    EXPECT_EQ(FieldOf(TPassportField::Date).Bytes, Text("\x8C\xA8\xAA\xA0\xE1 date      "));
  }
}

TEST_F(JobPassport, FailedEcuReadFailsAtOnce) {
  driver.FailAtCall = 2;
  driver.FailWith = kTimeout;
  EXPECT_EQ(ShowJobPassport({1, 1, 0, ""}, driver), kTimeout);
  EXPECT_EQ(driver.Reads.size(), 2u);
  EXPECT_EQ(report.Fields.size(), 1u);
}

class EuroPassport : public JobPassport {
 protected:
  // The 144-byte identification block at 0x190 of bank 0x11 with the marker at k.
  void Block(size_t k, const std::string& marker = "EURO") {
    Bytes block(144, 'x');
    std::memcpy(block.data() + k, marker.data(), marker.size());
    const auto put = [&](size_t at, const std::string& text) {
      for (size_t i = 0; i < text.size() && at + i < block.size(); ++i) block[at + i] = static_cast<uint8_t>(text[i]);
    };
    put(k + 11, "12.03.2008");
    put(k + 102, "\x84\xA2\xA8\xA3\xA0\xE2\xA5\xAB\xEC 1.6 8V");  // "Двигатель 1.6 8V" in 866
    put(k + 118, "1037369999");
    driver.SetMemory(0x11, 0x190, block);
  }
};

TEST_F(EuroPassport, MarkerInCapitalsIsFoundAndTheFieldsFollowIt) {
  Block(10);
  EXPECT_EQ(ShowJobPassport({5, 1, 2, "ignored.bin"}, driver), kOk);
  ASSERT_EQ(driver.Reads.size(), 9u);
  for (size_t i = 0; i < 9; ++i) {
    EXPECT_EQ(driver.Reads[i].Address, 0x190 + 16 * i);
    EXPECT_EQ(driver.Reads[i].Bank, 0x11);
    EXPECT_EQ(driver.Reads[i].Space, 2);
  }
  EXPECT_TRUE(report.Captions.empty()) << "the caption stays as it was";
  ASSERT_EQ(report.Fields.size(), 3u);
  EXPECT_EQ(report.Fields[0].Field, TPassportField::SoftwareVersion);
  EXPECT_EQ(report.Fields[0].Bytes, Text("1037369999"));
  EXPECT_EQ(report.Fields[1].Bytes, Text("12.03.2008"));
  EXPECT_EQ(report.Fields[2].Bytes, Text("\xC4\xE2\xE8\xE3\xE0\xF2\xE5\xEB\xFC 1.6 8V"));
}

TEST_F(EuroPassport, MarkerBeyondTheFirstFiftyBytesOrAfterANulIsNotFound) {
  Block(60, "euro");
  EXPECT_EQ(ShowJobPassport({6, 0, 0, ""}, driver), kOk);
  EXPECT_TRUE(report.Fields.empty());

  Block(47, "EuRo");  // its last letter is byte 50
  EXPECT_EQ(ShowJobPassport({6, 0, 0, ""}, driver), kOk);
  EXPECT_TRUE(report.Fields.empty());

  Block(20);
  driver.SetMemory(0x11, 0x190 + 5, {0});
  EXPECT_EQ(ShowJobPassport({6, 0, 0, ""}, driver), kOk);
  EXPECT_TRUE(report.Fields.empty());
}

TEST_F(EuroPassport, FieldsPastTheBlockAreCutToNothing) {
  Block(30);
  EXPECT_EQ(ShowJobPassport({5, 1, 2, ""}, driver), kOk);
  ASSERT_EQ(report.Fields.size(), 3u);
  EXPECT_EQ(report.Fields[0].Bytes, Bytes(10, 0)) << "bytes 148 to 157 lie beyond the block";
  EXPECT_EQ(PassportFieldText(report.Fields[0].Bytes.data(), 10), "");
  EXPECT_EQ(report.Fields[2].Bytes.size(), 16u);
  EXPECT_EQ(Bytes(report.Fields[2].Bytes.begin() + 12, report.Fields[2].Bytes.end()), Bytes(4, 0));

  Block(46);
  report.Fields.clear();
  EXPECT_EQ(ShowJobPassport({5, 1, 2, ""}, driver), kOk);
  EXPECT_EQ(report.Fields.size(), 3u) << "the last place the marker may start";
}

TEST_F(EuroPassport, FailedBlockReadFailsAtOnce) {
  driver.FailAtCall = 5;
  driver.FailWith = kBadChecksum;
  EXPECT_EQ(ShowJobPassport({5, 1, 2, ""}, driver), kBadChecksum);
  EXPECT_EQ(driver.Reads.size(), 5u);
  EXPECT_TRUE(report.Fields.empty());
}

}  // namespace
}  // namespace quillorn::test
