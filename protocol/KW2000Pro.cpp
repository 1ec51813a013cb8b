#include "protocol/KW2000Pro.hpp"

namespace quillorn {

TKW2000Pro::TKW2000Pro(TLinkState& link) : TProtocol(link) { SetName("KWP 2000"); }

}  // namespace quillorn
