// The pre-flight: what each family and job accepts, what it refuses and what it asks about,
// all before a port is opened.
#include "jobs/JobLaunch.hpp"

#include "tests/image/HexLines.hpp"
#include "tests/image/ImageTestSupport.hpp"

namespace quillorn::test {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Code(size_t size) {
  Bytes b(size, 0x5A);
  if (size != 0) b[0] = 0x02;
  return b;
}
Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

class PreFlight : public ImageTest {
 protected:
  TPreflight Run(TEcuFamily family, TJobAction action, bool flash, const std::string& file, bool dual = false,
                 bool second = false) {
    TLaunchChoice c;
    c.Family = family;
    c.Action = action;
    c.Flash = flash;
    c.File = file;
    c.DualProg = dual;
    c.SecondPage = second;
    c.BackupFolder = PathOf("backups");  // never the user's own folder
    TLaunch launch = PrepareLaunch(c);
    TJobRequest rq = launch.Request;
    return PreflightJob(rq);
  }
};

TEST_F(PreFlight, WritesAreRefusedOrAskedAboutByTheFamilysMemory) {
  using F = TEcuFamily;
  struct TCase {
    const char* what;
    F family;
    bool flash, dual, second;
    std::string name;
    Bytes content;
    ResultCode code;
    const char* found;      // part of the refusal, or of the last question
    size_t questions;
    uint64_t planned;
  };
  const std::string data = Lines({S1(0x0010, {1, 2, 3})});
  const TCase cases[] = {
      {"one page", F::January5, true, false, false, "fw.bin", Code(65536), kOk, "", 0, 65536},
      {"a page too many", F::January5, true, false, false, "fw.bin", Code(65537), kFileDoesNotFit, "65 537 байт", 0, 0},
      {"double image", F::January5, true, true, false, "fw.bin", Code(131072), kOk, "", 0, 131072},
      {"double image plus one", F::January5, true, true, false, "fw.bin", Code(131073), kFileDoesNotFit, "131 072", 0, 0},
      {"one page for a double image", F::January5, true, true, false, "fw.bin", Code(65536), kOk, "65 536 байт из 131 072", 1, 65536},
      {"second-page copy", F::January72, true, false, true, "fw.bin", Code(65536), kOk, "", 0, 131072},
      {"one byte", F::January5, true, false, false, "fw.bin", Code(1), kOk, "Остальные 65 535 байт", 1, 1},
      {"not program code", F::Vs51, true, false, false, "fw.bin", Bytes(65536, 0xFF), kOk, "кодом программы", 1, 65536},
      {"eight banks", F::M797, true, false, false, "fw.bin", Bytes(524288, 0xFF), kOk, "", 0, 524288},
      {"one page for eight banks", F::M10, true, false, false, "fw.bin", Code(65536), kOk, "458 752", 1, 65536},
      {"eight banks plus one", F::M10, true, false, false, "fw.bin", Code(524289), kFileDoesNotFit, "524 289", 0, 0},
      {"EEPROM", F::Vs51, false, false, false, "immo.eep", Bytes(512, 1), kOk, "", 0, 512},
      {"EEPROM too large", F::January5, false, false, false, "immo.eep", Bytes(65536, 1), kFileDoesNotFit, "512", 0, 0},
      {"EEPROM short", F::Mikas7, false, false, false, "immo.eep", Bytes(100, 1), kOk, "останутся прежними", 1, 100},
      {"empty", F::January5, true, false, false, "fw.bin", Bytes(), kFileOpenFailed, "пуст", 0, 0},
      {"Mikas double image", F::Mikas7, true, true, false, "fw.bin", Code(131072), kFileDoesNotFit, "одна страница", 0, 0},
      // Hex files: the content decides, not the name; only the file's own name counts.
      {"S19 named .s19", F::January5, true, false, false, "fw.s19", Text(data), kOk, "", 0, 3},
      {"binary in a .hex folder", F::January5, true, false, false, "my.hexdumps/fw.bin", Code(65536), kOk, "", 0, 65536},
      {"binary named .hex", F::January5, true, false, false, "fw.hex", Code(65536), kFileDamaged, "не содержит записей", 0, 0},
      {"no data record", F::January5, true, false, false, "fw.hex", Text(":00000001FF\n"), kFileDoesNotFit, "не содержит данных", 0, 0},
      {"only header and end", F::January5, true, false, false, "fw.s19", Text("S00600004844521B\nS9030000FC\n"), kFileDoesNotFit, "не содержит данных", 0, 0},
      {"page 1", F::January5, true, false, false, "fw.hex", Text(Lines({S2(0x01FFFF, {7})})), kOk, "", 0, 1},
      {"past page 1", F::January5, true, false, false, "fw.hex", Text(Lines({S2(0x020000, {7})})), kFileDoesNotFit, "0x020000", 0, 0},
      {"Mikas page 1", F::Mikas7, true, false, false, "fw.hex", Text(Lines({S2(0x010000, {7})})), kFileDoesNotFit, "одна страница", 0, 0},
      {"banks below 0x10", F::M797, true, false, false, "fw.hex", Text(data), kFileDoesNotFit, "0x100000–0x17FFFF", 0, 0},
      {"bank 0x17 in S37", F::M797, true, false, false, "fw.s37", Text(Lines({S3(0x0017FFF0, Code(16))})), kOk, "", 0, 16},
      {"bank 0x10 in S3 bits 24-31", F::M10, true, false, false, "fw.s37", Text(Lines({S3(0x10000000, {1})})), kOk, "", 0, 1},
      {"S3 with two banks", F::M10, true, false, false, "fw.s37", Text(Lines({S3(0x10120000, {1})})), kFileDamaged, "строка 1", 0, 0},
      {"overlap", F::January5, true, false, false, "fw.hex", Text(Lines({S1(0x10, {1, 2}), S1(0x11, {3})})), kFileDoesNotFit, "дважды (строка 2)", 0, 0},
      {"EEPROM hex of VS 5.1", F::Vs51, false, false, false, "immo.hex", Text(Lines({S1(0x81FF, {1})})), kOk, "", 0, 1},
      {"EEPROM hex at another wiring", F::Vs51, false, false, false, "immo.hex", Text(Lines({S1(0x0000, {1})})), kFileDoesNotFit, "0x8000–0x81FF", 0, 0},
  };
  std::filesystem::create_directories(folder / "my.hexdumps");
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = WriteFile(c.name, c.content);
    const TPreflight p = Run(c.family, TJobAction::Write, c.flash, path, c.dual, c.second);
    EXPECT_EQ(p.Result, c.code) << p.RefusalUtf8;
    EXPECT_EQ(p.Questions.size(), c.questions);
    const std::string said = p.Result != kOk ? p.RefusalUtf8 : p.Questions.empty() ? "" : p.Questions.back().TextUtf8;
    EXPECT_NE(said.find(c.found), std::string::npos) << said;
    if (p.Result != kOk) {
      EXPECT_NE(said.find(path), std::string::npos) << "a refusal names the file: " << said;
    } else {
      ASSERT_NE(p.Plan, nullptr);
      EXPECT_EQ(p.Plan->PlannedBytes(), c.planned);
    }
  }
}

