#include "jobs/PreFlight.hpp"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "image/HexReader.hpp"
#include "jobs/Backup.hpp"
#include "jobs/FlashJob.hpp"
#include "platform/File.hpp"
#include "report/Quoted.hpp"

namespace quillorn {

namespace {

constexpr uint8_t kFirstBoschBank = 0x10;
constexpr uint8_t kProgramCodeFirstByte = 0x02;
constexpr const char* kNotProgramCode = "Скорее всего, файл не является кодом программы ЭБУ.\nПрограммировать flash память?";
constexpr const char* kAttention = "Внимание!";

bool IsWriteKind(uint8_t kind) { return kind == kJobWrite || kind == kJobMikasWrite || kind == kJobBanksWrite; }
bool IsReadKind(uint8_t kind) { return kind == kJobRead || kind == kJobMikasRead || kind == kJobBanksRead; }

std::string Hex(uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, value);
  return text;
}

const char* FamilyTitle(TEcuFamily family) {
  switch (family) {
    case TEcuFamily::January5: return "Январь 5.x / Микас-7.6";
    case TEcuFamily::Mikas7: return "Микас 7.1 / 7.2";
    case TEcuFamily::Vs51: return "VS 5.1";
    case TEcuFamily::January72: return "Январь 7.2";
    case TEcuFamily::M797: return "Bosch M7.9.7";
    case TEcuFamily::M10: return "M10 / Микас 10";
  }
  return "";
}

TPreflight Refuse(ResultCode code, std::string text) {
  TPreflight p;
  p.Result = code;
  p.RefusalUtf8 = std::move(text);
  return p;
}

// What the family's memory accepts, in the file's own address terms.
std::string ExpectedAddresses(const TJobRequest& rq, const TJobWindow& w) {
  if (w.IsEeprom)
    return Hex(w.FirstAddress, 4) + "–" + Hex(w.FirstAddress + w.BankBytes - 1, 4) + " (EEPROM, " +
           GroupedCount(w.BankBytes) + " байт)";
  const uint32_t first = uint32_t{w.FirstBank} << 16, last = (uint32_t{w.LastBank} << 16) | 0xFFFF;
  if (IsEightBankFamily(rq.Family)) return Hex(first, 6) + "–" + Hex(last, 6) + " (банки 0x10–0x17)";
  if (w.LastBank == 0) return Hex(first, 4) + "–" + Hex(last & 0xFFFF, 4) + " (одна страница flash)";
  return Hex(first, 6) + "–" + Hex(last, 6) + " (страницы 0 и 1)";
}

bool InsideWindow(const TJobWindow& w, uint8_t bank, uint32_t address) {
  return bank >= w.FirstBank && bank <= w.LastBank && address >= w.FirstAddress &&
         address < w.FirstAddress + w.BankBytes;
}

// ---- hex files ---------------------------------------------------------------------------

TPreflight PlanHexFile(const TJobRequest& rq, std::FILE* file) {
  const TJobWindow w = JobWindowOf(rq);
  const std::string name = Quoted(rq.FileName);
  auto plan = std::make_shared<TJobPlan>();
  THexReader reader(file);
  THexRecord record;
  for (uint32_t line = 1;; ++line) {
    const ResultCode read = reader.Next(record);
    if (read == kFileOpenFailed) return Refuse(kFileOpenFailed, "Файл " + name + " не читается.");
    if (read != kOk)
      return Refuse(kFileDamaged, "Файл " + name + " испорчен: строка " + std::to_string(line) +
                                      " не является верной записью (формат, длина или контрольная сумма).");
    if (record.Kind == THexRecordKind::End) break;
    if (record.Kind != THexRecordKind::Data) continue;
    for (const THexPiece& piece : SplitHexRecord(record)) {
      for (uint32_t i = 0; i < piece.Count; ++i) {
        const uint32_t address = piece.Address + i;
        const uint32_t fileAddress = (uint32_t{piece.Bank} << 16) | address;
        if (!InsideWindow(w, piece.Bank, address))
          return Refuse(kFileDoesNotFit, "Файл " + name + ": адрес " + Hex(fileAddress, 6) + " (строка " +
                                             std::to_string(line) + ") вне памяти ЭБУ " + FamilyTitle(rq.Family) +
                                             ". Ожидаются адреса " + ExpectedAddresses(rq, w) + ".");
        if (!plan->Put(piece.Bank, address, record.Data[piece.Offset + i]))
          return Refuse(kFileDoesNotFit, "Файл " + name + ": адрес " + Hex(fileAddress, 6) + " записывается дважды (строка " +
                                             std::to_string(line) + "). Каждый байт памяти можно записать только один раз.");
      }
    }
  }
  if (plan->IsEmpty())
    return Refuse(kFileDoesNotFit, "Файл " + name + " не содержит данных для записи: в нём нет ни одной записи с данными.");
  TPreflight p;
  p.Plan = std::move(plan);
  p.FileFormat = kFormatHex;
  return p;
}

// ---- binary images -----------------------------------------------------------------------

// Lays the image into the pages or banks the job writes it to.
std::shared_ptr<TJobPlan> PlanBinaryImage(const TJobRequest& rq, const std::vector<uint8_t>& image) {
  auto plan = std::make_shared<TJobPlan>();
  const TJobWindow w = JobWindowOf(rq);
  const auto size = static_cast<uint32_t>(image.size());
  if (w.IsEeprom) {
    plan->PutBlock(0, w.FirstAddress, image.data(), size);
    return plan;
  }
  for (uint32_t offset = 0; offset < size; offset += kPageSize) {
    const auto bank = static_cast<uint8_t>(w.FirstBank + offset / kPageSize);
    plan->PutBlock(bank, 0, image.data() + offset, std::min(kPageSize, size - offset));
  }
  if (rq.SecondPage && !rq.DualProg && rq.JobKind == kJobWrite) plan->PutBlock(1, 0, image.data(), size);
  return plan;
}

TPreflight PlanBinaryFile(const TJobRequest& rq, std::FILE* file, uint64_t length) {
  const TJobWindow w = JobWindowOf(rq);
  const std::string name = Quoted(rq.FileName);
  const char* memory = w.IsEeprom ? "EEPROM" : "flash памяти";
  if (length == 0) return Refuse(kFileOpenFailed, "Файл " + name + " пуст.");
  if (length > w.ImageBytes)
    return Refuse(kFileDoesNotFit, "Файл " + name + " больше " + memory + " задания: " + GroupedCount(length) +
                                       " байт, а помещается " + GroupedCount(w.ImageBytes) + " байт (" +
                                       FamilyTitle(rq.Family) + (rq.DualProg ? ", двойной образ" : "") + ").");
  std::vector<uint8_t> image(static_cast<size_t>(length));
  if (std::fread(image.data(), 1, image.size(), file) != image.size())
    return Refuse(kFileOpenFailed, "Файл " + name + " не читается до конца.");

  TPreflight p;
  p.Plan = PlanBinaryImage(rq, image);
  p.FileFormat = kFormatBinary;
  if (!w.IsEeprom && !IsEightBankFamily(rq.Family) && image[0] != kProgramCodeFirstByte)
    p.Questions.push_back({kNotProgramCode, kAttention});
  if (length < w.ImageBytes) {
    const std::string rest = GroupedCount(w.ImageBytes - length);
    const std::string fate = w.IsEeprom ? " байт EEPROM останутся прежними." : " байт flash памяти останутся стёртыми (0xFF).";
    p.Questions.push_back({"Файл " + name + " меньше " + (w.IsEeprom ? "EEPROM" : "памяти задания") + ": " +
                               GroupedCount(length) + " байт из " + GroupedCount(w.ImageBytes) + ". Остальные " + rest +
                               fate + "\nЗаписать файл?",
                           kAttention});
  }
  return p;
}

// ---- the files ---------------------------------------------------------------------------

TPreflight CheckInput(const TJobRequest& rq) {
  const std::string name = Quoted(rq.FileName);
  switch (FileKindOf(rq.FileName)) {
    case TFileKind::Missing: return Refuse(kFileOpenFailed, "Файл " + name + " не найден.");
    case TFileKind::Directory: return Refuse(kFileOpenFailed, name + " — это папка, а не файл.");
    case TFileKind::Other:
      return Refuse(kFileOpenFailed, name + " — не обычный файл (устройство или канал). Выберите файл образа.");
    case TFileKind::Regular: break;
  }
  TFile file(rq.FileName, "rb");
  uint64_t length = 0;
  if (!file.IsOpen() || !GetFileLength(rq.FileName, length)) return Refuse(kFileOpenFailed, "Файл " + name + " не открывается.");
  const bool hexByName = OwnFileName(rq.FileName).find(".hex") != std::string::npos;
  const bool hex = LooksLikeHexText(file.Get());
  if (!SeekFileTo(file.Get(), 0)) return Refuse(kFileOpenFailed, "Файл " + name + " не читается.");
  if (hex) return PlanHexFile(rq, file.Get());
  if (hexByName && length > 0)
    return Refuse(kFileDamaged, "Файл " + name + " назван как hex-файл, но не содержит записей S-record или Intel HEX.");
  return PlanBinaryFile(rq, file.Get(), length);
}

TPreflight CheckTarget(const TJobRequest& rq) {
  const std::string name = Quoted(rq.FileName);
  const TFileKind kind = FileKindOf(rq.FileName);
  if (kind == TFileKind::Directory) return Refuse(kFileWriteFailed, name + " — это папка; укажите имя файла.");
  if (kind == TFileKind::Other)
    return Refuse(kFileWriteFailed, name + " — не обычный файл (устройство или канал); его нельзя заменить файлом.");
  TPreflight p;
  p.TargetFile = ResolvedPath(rq.FileName);
  // Creating the partial file proves that the folder exists and takes new files.
  const std::string part = p.TargetFile + ".part";
  const bool partExisted = FileKindOf(part) != TFileKind::Missing;
  TFile probe(part, "ab");
  if (!probe.IsOpen())
    return Refuse(kFileWriteFailed, "В папку файла " + name + " нельзя записать: папки нет или нет прав на запись.");
  probe.Close();
  if (!partExisted) RemoveFileUtf8(part);
  return p;
}

TPreflight PlanClear(const TJobRequest& rq) {
  TPreflight p;
  auto plan = std::make_shared<TJobPlan>();
  const std::vector<uint8_t> erased(kEepromSize, 0xFF);
  plan->PutBlock(0, EepromAddressOf(rq.Family), erased.data(), kEepromSize);
  p.Plan = std::move(plan);
  return p;
}

}  // namespace

