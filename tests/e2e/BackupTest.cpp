// Before a write or an EEPROM clear the job keeps the memory it changes: for every kind of job
// the kept file equals the ECU's memory before the job, writing it back restores that memory,
// and a backup the line cuts short stops the job with nothing erased.
#include <cstring>

#include "jobs/Backup.hpp"
#include "tests/e2e/E2eFixture.hpp"

namespace quillorn::test {
namespace {

struct TBackupCase {
  const char* what;
  const char* model;
  TEcuFamily family;
  TJobAction action;
  bool flash, dual, secondPage;
  size_t fileSize;      // of the file written (0: a clear)
  size_t backupOffset;  // where the kept window starts in the bench's memory
  size_t backupSize;
  const char* nameEnd;  // how the backup's name ends
  uint32_t powerLossFrames;  // inside the backup's first read
};

const TBackupCase kCases[] = {
    // The erase clears both pages, so a one-page write keeps both.
    {"Январь page", "january5", TEcuFamily::January5, TJobAction::Write, true, false, false, kPage, 0, 2 * kPage,
     "_january5_J5V05L05_flash-dual.bin", 1000},
    {"both pages", "vs51", TEcuFamily::Vs51, TJobAction::Write, true, true, false, 2 * kPage, 0, 2 * kPage,
     "_vs51_J5V05L05_flash-dual.bin", 1000},
    {"second page", "january72", TEcuFamily::January72, TJobAction::Write, true, false, true, kPage, 0, 2 * kPage,
     "_january72_J5V05L05_flash-dual.bin", 1000},
    {"Микас", "mikas7", TEcuFamily::Mikas7, TJobAction::Write, true, false, false, kPage, 0, kPage,
     "_mikas7_M7V01_flash.bin", 1000},
    {"eight banks", "m797", TEcuFamily::M797, TJobAction::Write, true, false, false, 8 * kPage, 0, 8 * kPage,
     "_m797_flash.bin", 1000},
    {"EEPROM write", "january5", TEcuFamily::January5, TJobAction::Write, false, false, false, 512, 0, 512,
     "_january5_eeprom.bin", 10},
    {"EEPROM clear", "vs51", TEcuFamily::Vs51, TJobAction::ClearEeprom, false, false, false, 0, 0, 512,
     "_vs51_eeprom.bin", 10},
};

class JobBackup : public JobEndToEnd {
 protected:
  // Patterned memory with a passport version where the family keeps it.
  void Fill(const TBackupCase& c) {
    Bytes flash = bench_->Bench().Flash(), eeprom = bench_->Bench().Eeprom();
    for (size_t i = 0; i < flash.size(); ++i) flash[i] = static_cast<uint8_t>(i * 13 + 5);
    for (size_t i = 0; i < eeprom.size(); ++i) eeprom[i] = static_cast<uint8_t>(i * 3 + 1);
    const bool mikas = c.family == TEcuFamily::Mikas7;
    if (!IsEightBankFamily(c.family)) {
      const char* version = mikas ? "M7V01" : "J5V05L05";
      std::memset(flash.data() + (mikas ? 0x7FB0 : 0x6020), 0, 16);
      std::memcpy(flash.data() + (mikas ? 0x7FB0 : 0x6020), version, std::strlen(version));
    }
    bench_->Bench().SetFlash(flash);
    bench_->Bench().SetEeprom(eeprom);
    flashBefore_ = flash;
    eepromBefore_ = eeprom;
  }
  Bytes Memory(const TBackupCase& c) const { return c.flash ? bench_->Bench().Flash() : bench_->Bench().Eeprom(); }
  Bytes Window(const TBackupCase& c, const Bytes& memory) const { return Slice(memory, c.backupOffset, c.backupSize); }

