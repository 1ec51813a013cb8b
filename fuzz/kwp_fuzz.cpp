// The KWP 2000 response reader on arbitrary bytes: any length byte, any format, nothing read
// out of bounds, and a success only for a response whose checksum holds.
#include <cstdlib>

#include "fuzz/FuzzLine.hpp"
#include "protocol/KW2000Pro.hpp"

using namespace quillorn;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::TFuzzLine line;
  TLinkState link;
  TKW2000Pro driver(link);
  if (driver.Open(fuzz::TFuzzLine::kPort, 10400, 0, 0, 8) != kOk) std::abort();
  line.Feed(data, size);
  TKwpData response{};
  uint32_t length = 0;
  if (driver.ReceiveResponse(response, length) == kOk) {
    if (length > response.size()) std::abort();
    uint8_t sum = 0;
    size_t consumed = size - line.answer.size();
    for (size_t i = 0; i + 1 < consumed; ++i) sum += data[i];
    if (consumed == 0 || sum != data[consumed - 1]) std::abort();
  }
  return 0;
}
