#include "jobs/JobLaunch.hpp"

#include "jobs/Backup.hpp"
#include "platform/BackupFolder.hpp"
#include "platform/File.hpp"

namespace quillorn {

namespace {

constexpr const char* kClearOnlyJanuary = "Очистка EEPROM возможна только для ЭБУ Январь-5.x";
constexpr const char* kClearOnlyJanuaryCaption = "Ошибка";

TJobRequest RequestFor(const TLaunchChoice& c) {
  TJobRequest rq;
  rq.JobKind = JobKindFor(c.Family, c.Action);
  rq.IsFlashJob = c.Action != TJobAction::ClearEeprom && c.Flash ? 1 : 0;
  rq.FileName = c.File;
  rq.PortNumber = c.PortNumber;
  rq.SelectedBaud = c.Baud;
  rq.JobReplyTimeout = c.LongTimeout ? kLongReplyTimeoutMs : kReplyTimeoutMs;
  rq.Family = c.Family;
  rq.DualProg = c.DualProg;
  rq.SecondPage = c.SecondPage;
  rq.Verify = c.Verify;
  rq.VerifyOnly = c.VerifyOnly;
  rq.Backup = c.Backup && ChangesEcuMemory(rq);
  if (rq.Backup) rq.BackupFolder = c.BackupFolder.empty() ? DefaultBackupFolder() : c.BackupFolder;
  return rq;
}

TLaunch Refused(TLaunch launch, TResultMessage message) {
  launch.Refused = true;
  launch.Refusal = std::move(message);
  return launch;
}

}  // namespace

TLaunch PrepareLaunch(const TLaunchChoice& choice) {
  TLaunch launch;
  launch.Request = RequestFor(choice);
  if (choice.Action == TJobAction::ClearEeprom && choice.Family == TEcuFamily::Mikas7)
    return Refused(std::move(launch), {kClearOnlyJanuary, kClearOnlyJanuaryCaption, kBoxError});

  TPreflight preflight = PreflightJob(launch.Request);
  if (preflight.Result != kOk)
    return Refused(std::move(launch), MessageForJobResult(preflight.Result, preflight.RefusalUtf8));
  if (!preflight.TargetFile.empty()) launch.Request.FileName = preflight.TargetFile;
  launch.Request.Plan = std::move(preflight.Plan);
  launch.Request.PlanFormat = preflight.FileFormat;
  // Comparing without writing changes nothing: there is nothing to confirm.
  if (!choice.VerifyOnly) launch.Questions = std::move(preflight.Questions);
  return launch;
}

std::string TraceConflict(const TJobRequest& request, const std::string& traceFile) {
  if (traceFile.empty() || request.FileName.empty()) return "";
  const bool input = request.JobKind == kJobWrite || request.JobKind == kJobMikasWrite ||
                     request.JobKind == kJobBanksWrite || request.VerifyOnly;
  if (IsSameFile(traceFile, request.FileName))
    return std::string("файл журнала --trace совпадает с ") + (input ? "записываемым файлом" : "файлом для чтения") +
           ": выберите для журнала другое имя";
  if (!input && IsSameFile(traceFile, request.FileName + ".part"))
    return "файл журнала --trace совпадает с временным файлом чтения: выберите для журнала другое имя";
  return "";
}

}  // namespace quillorn
