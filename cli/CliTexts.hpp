#pragma once
// The command-line client's own words, in one place: what it says about a command line it
// cannot run, a port it cannot use and a comparison's outcome. A job's result speaks through
// jobs/ResultMessage instead. Texts with a name or number in them are kept as their fixed
// parts; the code puts the name between them.
#include <array>

namespace quillorn::cli_text {

// A command line that cannot run (exit 2), each printed as "quillorn: TEXT (справка: quillorn
// help)"; a word the user typed follows its text in «».
inline constexpr const char* kNoCommand = "не указано задание";
inline constexpr const char* kUnknownCommand = "неизвестное задание";
inline constexpr const char* kUnexpectedArgument = "лишнее слово в командной строке";
inline constexpr const char* kPortNeedsValue = "после --port укажите порт: COMn, путь к устройству или sim:<модель>";
inline constexpr const char* kEcuNeedsValue = "после --ecu укажите тип ЭБУ";
inline constexpr const char* kUnknownFamily = "неизвестный тип ЭБУ";
inline constexpr const char* kFamilyNames = "(january5, mikas7, vs51, january72, m797, m10)";
inline constexpr const char* kBaudNeedsValue = "после --baud укажите скорость в бит/с: целое число больше нуля";
inline constexpr const char* kTraceNeedsValue = "после --trace укажите файл журнала";
inline constexpr const char* kBackupDirNeedsValue = "после --backup-dir укажите папку";
inline constexpr const char* kOption = "ключ";
inline constexpr const char* kNotForCommand = "не подходит к заданию";
inline constexpr const char* kForCommand = "для задания";
inline constexpr const char* kNeedsPort = "укажите порт (--port)";
inline constexpr const char* kNeedsEcu = "укажите тип ЭБУ (--ecu)";
inline constexpr const char* kNeedsFile = "укажите файл";
inline constexpr const char* kNoEepromJobs = "заданий EEPROM нет у ЭБУ";
inline constexpr const char* kSeeHelp = "(справка: quillorn help)";

// A question the pre-flight asks while nobody can answer it.
inline constexpr const char* kNobodyToAsk =
    "спросить некого (нет терминала), задание не начато; --yes отвечает «да» на все вопросы";

// The port and the trace log, before the job starts (exit 1).
inline constexpr const char* kTraceNotWritable = "не удаётся записать файл журнала";
inline constexpr const char* kTraceWhatToDo = "укажите после --trace файл в папке, куда можно писать";
inline constexpr const char* kNoFreePortNumber = "не осталось свободного номера порта для";
inline constexpr const char* kCannotOpenPort = "не удаётся открыть порт";
inline constexpr const char* kPortError = "Ошибка порта:";
inline constexpr const char* kPortWord = "Коммуникационный порт";
inline constexpr const char* kPortBusy = "занят или отсутствует";
inline constexpr const char* kPortWhatToDo =
    "Укажите другой порт (список: quillorn ports) или закройте программу, которая его занимает.";
inline constexpr const char* kPortSettingsUnreadable = "не удалось прочитать настройки порта";
inline constexpr const char* kPortRefusedSpeed = "порт не принял скорость";
inline constexpr const char* kPortLineFormat = "бит/с и формат 8N2";

// `quillorn verify`'s two answers.
inline constexpr const char* kVerifyEqual = "Данные в ЭБУ совпадают с файлом.";
inline constexpr const char* kVerifyDiffers = "Данные в ЭБУ отличаются от файла.";

// Every text above, so that each can be looked up where the user reads about them.
inline constexpr std::array kAll{
    kNoCommand,        kUnknownCommand,      kUnexpectedArgument, kPortNeedsValue,  kEcuNeedsValue,
    kUnknownFamily,    kFamilyNames,         kBaudNeedsValue,     kTraceNeedsValue, kBackupDirNeedsValue,
    kOption,           kNotForCommand,       kForCommand,         kNeedsPort,       kNeedsEcu,
    kNeedsFile,        kNoEepromJobs,        kSeeHelp,            kNobodyToAsk,     kTraceNotWritable,
    kTraceWhatToDo,    kNoFreePortNumber,    kCannotOpenPort,     kPortError,       kPortWord,
    kPortBusy,         kPortWhatToDo,        kPortSettingsUnreadable, kPortRefusedSpeed, kPortLineFormat,
    kVerifyEqual,      kVerifyDiffers,
};

}  // namespace quillorn::cli_text
