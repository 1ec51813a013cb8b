#include "platform/AbortMailbox.hpp"

namespace quillorn {

TAbortMailbox& ThisThreadAbortMailbox() {
  thread_local TAbortMailbox mailbox;
  return mailbox;
}

}  // namespace quillorn
