#include "jobs/Passport.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

#include "platform/CodePage.hpp"
#include "platform/File.hpp"

namespace quillorn {

namespace {

constexpr uint8_t kBinaryImageFormat = 2;
constexpr uint8_t kFieldLength = 16;

// Where the three fields of the single-bank families lie, in the file and in bank 0 alike.
struct TPassportRow {
  uint32_t SoftwareVersion;
  uint32_t Date;
  uint32_t Engine;
};
constexpr TPassportRow kJanuaryRow{0x6020, 0x6030, 0x6040};
constexpr TPassportRow kMikasRow{0x7FB0, 0x8030, 0x8040};

struct TRowField {
  TPassportField Field;
  uint32_t Address;
};

std::array<TRowField, 3> FieldsOf(const TPassportRow& row) {
  return {{{TPassportField::SoftwareVersion, row.SoftwareVersion},
           {TPassportField::Date, row.Date},
           {TPassportField::Engine, row.Engine}}};
}

// The identification block of the eight-bank families, found by its "euro" marker.
constexpr uint8_t kEuroBank = 0x11;
constexpr uint32_t kEuroBlockAddress = 0x190;
constexpr size_t kEuroBlockSize = 144;
constexpr size_t kEuroReads = kEuroBlockSize / kFieldLength;
constexpr size_t kEuroSearchLimit = 50;
constexpr size_t kEuroTextSize = 174;  // room for the last field of a marker at 46
constexpr size_t kEuroDateOffset = 11;
constexpr size_t kEuroEngineOffset = 102;
constexpr size_t kEuroVersionOffset = 118;
constexpr int kEuroShortField = 10;

// Before a flash write: the fields as the image file holds them. One buffer serves the three
// fields, so after a short read the bytes not read keep the previous field's content.
void ShowFilePassport(const std::string& fileName, const TPassportRow& row, IJobReport& report) {
  TFile file(fileName, "rb");
  if (!file.IsOpen()) return;
  std::array<uint8_t, kFieldLength + 1> buffer{};
  for (const TRowField& field : FieldsOf(row)) {
    if (!SeekFileTo(file.Get(), field.Address)) return;
    if (std::fread(buffer.data(), 1, kFieldLength, file.Get()) == 0) return;
    report.ShowPassportField(field.Field, buffer.data(), kFieldLength);
  }
}

ResultCode ShowEcuPassport(TProtocol& driver, const TPassportRow& row, bool versionInOem) {
  IJobReport& report = *driver.Link.Report;
  std::array<uint8_t, kFieldLength + 1> buffer{};
  for (const TRowField& field : FieldsOf(row)) {
    if (ResultCode read = driver.ReadBlock(field.Address, buffer.data(), kFieldLength)) return read;
    if (versionInOem && field.Field == TPassportField::SoftwareVersion) {
      OemToAnsi(buffer.data(), buffer.data(), kFieldLength);
    }
    report.ShowPassportField(field.Field, buffer.data(), kFieldLength);
  }
  return kOk;
}

// Position of "euro" (any case) within the first 50 bytes of the block, or up to its first NUL
// when that comes earlier; -1 when it is not there.
int FindEuroMarker(const uint8_t* block) {
  const uint8_t* end = std::find(block, block + kEuroSearchLimit, 0);
  std::string text(block, end);
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const size_t found = text.find("euro");
  return found == std::string::npos ? -1 : static_cast<int>(found);
}

ResultCode ShowEuroPassport(TProtocol& driver) {
  driver.Link.BankByte = kEuroBank;
  std::array<uint8_t, kEuroBlockSize> block{};
  for (size_t i = 0; i < kEuroReads; ++i) {
    const uint32_t offset = static_cast<uint32_t>(i * kFieldLength);
    if (ResultCode read = driver.ReadBlock(kEuroBlockAddress + offset, block.data() + offset, kFieldLength)) {
      return read;
    }
  }
  // Positions past the block read as NUL, so a field running past it is cut there.
  std::array<uint8_t, kEuroTextSize> text{};
  OemToAnsi(block.data(), text.data(), kEuroBlockSize);
  const int marker = FindEuroMarker(block.data());
  if (marker < 0) return kOk;
  const size_t k = static_cast<size_t>(marker);
  IJobReport& report = *driver.Link.Report;
  report.ShowPassportField(TPassportField::SoftwareVersion, text.data() + k + kEuroVersionOffset, kEuroShortField);
  report.ShowPassportField(TPassportField::Date, text.data() + k + kEuroDateOffset, kEuroShortField);
  report.ShowPassportField(TPassportField::Engine, text.data() + k + kEuroEngineOffset, kFieldLength);
  return kOk;
}

}  // namespace

std::string PassportVersionOfImage(TEcuFamily family, const std::vector<uint8_t>& image) {
  if (IsEightBankFamily(family)) {
    const size_t block = size_t{kEuroBank - 0x10} * 0x10000 + kEuroBlockAddress;
    if (image.size() < block + kEuroBlockSize) return "";
    const int marker = FindEuroMarker(image.data() + block);
    if (marker < 0) return "";
    std::array<uint8_t, kEuroTextSize> text{};
    OemToAnsi(image.data() + block, text.data(), kEuroBlockSize);
    return PassportFieldText(text.data() + marker + kEuroVersionOffset, kEuroShortField);
  }
  const bool mikas = family == TEcuFamily::Mikas7;
  const uint32_t at = (mikas ? kMikasRow : kJanuaryRow).SoftwareVersion;
  if (image.size() < at + kFieldLength) return "";
  std::array<uint8_t, kFieldLength> field{};
  std::copy_n(image.begin() + at, kFieldLength, field.begin());
  // Erased flash (0xFF) is no version, whatever the code page makes of it.
  if (!IsPrintablePassport(field.data(), kFieldLength)) return "";
  if (mikas) OemToAnsi(field.data(), field.data(), kFieldLength);
  return PassportFieldText(field.data(), kFieldLength);
}

ResultCode ShowJobPassport(const TPassportJob& job, TProtocol& driver) {
  IJobReport& report = *driver.Link.Report;
  const bool mikas = job.JobKind == 2 || job.JobKind == 3;
  switch (job.JobKind) {
    case 0:
    case 2:
      if (job.IsFlashJob != 0) {
        report.ShowPassportCaption("Записываемая прошивка");
        if (job.FileFormat == kBinaryImageFormat) {
          ShowFilePassport(job.FileName, mikas ? kMikasRow : kJanuaryRow, report);
        }
        return kOk;
      }
      [[fallthrough]];
    case 1:
    case 3:
    case 4:
      driver.Link.MemorySpace = kFlashSpace;
      driver.Link.BankByte = 0;
      report.ShowPassportCaption(mikas ? "Считанная прошивка" : "Прошивка в контроллере");
      return ShowEcuPassport(driver, mikas ? kMikasRow : kJanuaryRow, mikas);
    case 5:
    case 6:
      driver.Link.MemorySpace = kFlashSpace;
      return ShowEuroPassport(driver);
    default:
      return kOk;
  }
}

}  // namespace quillorn
