#include "sim/diag/DiagnosticSoftware.hpp"

#include "sim/diag/KwpEcu.hpp"
#include "sim/diag/MikasDiagnostics.hpp"

namespace quillorn::sim {

std::unique_ptr<TDiagnosticSoftware> MakeDiagnosticSoftware(TEcuModel model) {
  switch (model) {
    case TEcuModel::January5:
    case TEcuModel::January72:
    case TEcuModel::Vs51:
    case TEcuModel::Mikas76: return std::make_unique<TKwpEcu>(KwpIdentificationTexts(model));
    case TEcuModel::Mikas7: return std::make_unique<TMikasDiagnostics>(MikasIdentificationTexts());
    default: return nullptr;
  }
}

}  // namespace quillorn::sim
