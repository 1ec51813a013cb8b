#include "protocol/LinkState.hpp"

namespace quillorn {

TLinkState& ProgramLink() {
  static TLinkState link;
  return link;
}

}  // namespace quillorn
