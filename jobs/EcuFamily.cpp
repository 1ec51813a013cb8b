#include "jobs/EcuFamily.hpp"

#include <array>
#include <utility>

namespace quillorn {

namespace {
constexpr std::array<std::pair<std::string_view, TEcuFamily>, 6> kNames{{
    {"january5", TEcuFamily::January5},
    {"mikas7", TEcuFamily::Mikas7},
    {"vs51", TEcuFamily::Vs51},
    {"january72", TEcuFamily::January72},
    {"m797", TEcuFamily::M797},
    {"m10", TEcuFamily::M10},
}};
}  // namespace

uint8_t JobKindFor(TEcuFamily family, TJobAction action) {
  if (action == TJobAction::ClearEeprom) return kJobClearEeprom;
  const bool write = action == TJobAction::Write;
  if (family == TEcuFamily::Mikas7) return write ? kJobMikasWrite : kJobMikasRead;
  if (IsEightBankFamily(family)) return write ? kJobBanksWrite : kJobBanksRead;
  return write ? kJobWrite : kJobRead;
}

std::optional<TEcuFamily> EcuFamilyFromName(std::string_view name) {
  for (const auto& [text, family] : kNames)
    if (text == name) return family;
  return std::nullopt;
}

std::string_view EcuFamilyName(TEcuFamily family) {
  for (const auto& [text, f] : kNames)
    if (f == family) return text;
  return "unknown";
}

}  // namespace quillorn
