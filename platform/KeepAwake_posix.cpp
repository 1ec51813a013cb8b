#include "platform/KeepAwake.hpp"

namespace quillorn {

// A desktop session here has no common way to hold off sleep; a job runs as it is.
TKeepAwake::TKeepAwake() = default;

TKeepAwake::~TKeepAwake() = default;

}  // namespace quillorn
