// The flash and EEPROM job end to end on the virtual bench, for every family and job kind: the
// poll's way to the ECU, the bootstrap really running in the ECU's processor, and the bench's
// memory compared with the files byte for byte.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>

#include "bench/kit/JobHarness.hpp"
#include "tests/RequiredTool.hpp"
#include "tests/e2e/E2eFixture.hpp"
#include "jobs/ResultMessage.hpp"
#include "platform/AbortMailbox.hpp"

namespace quillorn::test {
namespace {

TEST_F(JobEndToEnd, OnePageWrittenAndReadBackAndTheSecondJobReusesTheBootstrap) {
  MakeBench("sim:january5" + kFast);
  const Bytes image = RandomImage(kPage, 1);
  Write("fw.bin", image);

  const TJobRun write = Run(TEcuFamily::January5, TJobAction::Write, true, "fw.bin");
  ASSERT_EQ(write.result, kOk);
  EXPECT_TRUE(write.Find("Загрузка bootstrap") && write.Find("Запуск bootstrap") && write.Find("Стирание flash"));
  const Bytes flash = bench_->Bench().Flash();
  EXPECT_EQ(Slice(flash, 0, kPage), image);
  EXPECT_EQ(Slice(flash, kPage, kPage), Bytes(kPage, 0xFF)) << "the chip erase clears page 1 as well";

  const TJobRun read = Run(TEcuFamily::January5, TJobAction::Read, true, "back.bin");
  ASSERT_EQ(read.result, kOk);
  EXPECT_EQ(Read("back.bin"), image);
  EXPECT_FALSE(read.Find("Загрузка bootstrap")) << "a bootstrap left running by a success is used again";
  EXPECT_FALSE(read.Find("Запуск bootstrap"));
  EXPECT_TRUE(read.Find("Инициализация") && read.Find("Чтение паспорта"));
  EXPECT_FALSE(std::filesystem::exists(File("back.bin.part")));
}

TEST_F(JobEndToEnd, DoubleImageGoesToBothPagesAndComesBackWhole) {
  MakeBench("sim:january5" + kFast);
  const Bytes image = RandomImage(2 * kPage, 2);
  Write("double.bin", image);
  ASSERT_EQ(Run(TEcuFamily::January5, TJobAction::Write, true, "double.bin", true).result, kOk);
  EXPECT_EQ(bench_->Bench().Flash(), image);
  ASSERT_EQ(Run(TEcuFamily::January5, TJobAction::Read, true, "double-back.bin", true).result, kOk);
  EXPECT_EQ(Read("double-back.bin"), image);
}

TEST_F(JobEndToEnd, SecondPageCopyOnTheAlternatelyAddressedChip) {
  MakeBench("sim:january72" + kFast);
  const Bytes image = RandomImage(kPage, 3);
  Write("fw.bin", image);
  ASSERT_EQ(Run(TEcuFamily::January72, TJobAction::Write, true, "fw.bin", false, true).result, kOk);
  const Bytes flash = bench_->Bench().Flash();
  EXPECT_EQ(Slice(flash, 0, kPage), image);
  EXPECT_EQ(Slice(flash, kPage, kPage), image);
  ASSERT_EQ(Run(TEcuFamily::January72, TJobAction::Read, true, "back.bin", false, true).result, kOk);
  EXPECT_EQ(Read("back.bin").size(), kPage) << "reading ignores the second-page copy";
}

TEST_F(JobEndToEnd, MikasFlashThroughItsOwnBootstrap) {
  MakeBench("sim:mikas7" + kFast);
  const Bytes image = RandomImage(kPage, 4);
  Write("mikas.bin", image);
  const TJobRun write = Run(TEcuFamily::Mikas7, TJobAction::Write, true, "mikas.bin");
  ASSERT_EQ(write.result, kOk);
  EXPECT_EQ(bench_->Bench().Flash(), image);
  ASSERT_EQ(Run(TEcuFamily::Mikas7, TJobAction::Read, true, "mikas-back.bin").result, kOk);
  EXPECT_EQ(Read("mikas-back.bin"), image);
}

TEST_F(JobEndToEnd, EightBanksOfBothBoschFamilies) {
  for (const auto& [model, family] : {std::pair{"m797", TEcuFamily::M797}, std::pair{"m10", TEcuFamily::M10}}) {
    SCOPED_TRACE(model);
    MakeBench(std::string("sim:") + model + kFast);
    const Bytes image = RandomImage(8 * kPage, 5);
    Write("banks.bin", image);
    const TJobRun write = Run(family, TJobAction::Write, true, "banks.bin");
    ASSERT_EQ(write.result, kOk);
    EXPECT_FALSE(write.Find("Загрузка bootstrap") && write.Find("Запуск bootstrap"));
    EXPECT_TRUE(write.Find("Загрузка, банк 1/8") && write.Find("Загрузка, банк 8/8"));
    EXPECT_EQ(bench_->Bench().Flash(), image);
    const TJobRun read = Run(family, TJobAction::Read, true, "banks-back.bin");
    ASSERT_EQ(read.result, kOk);
    EXPECT_TRUE(read.Find("Чтение, банк 8/8"));
    EXPECT_EQ(Read("banks-back.bin"), image);
    harness_.reset();
    bench_.reset();
  }
}

TEST_F(JobEndToEnd, AFailedEraseOfAnEightBankEcuIsReportedAndNothingIsWritten) {
  MakeBench("sim:m797,erase-fail" + kFast);
  const Bytes before = bench_->Bench().Flash();
  Write("banks.bin", RandomImage(8 * kPage, 10));
  const TJobRun run = Run(TEcuFamily::M797, TJobAction::Write, true, "banks.bin");
  EXPECT_EQ(run.result, kEraseFailed);
  EXPECT_FALSE(run.Find("Загрузка, банк 1/8"));
  EXPECT_EQ(bench_->Bench().Flash(), before);
}

TEST_F(JobEndToEnd, AFailedFirstBankLeavesTheLinkOnBankZeroForTheNextJob) {
  MakeBench("sim:m797,program-fail=0x100" + kFast);
  Write("banks.bin", RandomImage(8 * kPage, 11));
  const TJobRun write = Run(TEcuFamily::M797, TJobAction::Write, true, "banks.bin");
  EXPECT_NE(write.result, kOk);
  EXPECT_FALSE(write.Find("Загрузка, банк 2/8"));
  EXPECT_EQ(harness_->Link().BankByte, 0) << "a passport read of the next job would go to the failed bank";
}

TEST_F(JobEndToEnd, EepromWriteReadAndClearAtEachFamilysAddress) {
  const struct {
    const char* model;
    TEcuFamily family;
  } cases[] = {{"january5", TEcuFamily::January5}, {"january72", TEcuFamily::January72},
               {"vs51", TEcuFamily::Vs51}, {"mikas7", TEcuFamily::Mikas7}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.model);
    MakeBench(std::string("sim:") + c.model + kFast + ",eeprom-write-time=1");
    const Bytes image = RandomImage(512, 6);
    Write("immo.eep", image);
    ASSERT_EQ(Run(c.family, TJobAction::Write, false, "immo.eep").result, kOk);
    EXPECT_EQ(bench_->Bench().Eeprom(), image);
    ASSERT_EQ(Run(c.family, TJobAction::Read, false, "immo-back.eep").result, kOk);
    EXPECT_EQ(Read("immo-back.eep"), image);
    if (c.family != TEcuFamily::Mikas7) {
      ASSERT_EQ(Run(c.family, TJobAction::ClearEeprom, false, "").result, kOk);
      EXPECT_EQ(bench_->Bench().Eeprom(), Bytes(512, 0xFF));
    }
    harness_.reset();
    bench_.reset();
  }
}

// An EEPROM that does not answer, and a VS 5.1 ECU read as Январь 5.x (its EEPROM hangs on
// other lines), used to come back as 512 bytes 0xFF and "success". Now the job fails with the
// EEPROM's own message, writes no target and leaves a file of that name as it was.
TEST_F(JobEndToEnd, AnEepromReadWithoutAnswerFailsAndKeepsTheTarget) {
  const struct {
    const char* bench;
    bool targetExists;
  } cases[] = {{"sim:january5,eeprom-nack", false}, {"sim:january5,eeprom-nack", true},
               {"sim:vs51", false}, {"sim:vs51", true}};
  const Bytes oldTarget = RandomImage(512, 12);
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.bench) + (c.targetExists ? " over an existing file" : ""));
    MakeBench(c.bench + kFast);
    bench_->Bench().SetEeprom(RandomImage(512, 13));
    const Bytes eepromBefore = bench_->Bench().Eeprom();
    std::filesystem::remove(File("immo.eep"));
    std::filesystem::remove(File("immo.eep.part"));
    if (c.targetExists) Write("immo.eep", oldTarget);

    const TJobRun run = Run(TEcuFamily::January5, TJobAction::Read, false, "immo.eep");
    EXPECT_EQ(run.result, kEepromNoAnswer);
    EXPECT_EQ(MessageForJobResult(run.result).text, "EEPROM не отвечает. Проверьте, правильно ли выбран тип ЭБУ.");
    EXPECT_EQ(std::filesystem::exists(File("immo.eep")), c.targetExists);
    if (c.targetExists) {
      EXPECT_EQ(Read("immo.eep"), oldTarget);
    }
    EXPECT_TRUE(Read("immo.eep.part").empty()) << "no invented bytes kept as the partial read";
    EXPECT_EQ(bench_->Bench().Eeprom(), eepromBefore);
    harness_.reset();
    bench_.reset();
  }
}

