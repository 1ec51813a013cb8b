#pragma once
// The command-line client's own words, in one place: what it says about a command line it
// cannot run, a port it cannot use and a comparison's outcome. A job's result speaks through
// jobs/ResultMessage instead. Texts with a name or number in them are kept as their fixed
// parts; the code puts the name between them.
#include <array>

namespace quillorn::cli_text {

// A command line that cannot run (exit 2), each printed as "quillorn: TEXT (see ...)".
inline constexpr const char* kNoCommand = "no command given";
inline constexpr const char* kUnknownCommand = "unknown command";
inline constexpr const char* kUnexpectedArgument = "unexpected argument";
inline constexpr const char* kPortNeedsValue = "--port needs a port: COMn, a device path or sim:<model>";
inline constexpr const char* kEcuNeedsValue = "--ecu needs a family";
inline constexpr const char* kUnknownFamily = "unknown ECU family";
inline constexpr const char* kFamilyNames = "(january5, mikas7, vs51, january72, m797, m10)";
inline constexpr const char* kBaudNeedsValue = "--baud needs a positive number of bit/s";
inline constexpr const char* kTraceNeedsValue = "--trace needs a file";
inline constexpr const char* kUnknownOption = "unknown option";
inline constexpr const char* kNeedsPort = "needs --port";
inline constexpr const char* kNeedsEcu = "needs --ecu";
inline constexpr const char* kNeedsFile = "needs a file";
inline constexpr const char* kNoEepromJobs = "the EEPROM jobs do not exist for";
inline constexpr const char* kSeeHelp = "(see \"quillorn help\")";

// A question the pre-flight asks while nobody can answer it.
inline constexpr const char* kNobodyToAsk =
    "спросить некого (нет терминала), задание не начато; --yes отвечает «да» на все вопросы";

// The port and the trace log, before the job starts (exit 1).
inline constexpr const char* kTraceNotWritable = "cannot write the trace file";
inline constexpr const char* kNoFreePortNumber = "no port number is free for";
inline constexpr const char* kCannotOpenPort = "cannot open the port";
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
    kNoCommand,        kUnknownCommand,   kUnexpectedArgument, kPortNeedsValue,         kEcuNeedsValue,
    kUnknownFamily,    kFamilyNames,      kBaudNeedsValue,     kTraceNeedsValue,        kUnknownOption,
    kNeedsPort,        kNeedsEcu,         kNeedsFile,          kNoEepromJobs,           kSeeHelp,
    kNobodyToAsk,      kTraceNotWritable, kNoFreePortNumber,   kCannotOpenPort,         kPortError,
    kPortWord,         kPortBusy,         kPortWhatToDo,       kPortSettingsUnreadable, kPortRefusedSpeed,
    kPortLineFormat,   kVerifyEqual,      kVerifyDiffers,
};

}  // namespace quillorn::cli_text