  TJobRun RunWithBackup(const TBackupCase& c, const std::string& file, bool backup, bool dual) {
    TJobRequest rq;
    rq.JobKind = JobKindFor(c.family, c.action);
    rq.IsFlashJob = c.flash ? 1 : 0;
    rq.FileName = file.empty() ? "" : File(file);
    rq.SelectedBaud = kBaud;
    rq.Family = c.family;
    rq.DualProg = dual;
    rq.SecondPage = c.secondPage && file == "fw.bin";
    rq.Backup = backup;
    rq.BackupFolder = File("backups");
    return harness_->RunFlashJob(rq, 300s);
  }
  std::vector<std::string> Backups() const {
    std::vector<std::string> names;
    if (std::filesystem::exists(File("backups")))
      for (const auto& entry : std::filesystem::directory_iterator(File("backups")))
        names.push_back(entry.path().filename().string());
    return names;
  }
  void ExpectKeptAndRestored(const TBackupCase& c);
  Bytes flashBefore_, eepromBefore_;
};

// The backup equals the memory before the job; written back, it restores that memory.
void JobBackup::ExpectKeptAndRestored(const TBackupCase& c) {
  {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(File("backups"));
    MakeBench(std::string("sim:") + c.model + kFast);
    Fill(c);
    const Bytes before = Window(c, Memory(c));
    if (c.fileSize != 0) Write("fw.bin", RandomImage(c.fileSize, 8));
    const TJobRun job = RunWithBackup(c, c.fileSize != 0 ? "fw.bin" : "", true, c.dual);
    ASSERT_EQ(job.result, kOk) << harness_->State().FailureDetail;
    ASSERT_TRUE(job.Find("Резервная копия..."));
    const std::vector<std::string> kept = Backups();
    ASSERT_EQ(kept.size(), 1u);
    const std::string& name = kept[0];
    EXPECT_EQ(name.substr(name.size() - std::strlen(c.nameEnd)), c.nameEnd);
    EXPECT_EQ(harness_->State().BackupFile, File("backups/" + name));
    EXPECT_TRUE(Read("backups/" + name) == before) << "the backup is the memory before the job";
    EXPECT_FALSE(Window(c, Memory(c)) == before) << "the job changed the memory";

    // The restore is an ordinary write of the file; without a backup of its own it keeps none.
    std::filesystem::copy_file(File("backups/" + name), File("restore.bin"),
                               std::filesystem::copy_options::overwrite_existing);
    const TBackupCase restore{c.what, c.model, c.family, TJobAction::Write, c.flash, false, false, 0, 0, 0, "", 0};
    const TJobRun back = RunWithBackup(restore, "restore.bin", false, c.backupSize == 2 * kPage);
    ASSERT_EQ(back.result, kOk) << harness_->State().FailureDetail;
    EXPECT_TRUE(Window(c, Memory(c)) == before) << "the written backup restores the memory";
    EXPECT_EQ(Backups().size(), 1u) << "a job without backup keeps none";
    EXPECT_TRUE(harness_->State().BackupFile.empty());
  }
}

// Split in two only to stay well inside one test's time limit on a loaded machine.
TEST_F(JobBackup, KeepsTheFlashPagesBeforeAWriteAndAWriteOfItRestoresThem) {
  for (const TBackupCase& c : kCases)
    if (c.flash && !IsEightBankFamily(c.family)) ExpectKeptAndRestored(c);
}

TEST_F(JobBackup, KeepsTheBanksAndTheEepromBeforeAWriteOrClearAndAWriteOfItRestoresThem) {
  for (const TBackupCase& c : kCases)
    if (!c.flash || IsEightBankFamily(c.family)) ExpectKeptAndRestored(c);
}

TEST_F(JobBackup, ABackupTheEcuStopsAnsweringInErasesNothing) {
  for (const TBackupCase& c : kCases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(File("backups"));
    MakeBench(std::string("sim:") + c.model + ",power-loss-after=" + std::to_string(c.powerLossFrames) + kFast);
    Fill(c);
    if (c.fileSize != 0) Write("fw.bin", RandomImage(c.fileSize, 9));
    const TJobRun job = RunWithBackup(c, c.fileSize != 0 ? "fw.bin" : "", true, c.dual);
    EXPECT_EQ(job.result, kBackupFailed);
    EXPECT_TRUE(job.Find("Резервная копия..."));
    EXPECT_FALSE(job.Find("Стирание flash"));
    EXPECT_NE(harness_->State().FailureDetail.find("Память ЭБУ для резервной копии не прочитана"), std::string::npos)
        << harness_->State().FailureDetail;
    EXPECT_TRUE(bench_->Bench().Flash() == flashBefore_) << "flash changed";
    EXPECT_TRUE(bench_->Bench().Eeprom() == eepromBefore_) << "EEPROM changed";
    EXPECT_TRUE(Backups().empty()) << "no half backup is left";
    EXPECT_TRUE(harness_->State().BackupFile.empty());
  }
}

}  // namespace
}  // namespace quillorn::test