TEST_F(JobEndToEnd, HexFileWrittenByAnIndependentTool) {
  QUILLORN_REQUIRE_TOOL(std::system("srec_cat -VERSion >/dev/null 2>&1") == 0, "srec_cat (srecord)");
  MakeBench("sim:january5" + kFast);
  const Bytes image = RandomImage(2 * kPage, 7);
  Write("fw.bin", image);
  // Intel hex with extended linear address records: the second 64 KiB lands in page 1.
  const std::string cmd = "srec_cat '" + File("fw.bin") + "' -binary -o '" + File("fw.hex") +
                          "' -intel -Output_Block_Size 32 >/dev/null 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  ASSERT_EQ(Run(TEcuFamily::January5, TJobAction::Write, true, "fw.hex").result, kOk);
  EXPECT_EQ(bench_->Bench().Flash(), image);
}

TEST_F(JobEndToEnd, ANewerProgrammerResetsTheEcuThroughDtr) {
  MakeBench("sim:january5,programmer=zhv4,eeprom-write-time=1" + kFast);
  const Bytes image = RandomImage(512, 8);
  Write("immo.eep", image);
  const TJobRun run = Run(TEcuFamily::January5, TJobAction::Write, false, "immo.eep");
  ASSERT_EQ(run.result, kOk);
  EXPECT_EQ(bench_->Bench().Eeprom(), image);
}

