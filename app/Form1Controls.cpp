#include "app/Form1Controls.hpp"

#include "app/Form1.hpp"
#include "QuillornVersion.hpp"

namespace quillorn {

namespace {

constexpr TFontSpec kFormFont{};
constexpr TFontSpec kWebFont{"MS Sans Serif", -12, true, kColourNavy};
constexpr TFontSpec kPassportFont{"MS Sans Serif", -12, false, kColourLime};
// The maker's notice with the program version.
constexpr const char* kCopyrightText = "Quillorn " QUILLORN_VERSION " \u00A9 Orvik, 2026";

// Places are relative to the parent: the group box ECU for the family buttons, the panel
// Passport for the passport fields and their captions, the window for the rest.
const TControlSpec kControls[kControlCount] = {
    {TControlId::ReadECU, "ReadECU", TControlKind::Button, "Чтение ЭБУ", {208, 124, 153, 22}, TControlId::Form, 0, true, true, false,
     kFormFont, kColourSystem, kStyleNone, "ReadECUClick", &TForm1::ReadECUClick, nullptr},
    {TControlId::WriteECU, "WriteECU", TControlKind::Button, "Программирование ЭБУ", {208, 100, 153, 22}, TControlId::Form, 1, true, true, false,
     kFormFont, kColourSystem, kStyleNone, "WriteECUClick", &TForm1::WriteECUClick, nullptr},
    {TControlId::StatusBar, "StatusBar", TControlKind::StatusBar, "", {0, 324, 385, 19}, TControlId::Form, 2, true, true, false,
     kFormFont, kColourSystem, kStyleNoSizeGrip, "", nullptr, nullptr},
    {TControlId::Progress, "Progress", TControlKind::ProgressBar, "", {0, 314, 385, 10}, TControlId::Form, 3, true, true, false,
     kFormFont, kColourSystem, kStyleDockedBottom, "", nullptr, nullptr},
    {TControlId::OpenDialog, "OpenDialog", TControlKind::OpenDialog, "Загрузить файл", {0, 0, 0, 0}, TControlId::Form, -1, false, true, false,
     kFormFont, kColourSystem, kStyleNone, "", nullptr, nullptr},
    {TControlId::SaveDialog, "SaveDialog", TControlKind::SaveDialog, "Сохранить в файле", {0, 0, 0, 0}, TControlId::Form, -1, false, true, false,
     kFormFont, kColourSystem, kStyleNone, "", nullptr, nullptr},
    {TControlId::ECU, "ECU", TControlKind::GroupBox, "Контроллер", {24, 8, 337, 57}, TControlId::Form, 4, true, true, false,
     kFormFont, kColourSystem, kStyleNone, "", nullptr, nullptr},
    {TControlId::January, "January", TControlKind::RadioButton, "Январь 5.x / Микас-7.6", {8, 16, 145, 17}, TControlId::ECU, 0, true, true, true,
     kFormFont, kColourSystem, kStyleNone, "JanuaryClick", &TForm1::JanuaryClick, nullptr},
    {TControlId::Mikas, "Mikas", TControlKind::RadioButton, "Микас 7.1 / 7.2", {184, 16, 97, 17}, TControlId::ECU, 2, true, true, false,
     kFormFont, kColourSystem, kStyleNone, "MikasClick", &TForm1::MikasClick, nullptr},
    {TControlId::ExitButton, "ExitButton", TControlKind::Button, "Выход", {288, 284, 73, 22}, TControlId::Form, 5, true, true, false,
     kFormFont, kColourSystem, kStyleNone, "ExitButtonClick", &TForm1::ExitButtonClick, nullptr},
    {TControlId::Copyright, "Copyright", TControlKind::Label, kCopyrightText, {64, 280, 217, 17}, TControlId::Form, -1, true, true, false,
     kFormFont, kColourSystem, kStyleFixedSize, "", nullptr, nullptr},
    {TControlId::DualProg, "DualProg", TControlKind::CheckBox, "Сдвоенная прошивка", {24, 168, 209, 17}, TControlId::Form, 6, true, true, false,
     kFormFont, kColourSystem, kStyleNone, "DualProgClick", &TForm1::DualProgClick, nullptr},
    {TControlId::DeImmo, "DeImmo", TControlKind::Button, "Очистка EEPROM", {240, 200, 121, 22}, TControlId::Form, 7, true, true, false,
     kFormFont, kColourSystem, kStyleNone, "DeImmoClick", &TForm1::DeImmoClick, nullptr},
    {TControlId::CheckStatusTimer, "CheckStatusTimer", TControlKind::Timer, "", {0, 0, 0, 0}, TControlId::Form, -1, false, false, false,
     kFormFont, kColourSystem, kStyleNone, "CheckStatusTimerTimer", nullptr, nullptr},
    {TControlId::WebAddress, "WebAddress", TControlKind::Label, kWebAddress, {64, 296, 217, 13}, TControlId::Form, -1, true, true, false,
     kWebFont, kColourSystem, kStyleHandCursor, "WebAddressClick, WebAddressMouseMove", &TForm1::WebAddressClick, nullptr},
    {TControlId::LongTimeout, "LongTimeout", TControlKind::CheckBox, "Увеличить таймаут", {24, 200, 121, 17}, TControlId::Form, 8, false, true, false,
     kFormFont, kColourSystem, kStyleNone, "LongTimeoutClick", &TForm1::LongTimeoutClick, nullptr},
    {TControlId::ReadEEPROM, "ReadEEPROM", TControlKind::Button, "Чтение EEPROM", {240, 176, 121, 22}, TControlId::Form, 9, true, true, false,
     kFormFont, kColourSystem, kStyleNone, "ReadEEPROMClick", &TForm1::ReadEEPROMClick, nullptr},
    {TControlId::WriteEEPROM, "WriteEEPROM", TControlKind::Button, "Запись EEPROM", {240, 152, 121, 22}, TControlId::Form, 10, true, true, false,
     kFormFont, kColourSystem, kStyleNone, "WriteEEPROMClick", &TForm1::WriteEEPROMClick, nullptr},
    {TControlId::Passport, "Passport", TControlKind::Panel, "", {24, 232, 337, 44}, TControlId::Form, 11, true, true, false,
     kFormFont, kColourSystem, kStyleBevelRaisedLowered, "", nullptr, nullptr},
    {TControlId::SWid, "SWid", TControlKind::Edit, "", {8, 18, 97, 19}, TControlId::Passport, 0, true, true, false,
     kPassportFont, kColourGrey, kStyleReadOnlyFlat | kStyleOemConvert, "SWidClick", &TForm1::SWidClick, nullptr},
    {TControlId::Date, "Date", TControlKind::Edit, "", {112, 18, 105, 19}, TControlId::Passport, 1, true, true, false,
     kPassportFont, kColourGrey, kStyleReadOnlyFlat, "DateDblClick", nullptr, nullptr},
    {TControlId::Engine, "Engine", TControlKind::Edit, "", {224, 18, 105, 19}, TControlId::Passport, 2, true, true, false,
     kPassportFont, kColourGrey, kStyleReadOnlyFlat, "EngineDblClick", nullptr, nullptr},
    {TControlId::Passport1, "Passport1", TControlKind::Label, "Версия ПО", {8, 4, 97, 13}, TControlId::Passport, -1, true, true, false,
     kFormFont, kColourSystem, kStyleTransparent, "", nullptr, nullptr},
    {TControlId::Passport2, "Passport2", TControlKind::Label, "Дата", {112, 4, 105, 13}, TControlId::Passport, -1, true, true, false,
     kFormFont, kColourSystem, kStyleTransparent, "", nullptr, nullptr},
    {TControlId::Passport3, "Passport3", TControlKind::Label, "Двигатель", {224, 4, 105, 13}, TControlId::Passport, -1, true, true, false,
     kFormFont, kColourSystem, kStyleTransparent, "", nullptr, nullptr},
    {TControlId::VS51, "VS51", TControlKind::RadioButton, "VS 5.1", {8, 32, 81, 17}, TControlId::ECU, 1, true, true, false,
     kFormFont, kColourSystem, kStyleNone, "VS51Click", &TForm1::VS51Click, nullptr},
    {TControlId::M797, "M797", TControlKind::RadioButton, "Bosch M7.9.7", {16, 44, 89, 17}, TControlId::ECU, 4, false, true, false,
     kFormFont, kColourSystem, kStyleNone, "M797Click", &TForm1::M797Click, nullptr},
    {TControlId::BaudList, "BaudList", TControlKind::ComboBox, "", {24, 136, 89, 21}, TControlId::Form, 12, true, true, false,
     kFormFont, kColourSystem, kStyleNone, "BaudListChange", &TForm1::BaudListChange, "57600\n38400\n19200\n9600"},
    {TControlId::Label1, "Label1", TControlKind::Label, "Скорость, бит/с", {32, 120, 89, 17}, TControlId::Form, -1, true, true, false,
     kFormFont, kColourSystem, kStyleNone, "", nullptr, nullptr},
    {TControlId::January72, "January72", TControlKind::RadioButton, "Январь 7.2", {184, 32, 97, 17}, TControlId::ECU, 3, true, true, false,
     kFormFont, kColourSystem, kStyleNone, "January72Click", &TForm1::January72Click, nullptr},
    {TControlId::SecondPage, "SecondPage", TControlKind::CheckBox, "Дублировать во вторую страницу", {24, 184, 209, 17}, TControlId::Form, 13, true, true, false,
     kFormFont, kColourSystem, kStyleNone, "", nullptr, nullptr},
    {TControlId::DeviceType, "DeviceType", TControlKind::Label, "", {24, 280, 33, 13}, TControlId::Form, -1, true, true, false,
     kFormFont, kColourSystem, kStyleFixedSize, "", nullptr, nullptr},
    {TControlId::PassportText, "PassportText", TControlKind::Label, "", {32, 216, 201, 13}, TControlId::Form, -1, true, true, false,
     kFormFont, kColourSystem, kStyleFixedSize, "", nullptr, nullptr},
    {TControlId::M10, "M10", TControlKind::RadioButton, "M10 / Микас 10", {128, 44, 113, 17}, TControlId::ECU, 5, false, true, false,
     kFormFont, kColourSystem, kStyleNone, "M10Click", &TForm1::M10Click, nullptr},
    {TControlId::Ident, "Ident", TControlKind::Button, "Идентификация", {240, 72, 121, 22}, TControlId::Form, 14, true, false, false,
     kFormFont, kColourSystem, kStyleNone, "IdentClick", &TForm1::IdentClick, nullptr},
    {TControlId::Avtron, "Avtron", TControlKind::RadioButton, "Автрон", {72, 44, 57, 17}, TControlId::ECU, 6, false, true, false,
     kFormFont, kColourSystem, kStyleNone, "AvtronClick", &TForm1::AvtronClick, nullptr},
    {TControlId::MP70, "MP70", TControlKind::RadioButton, "Bosch MP70", {176, 44, 81, 17}, TControlId::ECU, 7, false, true, false,
     kFormFont, kColourSystem, kStyleNone, "MP70Click", &TForm1::MP70Click, nullptr},
    {TControlId::ComSelector, "ComSelector", TControlKind::ComboBox, "", {24, 96, 89, 21}, TControlId::Form, 15, true, true, false,
     kFormFont, kColourSystem, kStyleNone, "ComSelectorChange", &TForm1::ComSelectorChange, ""},
    {TControlId::Label2, "Label2", TControlKind::Label, "Порт связи", {32, 80, 58, 13}, TControlId::Form, -1, true, true, false,
     kFormFont, kColourSystem, kStyleNone, "", nullptr, nullptr},
};

constexpr TFileDialogSpec kOpenDialog{
    TControlId::OpenDialog, "Загрузить файл",
    "Формат Motorola (*.hex)|*.hex|Бинарный формат (*.abs,*.bin)|*.abs;*.bin|Образ eeprom (*.eep)|*.eep|Все файлы|*.*",
    2, "*.hex;*.abs;*.bin;*.eep", false};
constexpr TFileDialogSpec kSaveDialog{
    TControlId::SaveDialog, "Сохранить в файле",
    "Бинарный файл (*.bin,*.abs)|*.bin;*.abs;|Образ EEPROM (*.eep)|*.eep;", 1, "*.bin;*.abs;*.eep", true};

}  // namespace

std::span<const TControlSpec> ControlTable() { return kControls; }

const TControlSpec& ControlSpec(TControlId id) { return kControls[IndexOf(id)]; }

const TFileDialogSpec& OpenDialogSpec() { return kOpenDialog; }
const TFileDialogSpec& SaveDialogSpec() { return kSaveDialog; }

}  // namespace quillorn
