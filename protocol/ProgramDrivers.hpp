#pragma once
// The program's driver instances, all on the program's one link state. There is no current
// driver: every caller names the instance it needs, and a port opened through one serves all.
#include "protocol/C509Pro.hpp"
#include "protocol/FlashPro.hpp"
#include "protocol/KW2000Pro.hpp"

namespace quillorn {

// Constructed together in this order on first use (the front ends touch them at start-up,
// before their window exists) and destroyed in reverse order at program end; the first one
// destroyed closes the shared port.
struct TProgramDrivers {
  TProgramDrivers();
  TC509Pro BootLoader;
  TFlashPro Memory;
  TKW2000Pro Kwp;
};

TProgramDrivers& ProgramDrivers();

}  // namespace quillorn