// A USB adapter at its default holds every byte towards the PC for 16 ms. Each job kind must
// still succeed; the flash writes go through the erase request, which the bootstrap drops when
// its bytes arrive spaced out. Flash reads only take longer (the eight-bank read, 32768
// requests, would take minutes): the EEPROM reads stand for them.
TEST_F(JobEndToEnd, EveryJobKindSucceedsBehindASlowAdapter) {
  const struct {
    const char* model;
    TEcuFamily family;
    TJobAction action;
    bool flash;
  } cases[] = {
      {"january5", TEcuFamily::January5, TJobAction::Write, true},
      {"january5", TEcuFamily::January5, TJobAction::Read, false},
      {"january5", TEcuFamily::January5, TJobAction::ClearEeprom, false},
      {"mikas7", TEcuFamily::Mikas7, TJobAction::Write, true},
      {"mikas7", TEcuFamily::Mikas7, TJobAction::Read, false},
      {"m797", TEcuFamily::M797, TJobAction::Write, true},
  };
  const Bytes image = RandomImage(4096, 12);
  Write("fw.bin", image);
  std::string model;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.model) + " kind " + std::to_string(JobKindFor(c.family, c.action)));
    if (model != c.model) {
      harness_.reset();
      bench_.reset();
      MakeBench(std::string("sim:") + c.model + kFast + ",eeprom-write-time=1,latency=16");
      model = c.model;
    }
    const bool read = c.action == TJobAction::Read;
    ASSERT_EQ(Run(c.family, c.action, c.flash, read ? "back.eep" : (c.flash ? "fw.bin" : "")).result, kOk);
    if (c.flash) {
      EXPECT_EQ(Slice(bench_->Bench().Flash(), 0, image.size()), image);
    }
    if (read) {
      EXPECT_EQ(Read("back.eep"), bench_->Bench().Eeprom());
    }
  }
}

TEST_F(JobEndToEnd, CancellingMidTransferStopsAtTheNextBlock) {
  MakeBench("sim:january5" + kFast);
  Write("fw.bin", RandomImage(kPage, 9));
  std::atomic<TAbortMailbox*> jobMailbox{nullptr};
  harness_->OnStage([&](const std::string& stage) {
    if (stage == "Загрузка...") jobMailbox = &ThisThreadAbortMailbox();
  });
  // Closing the window posts to the job thread's mailbox, a while into the transfer.
  std::thread closer([&] {
    while (jobMailbox.load() == nullptr) std::this_thread::sleep_for(5ms);
    std::this_thread::sleep_for(300ms);
    jobMailbox.load()->Post();
  });
  const TJobRun run = Run(TEcuFamily::January5, TJobAction::Write, true, "fw.bin");
  closer.join();
  EXPECT_EQ(run.result, kAborted);
  const benchkit::TMark* transfer = run.Find("Загрузка...");
  ASSERT_NE(transfer, nullptr);
  EXPECT_LT(run.End().at - transfer->at, 5s) << "the abort must take effect at the next block, not at the end";
}

}  // namespace
}  // namespace quillorn::test
