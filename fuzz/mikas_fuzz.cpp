// The Микас reply decoder on arbitrary replies: escapes, terminators and checksums in any
// place; nothing may be read or written beyond the buffers, whatever the answer size.
#include <cstdlib>

#include "fuzz/FuzzLine.hpp"
#include "jobs/MikasLink.hpp"
#include "protocol/C509Pro.hpp"

using namespace quillorn;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::TFuzzLine line;
  if (size < 1) return 0;
  const size_t answerSize = data[0] % 40;  // small answers too: the cut must hold
  ++data, --size;
  TLinkState link;
  TC509Pro driver(link);
  if (driver.Open(fuzz::TFuzzLine::kPort, 9600, 0, 0, 8) != kOk) std::abort();
  line.Feed(data, size);
  TMikasLink mikas(driver);
  const uint8_t request[2] = {0x51, 0x0D};
  uint8_t answer[40];
  uint32_t answerLength = 0;
  if (mikas.MikasExchange(request, sizeof request, answer, answerSize, answerLength) == kOk) {
    if (answerLength > sizeof answer) std::abort();
  }
  char text[24];
  mikas.MikasRequest(0x51, text, sizeof text);
  return 0;
}
