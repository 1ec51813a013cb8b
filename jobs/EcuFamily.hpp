#pragma once
// ECU families as the window's radio buttons and the stored "ECU" value name them, and the
// job kinds the buttons start for them.
#include <cstdint>
#include <optional>
#include <string_view>

namespace quillorn {

enum class TEcuFamily : uint8_t {
  January5 = 0,   // Январь 5.x / Микас-7.6
  Mikas7 = 1,     // Микас 7.1 / 7.2
  Vs51 = 2,
  January72 = 3,
  M797 = 4,       // Bosch M7.9.7
  M10 = 5,        // M10 / Микас 10
};

inline bool IsEightBankFamily(TEcuFamily f) { return f == TEcuFamily::M797 || f == TEcuFamily::M10; }

// Job kinds: 0 write / 1 read (Январь-type), 2 write / 3 read (Микас 7.1/7.2), 4 clear EEPROM,
// 5 write / 6 read (eight banks).
enum TJobKind : uint8_t {
  kJobWrite = 0, kJobRead = 1, kJobMikasWrite = 2, kJobMikasRead = 3,
  kJobClearEeprom = 4, kJobBanksWrite = 5, kJobBanksRead = 6,
};

enum class TJobAction { Write, Read, ClearEeprom };

// The kind a job button starts for a family (the window refuses clearing for Микас 7.1/7.2
// before it gets here).
uint8_t JobKindFor(TEcuFamily family, TJobAction action);

// Command-line names: january5, mikas7, vs51, january72, m797, m10.
std::optional<TEcuFamily> EcuFamilyFromName(std::string_view name);
std::string_view EcuFamilyName(TEcuFamily family);

}  // namespace quillorn
