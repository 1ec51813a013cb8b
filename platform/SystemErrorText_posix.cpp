#include <system_error>

#include "platform/SystemErrorText.hpp"

namespace quillorn {

// generic_category gives strerror's text without strerror's shared buffer.
std::string SystemErrorText(int code) { return code == 0 ? std::string() : std::generic_category().message(code); }

}  // namespace quillorn
