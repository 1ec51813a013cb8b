#include "jobs/ResultMessage.hpp"

#include <cstdio>

namespace quillorn {

std::string ErrorCaption(ResultCode result) {
  char caption[24];
  std::snprintf(caption, sizeof caption, "Error 0x%02X", static_cast<unsigned>(result));
  return caption;
}

namespace {

TResultMessage MessageForCode(ResultCode result) {
  switch (result) {
    case kOk: return {"Операция успешно завершена.", "", kBoxPlain};
    case kAborted: return {"Операция прервана.", "", kBoxInformation};
    case kNoProgrammer: return {"Программатор не подключен или не включено питание.", ErrorCaption(result), kBoxError};
    // Both EEPROM failures are the chip's own answer, not the cable's: an EEPROM that stays
    // silent is most often one on other lines than the chosen family's.
    case kMemoryWriteFailed:
      return {"Ошибка записи в EEPROM: EEPROM не отвечает или записанное не совпадает. Проверьте, правильно ли выбран "
              "тип ЭБУ.",
              ErrorCaption(result), kBoxError};
    case kEepromNoAnswer:
      return {"EEPROM не отвечает. Проверьте, правильно ли выбран тип ЭБУ.", ErrorCaption(result), kBoxError};
    case kFlashWriteFailed: return {"Ошибка записи во flash пямять.", ErrorCaption(result), kBoxError};
    case kEraseFailed: return {"Ошибка стирания flash пямяти.", ErrorCaption(result), kBoxError};
    case kFileOpenFailed: return {"Ошибка открытия файла.", ErrorCaption(result), kBoxError};
    case kFileWriteFailed: return {"Ошибка записи в файл.", ErrorCaption(result), kBoxError};
    case kFileDamaged: return {"Загружаемый файл испорчен.", ErrorCaption(result), kBoxError};
    case kFileDoesNotFit:
      return {"Файл не подходит для выбранного ЭБУ и задания. ЭБУ не затронут.", ErrorCaption(result), kBoxError};
    case kBackupFailed:
      return {"Резервная копия памяти ЭБУ не сделана, поэтому запись не начиналась. ЭБУ не затронут.",
              ErrorCaption(result), kBoxError};
    case kVerifyMismatch:
      return {"Данные в памяти ЭБУ не совпадают с файлом. Повторите запись; если ошибка повторится, проверьте кабель "
              "и питание ЭБУ.",
              ErrorCaption(result), kBoxError};
    default:
      return {"Ошибка связи с контроллером. Проверьте правильность подключения кабеля и выбранного контроллера.",
              ErrorCaption(result), kBoxError};
  }
}

}  // namespace

TResultMessage MessageForJobResult(ResultCode result, const std::string& detailUtf8) {
  TResultMessage message = MessageForCode(result);
  if (result != kOk && result != kAborted && !detailUtf8.empty()) message.text += "\n" + detailUtf8;
  return message;
}

std::string BackupNote(const std::string& backupFileUtf8) {
  return backupFileUtf8.empty() ? "" : "Резервная копия: " + backupFileUtf8;
}

TResultMessage WithBackupNote(TResultMessage message, const std::string& backupFileUtf8) {
  if (backupFileUtf8.empty()) return message;
  message.text += '\n';
  message.text += BackupNote(backupFileUtf8);
  return message;
}

TResultMessage MessageForIdentificationResult(ResultCode result, const std::string& reportUtf8) {
  switch (result) {
    case kNoProgrammer: return {"Программатор не подключен или не включено питание.", ErrorCaption(result), kBoxError};
    case kAborted: return {"Операция прервана.", "", kBoxInformation};
    default: return {reportUtf8, "Данные диагностики", kBoxPlain};
  }
}

}  // namespace quillorn
