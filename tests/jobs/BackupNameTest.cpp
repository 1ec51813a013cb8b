// The backup's name: when, which family, which firmware and which memory, safe on every file
// system, and never one already taken.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "jobs/Backup.hpp"
#include "jobs/Passport.hpp"
#include "tests/ProcessTempPath.hpp"

namespace quillorn::test {
namespace {

TEST(BackupName, SaysWhenWhichFamilyFirmwareAndMemoryAndTakesNoNameTwice) {
  std::tm t{};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 11;
  t.tm_mday = 8;
  t.tm_hour = 15;
  t.tm_min = 30;
  t.tm_sec = 12;
  struct TCase {
    TEcuFamily family;
    const char* version;
    const char* memory;
    const char* name;
  };
  const TCase cases[] = {
      {TEcuFamily::January5, "J5V05L05", "flash", "2026-12-08_153012_january5_J5V05L05_flash.bin"},
      {TEcuFamily::Vs51, "", "flash-dual", "2026-12-08_153012_vs51_flash-dual.bin"},
      {TEcuFamily::Mikas7, "\xCC\xE8\xEA\xE0\xF1 7.1/ \"a:b*\"", "flash", "2026-12-08_153012_mikas7_7.1_a_b_flash.bin"},
      {TEcuFamily::M10, "..\\..\\x", "flash", "2026-12-08_153012_m10_x_flash.bin"},
      {TEcuFamily::January72, "", "eeprom", "2026-12-08_153012_january72_eeprom.bin"},
  };
  for (const TCase& c : cases) EXPECT_EQ(BackupFileName(c.family, t, c.version, c.memory), c.name);

  const std::filesystem::path folder = ProcessTempPath("backup-names");
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const std::string dir = folder.string();
  const std::string first = UnusedPath(dir, "a_flash.bin");
  EXPECT_EQ(std::filesystem::path(first).filename(), "a_flash.bin");
  std::ofstream(first) << "kept";
  std::ofstream((folder / "a_flash_2.bin.part").string()) << "half";
  EXPECT_EQ(std::filesystem::path(UnusedPath(dir, "a_flash.bin")).filename(), "a_flash_3.bin");
  std::filesystem::remove_all(folder);
}

TEST(BackupName, TheVersionComesFromTheBackupsOwnPassport) {
  std::vector<uint8_t> page(65536, 0xFF);
  std::memcpy(&page[0x6020], "J5V05L05\0", 9);
  EXPECT_EQ(PassportVersionOfImage(TEcuFamily::January5, page), "J5V05L05");
  EXPECT_EQ(PassportVersionOfImage(TEcuFamily::Mikas7, page), "") << "erased flash where Микас keeps it";
  std::memcpy(&page[0x7FB0], "\x8C\x37\0", 3);  // "М7" in the OEM code page
  EXPECT_EQ(PassportVersionOfImage(TEcuFamily::Mikas7, page), "\xCC" "7");
  std::vector<uint8_t> banks(8 * 65536, 0xFF);
  const size_t block = 0x10000 + 0x190;
  std::memset(&banks[block], ' ', 200);
  std::memcpy(&banks[block + 4], "EURO", 4);
  std::memcpy(&banks[block + 4 + 118], "1037394113\0", 11);
  EXPECT_EQ(PassportVersionOfImage(TEcuFamily::M797, banks), "1037394113");
  EXPECT_EQ(PassportVersionOfImage(TEcuFamily::M797, page), "") << "an image too short for the block";
}

}  // namespace
}  // namespace quillorn::test