TJobWindow JobWindowOf(const TJobRequest& rq) {
  TJobWindow w;
  if (rq.IsFlashJob == 0 || rq.JobKind == kJobClearEeprom) {
    w.IsEeprom = true;
    w.FirstAddress = EepromAddressOf(rq.Family);
    w.BankBytes = w.ImageBytes = kEepromSize;
  } else if (IsEightBankFamily(rq.Family)) {
    w.FirstBank = kFirstBoschBank;
    w.LastBank = kFirstBoschBank + 7;
    w.ImageBytes = 8 * kPageSize;
  } else if (rq.Family == TEcuFamily::Mikas7) {
    w.ImageBytes = kPageSize;  // its bootstrap has one page and ignores the bank byte
  } else {
    w.LastBank = 1;
    w.ImageBytes = rq.DualProg ? 2 * kPageSize : kPageSize;
  }
  return w;
}

std::string DescribeJobAddress(const TJobRequest& rq, uint8_t bank, uint32_t address) {
  const TJobWindow w = JobWindowOf(rq);
  if (w.IsEeprom) return "EEPROM, адрес " + Hex(address, 4);
  if (IsEightBankFamily(rq.Family)) return "банк " + Hex(bank, 2) + ", адрес " + Hex(address, 4);
  return "страница " + std::to_string(bank) + ", адрес " + Hex(address, 4);
}

