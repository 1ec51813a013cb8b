#pragma once
// The identification job: asks the ECU's own diagnostic software who it is, family after
// family, each with its own protocol and line speed, and composes the report of the first
// family it recognises.
#include <cstdint>
#include <string>

#include "jobs/IdentReport.hpp"
#include "protocol/C509Pro.hpp"
#include "protocol/KW2000Pro.hpp"

namespace quillorn {

// Stage texts, in the order the job passes them.
inline constexpr const char* kStageLinkSetup = "Установка связи";
inline constexpr const char* kStageMikas7x = "Микас 7.1/7.2";
inline constexpr const char* kStageJanuary = "Январь/VS";
inline constexpr const char* kStageMikas76 = "Микас 7.6";

// The caption of the report's message box.
inline constexpr const char* kIdentReportCaption = "Данные диагностики";

// The drivers the job uses: the boot-loader driver opens the port and carries the Микас link
// (only its port and link state matter), the KWP 2000 driver the diagnostic session.
struct TIdentDrivers {
  TC509Pro& Loader;
  TKW2000Pro& Kwp;
};

// 0 when a report was composed or no family was recognised without a link failure, otherwise
// the failing step's code. The report is replaced only when a family is recognised.
ResultCode PerformIdentification(TIdentDrivers& drivers, uint8_t portNumber, TIdentReport& report);

struct TIdentOutcome {
  ResultCode result = kOk;
  std::string reportUtf8;  // the report as it stands at the end: a family's or the default text
};

// What a front end's job thread runs: the report preset with its default text, then the job.
// The front end shows MessageForIdentificationResult(outcome.result, outcome.reportUtf8).
TIdentOutcome RunIdentification(TIdentDrivers& drivers, uint8_t portNumber, TIdentReport& report);

}  // namespace quillorn
