#include "jobs/IdentReport.hpp"

#include <cstring>
#include <initializer_list>

#include "platform/CodePage.hpp"

namespace quillorn {

namespace {

constexpr size_t kMinIdentifierLength = 8;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool DigitsAt(const char* text, std::initializer_list<int> positions) {
  for (int position : positions)
    if (!IsDigit(text[position])) return false;
  return true;
}

bool LongEnough(const char* text) { return std::strlen(text) >= kMinIdentifierLength; }

std::string Separator() { return std::string(69, '-') + "\n\n"; }

struct TKwpItem {
  uint8_t option;
  const char* captionUtf8;
};

// Asks one KWP item and appends "caption", text, "\n"; nothing when the request fails.
void AppendKwpItem(TIdentReport& report, TKW2000Pro& kwp, const TKwpItem& item) {
  char text[kIdentTextSize] = {};
  if (!kwp.ReadEcuIdentification(item.option, text, sizeof text)) return;
  report.AppendText(item.captionUtf8);
  report.Append(text);
  report.Append("\n");
}

// Asks one Микас item and appends text, "\n  "; nothing when the request fails.
template <typename... Bytes>
void AppendMikasItem(TIdentReport& report, TMikasLink& mikas, Bytes... request) {
  char text[kIdentTextSize] = {};
  if (!mikas.MikasRequest(request..., text, sizeof text)) return;
  report.Append(text);
  report.Append("\n  ");
}

const char* HeaderOf(TKwpFamily family) {
  switch (family) {
    case TKwpFamily::January5: return "Контроллер: Январь-5.x\n";
    case TKwpFamily::January72: return "Контроллер: Январь-7.2\n";
    case TKwpFamily::Vs51: return "Контроллер: VS-5.1\n";
  }
  return "";
}

}  // namespace

std::string DefaultIdentReportUtf8() {
  return "Тип контроллера не определен, возможные причины:\n\n"
         " 1. Контроллер не поддерживается программатором.\n"
         " 2. Контроллер не подключен к разъему.\n"
         " 3. Не включено питание программатора.";
}

void TIdentReport::SetDefault() { ReplaceText(DefaultIdentReportUtf8()); }

void TIdentReport::Replace(const std::string& ansi) {
  text_.clear();
  Append(ansi);
}

void TIdentReport::Append(const std::string& ansi) {
  const size_t room = kIdentReportCapacity - text_.size();
  text_.append(ansi, 0, room);
}

void TIdentReport::ReplaceText(const std::string& utf8) { Replace(Utf8ToAnsi(utf8)); }
void TIdentReport::AppendText(const std::string& utf8) { Append(Utf8ToAnsi(utf8)); }

std::string TIdentReport::Utf8() const { return AnsiToUtf8(text_); }

bool IsJanuary5Id(const char* text) {
  return LongEnough(text) && text[0] == 'J' && text[1] == '5' && DigitsAt(text, {3, 4});
}

bool IsJanuary72Id(const char* text) {
  return LongEnough(text) && (text[0] == 'I' || text[0] == 'A') && text[1] == '2' && DigitsAt(text, {2, 3, 6, 7});
}

bool IsVs51Id(const char* text) {
  return LongEnough(text) && text[0] == 'V' && text[1] == '5' && DigitsAt(text, {3, 4});
}

bool RecogniseKwpFamily(const char* identifier, TKwpFamily& family) {
  if (IsJanuary5Id(identifier)) {
    family = TKwpFamily::January5;
  } else if (IsJanuary72Id(identifier)) {
    family = TKwpFamily::January72;
  } else if (IsVs51Id(identifier)) {
    family = TKwpFamily::Vs51;
  } else {
    return false;
  }
  return true;
}

bool IsMikas76SoftwareCode(const char* text) { return std::strcmp(text, "MIKAS 7.6") == 0; }

bool IsMikas7xId(const char* ansiText) { return Utf8ToAnsi("МИКАС-7         ") == ansiText; }

void ComposeJanuaryReport(TIdentReport& report, TKW2000Pro& kwp, TKwpFamily header, const char* identifier) {
  report.ReplaceText(HeaderOf(header));
  report.Append(Separator());
  report.AppendText("Идентификатор прошивки: ");
  report.Append(identifier);
  report.Append("\n");
  static const TKwpItem items[] = {
      {0x91, "Заводской номер: "},
      {0x92, "Код контроллера: "},
      {0x94, "Код программного обеспечения: "},
      {0x97, "Система и тип двигателя: "},
      {0x99, "Дата подготовки прошивки ПЗУ: "},
  };
  for (const TKwpItem& item : items) AppendKwpItem(report, kwp, item);
}

void ComposeMikas76Report(TIdentReport& report, TKW2000Pro& kwp) {
  report.ReplaceText("Контроллер: Микас-7.6\n");
  report.Append(Separator());
  static const TKwpItem items[] = {
      {0x91, "Заводской номер: "},
      {0x92, "Код контроллера: "},
      {0x93, "Код программного обеспечения: "},
      {0x94, "Система и тип двигателя: "},
      {0x95, "Код для запасных частей: "},
      {0x97, "Дата подготовки прошивки ПЗУ: "},
      {0x98, "Идентификационые данные: "},
      {0x99, "Версия блока управления: "},
      {0x9A, "Версия программы: "},
  };
  for (const TKwpItem& item : items) AppendKwpItem(report, kwp, item);
}

void ComposeMikas7xReport(TIdentReport& report, TMikasLink& mikas, const char* identifier) {
  if (!IsMikas7xId(identifier)) return;
  report.ReplaceText("Контроллер: Микас-7.1 / Микас-7.2\n");
  report.Append(Separator());
  report.AppendText("Паспорт программы:\n  ");
  report.Append(identifier);
  report.Append("\n  ");
  AppendMikasItem(report, mikas, uint8_t{0x52});
  AppendMikasItem(report, mikas, uint8_t{0x53});
  report.AppendText("\nПаспорт регулировок:\n  ");
  for (uint8_t request = 0x54; request <= 0x58; ++request) AppendMikasItem(report, mikas, request);
  report.AppendText("\nПаспорт блока управления:\n  ");
  for (uint8_t second = 0x74; second <= 0x76; ++second) AppendMikasItem(report, mikas, uint8_t{0x61}, second);
}

}  // namespace quillorn
