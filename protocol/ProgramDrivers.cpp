#include "protocol/ProgramDrivers.hpp"

namespace quillorn {

// ProgramLink() is reached here first, so the link state outlives the drivers that use it.
TProgramDrivers::TProgramDrivers() : BootLoader(ProgramLink()), Memory(ProgramLink()), Kwp(ProgramLink()) {}

TProgramDrivers& ProgramDrivers() {
  static TProgramDrivers drivers;
  return drivers;
}

}  // namespace quillorn