bool LooksLikeHexText(std::FILE* file) {
  // The first line's shape decides, not its soundness: a damaged first record still makes a
  // hex file, refused as damaged with its line named.
  std::string line;
  for (int c = std::fgetc(file); c != EOF && c != '\n' && line.size() < 600; c = std::fgetc(file))
    line.push_back(static_cast<char>(c));
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
  const auto hexDigits = [&](size_t from) {
    return std::all_of(line.begin() + static_cast<std::ptrdiff_t>(from), line.end(),
                       [](unsigned char c) { return std::isxdigit(c) != 0; });
  };
  if (line.size() >= 4 && line[0] == 'S' && std::isdigit(static_cast<unsigned char>(line[1]))) return hexDigits(2);
  return line.size() >= 11 && line[0] == ':' && hexDigits(1);
}

std::string OwnFileName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
  return name;
}

std::string GroupedCount(uint64_t count) {
  std::string digits = std::to_string(count), grouped;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i != 0 && (digits.size() - i) % 3 == 0) grouped += ' ';
    grouped += digits[i];
  }
  return grouped;
}

namespace {

TPreflight PreflightFiles(const TJobRequest& rq) {
  if (rq.JobKind == kJobClearEeprom) return PlanClear(rq);
  if (IsReadKind(rq.JobKind) && !rq.VerifyOnly) return CheckTarget(rq);
  if (!IsWriteKind(rq.JobKind) && !rq.VerifyOnly) return TPreflight{};
  if (rq.Family == TEcuFamily::Mikas7 && rq.IsFlashJob == 1 && (rq.DualProg || rq.SecondPage))
    return Refuse(kFileDoesNotFit, "Файл " + Quoted(rq.FileName) + " не записан: у ЭБУ Микас 7.1 / 7.2 одна страница "
                                   "flash памяти, двойной образ и копия во вторую страницу невозможны.");
  if (IsEightBankFamily(rq.Family) && rq.IsFlashJob == 0)
    return Refuse(kFileDoesNotFit, "Файл " + Quoted(rq.FileName) + " не записан: для ЭБУ " +
                                       std::string(FamilyTitle(rq.Family)) + " задания с EEPROM не предусмотрены.");
  return CheckInput(rq);
}

}  // namespace

TPreflight PreflightJob(const TJobRequest& rq) {
  TPreflight p = PreflightFiles(rq);
  if (p.Result != kOk || !rq.Backup || !ChangesEcuMemory(rq)) return p;
  // The backup's folder is proven like a read's target: a job that could not keep the memory
  // must not reach the ECU only to stop there.
  if (std::string why = CheckBackupFolder(rq.BackupFolder); !why.empty()) return Refuse(kBackupFailed, std::move(why));
  return p;
}

}  // namespace quillorn
