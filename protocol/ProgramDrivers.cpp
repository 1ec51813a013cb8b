#include "protocol/ProgramDrivers.hpp"

namespace quillorn {

// ProgramLink() is reached here first, so the link state outlives the drivers that use it.
TProgramDrivers::TProgramDrivers() : BootLoader(ProgramLink()), Memory(ProgramLink()), Kwp(ProgramLink()) {}

TProgramDrivers& ProgramDrivers() {
  static TProgramDrivers drivers;
  return drivers;
}

TC509Pro& BootLoaderDriver() { return ProgramDrivers().BootLoader; }
TFlashPro& MemoryDriver() { return ProgramDrivers().Memory; }
TKW2000Pro& KwpDriver() { return ProgramDrivers().Kwp; }

}  // namespace quillorn