TEST_F(PreFlight, PlansPutTheImageWhereTheJobWritesIt) {
  Bytes image(2 * 65536);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 7 + (i >> 16));
  const std::string file = WriteFile("double.bin", image);
  const TPreflight dual = Run(TEcuFamily::January5, TJobAction::Write, true, file, true);
  ASSERT_EQ(dual.Result, kOk);
  EXPECT_EQ(dual.Plan->ByteAt(1, 0x1234), image[0x11234]) << "the second 64 KiB go to page 1";
  EXPECT_EQ(dual.FileFormat, kFormatBinary);

  const std::string banks = WriteFile("banks.bin", Bytes(3 * 65536 + 5, 0x33));
  const TPreflight eight = Run(TEcuFamily::M797, TJobAction::Write, true, banks);
  const std::vector<TPlanRange> ranges = eight.Plan->Ranges();
  ASSERT_EQ(ranges.size(), 4u);
  EXPECT_EQ(ranges.back().Bank, 0x13);
  EXPECT_EQ(ranges.back().Size, 5u);

  const TPreflight clear = Run(TEcuFamily::January72, TJobAction::ClearEeprom, false, "");
  ASSERT_EQ(clear.Result, kOk);
  ASSERT_EQ(clear.Plan->Ranges().size(), 1u);
  EXPECT_EQ(clear.Plan->Ranges()[0].Address, 0x4000u) << "a clear is verified like a write: 512 bytes of 0xFF";
}

TEST_F(PreFlight, ReadTargetsAndTraceFilesAreCheckedAsFiles) {
  const TPreflight fresh = Run(TEcuFamily::January5, TJobAction::Read, true, PathOf("new.bin"));
  EXPECT_EQ(fresh.Result, kOk);
  EXPECT_FALSE(std::filesystem::exists(folder / "new.bin.part")) << "the probe leaves nothing behind";

  const TPreflight noFolder = Run(TEcuFamily::January5, TJobAction::Read, true, PathOf("no/such/dump.bin"));
  EXPECT_EQ(noFolder.Result, kFileWriteFailed);

  const TPreflight folderAsTarget = Run(TEcuFamily::January5, TJobAction::Read, true, FolderPath());
  EXPECT_EQ(folderAsTarget.Result, kFileWriteFailed);

  TJobRequest write;
  write.FileName = WriteFile("fw.bin", Code(16));
  EXPECT_NE(TraceConflict(write, PathOf("./fw.bin")), "") << "the same file under another spelling";
  EXPECT_EQ(TraceConflict(write, PathOf("trace.log")), "");
  TJobRequest read;
  read.JobKind = kJobRead;
  read.FileName = PathOf("dump.bin");
  EXPECT_NE(TraceConflict(read, PathOf("dump.bin")), "") << "an output that does not exist yet";
}

TEST_F(PreFlight, BackupsAreForChangesTheirFolderIsProvenFirstAndEveryBackupWritesBack) {
  struct TChoiceCase {
    TJobAction action;
    bool flash, verifyOnly, backupOn;
    std::string backupFolder;
    bool backup;        // the request keeps one
    ResultCode result;  // of the launch's pre-flight
  };
  const std::string fw = WriteFile("fw.bin", Code(kPageSize)), kept = PathOf("kept/deeper");
  const std::string notAFolder = WriteFile("taken", Code(4));
  const TChoiceCase choices[] = {
      {TJobAction::Write, true, false, true, kept, true, kOk},
      {TJobAction::Write, false, false, true, kept, true, kOk},
      {TJobAction::ClearEeprom, false, false, true, kept, true, kOk},
      {TJobAction::Write, true, false, false, kept, false, kOk},
      {TJobAction::Read, true, false, true, kept, false, kOk},
      {TJobAction::Write, true, true, true, kept, false, kOk},
      {TJobAction::Write, true, false, true, notAFolder + "/sub", true, kBackupFailed},
  };
  for (const TChoiceCase& c : choices) {
    SCOPED_TRACE(static_cast<int>(c.action) * 100 + c.flash * 10 + c.verifyOnly);
    TLaunchChoice choice;
    choice.Action = c.action;
    choice.Flash = c.flash;
    choice.VerifyOnly = c.verifyOnly;
    choice.File = c.action == TJobAction::Read ? PathOf("dump.bin") : c.flash ? fw : WriteFile("immo.eep", Code(512));
    choice.Backup = c.backupOn;
    choice.BackupFolder = c.backupFolder;
    const TLaunch launch = PrepareLaunch(choice);
    EXPECT_EQ(launch.Request.Backup, c.backup);
    EXPECT_EQ(launch.Refused ? launch.Refusal.caption : "", c.result == kOk ? "" : ErrorCaption(c.result));
    if (launch.Refused) {
      EXPECT_NE(launch.Refusal.text.find(notAFolder), std::string::npos) << launch.Refusal.text;
    }
  }
  EXPECT_TRUE(std::filesystem::is_directory(folder / "kept" / "deeper")) << "made when needed";
  EXPECT_TRUE(std::filesystem::is_empty(folder / "kept" / "deeper")) << "the probe leaves nothing behind";

  // Restoring is an ordinary write of the backup: each size the job keeps passes the pre-flight.
  struct TRestoreCase {
    TEcuFamily family;
    bool flash;
    size_t size;
  };
  using F = TEcuFamily;
  const TRestoreCase restores[] = {
      {F::January5, true, kPageSize},      {F::January5, true, 2 * kPageSize}, {F::January5, false, 512},
      {F::Vs51, true, 2 * kPageSize},      {F::Vs51, false, 512},              {F::January72, true, kPageSize},
      {F::January72, false, 512},          {F::Mikas7, true, kPageSize},       {F::Mikas7, false, 512},
      {F::M797, true, 8 * kPageSize},      {F::M10, true, 8 * kPageSize},
  };
  for (const TRestoreCase& r : restores) {
    SCOPED_TRACE(std::string(EcuFamilyName(r.family)) + " " + std::to_string(r.size));
    const std::string backup = WriteFile("backup.bin", Bytes(r.size, 0xFF));
    const TPreflight p = Run(r.family, TJobAction::Write, r.flash, backup, r.size == 2 * kPageSize);
    EXPECT_EQ(p.Result, kOk) << p.RefusalUtf8;
  }
}

}  // namespace
}  // namespace quillorn::test
