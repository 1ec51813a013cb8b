// The memory driver's replies from a fake line fed the fuzz bytes: no reply may be read out of
// bounds, and a request may succeed only on a reply that is a well-formed frame of its own.
#include <cstdlib>
#include <cstring>

#include "fuzz/FuzzLine.hpp"
#include "protocol/FlashPro.hpp"

using namespace quillorn;

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

// The reply the driver accepted, checked from the input itself: "P", the length, the command,
// the payload and a checksum that makes it all add up to 0.
bool WellFormed(const uint8_t* reply, size_t size, uint8_t command, size_t payload) {
  if (size < 4 + payload || reply[0] != 'P' || reply[1] != 0x55 + 1 + payload || reply[2] != command) return false;
  uint8_t sum = 0;
  for (size_t i = 0; i < 4 + payload; ++i) sum += reply[i];
  return sum == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::TFuzzLine line;
  if (size < 1) return 0;
  const uint8_t selector = data[0];
  ++data, --size;
  TLinkState link;
  TFlashPro driver(link);
  if (driver.Open(fuzz::TFuzzLine::kPort, 57600, kProgrammerLine) != kOk) std::abort();
  line.Feed(data, size);
  link.RetryCount = 1;
  link.MemorySpace = static_cast<uint8_t>(kUploadSpace + selector % 3);
  link.BankByte = 0x11;
  uint8_t buffer[256] = {};
  const uint8_t command = link.MemorySpace == kUploadSpace ? 0x9E : link.MemorySpace == kFlashSpace ? 0x93 : 0x98;
  switch ((selector / 3) % 4) {
    case 0: {
      const uint8_t count = static_cast<uint8_t>(1 + (selector >> 5));
      if (driver.ReadBlock(0x1234, buffer, count) == kOk) {
        Require(WellFormed(data, size, command, count));
        Require(std::memcmp(buffer, data + 3, count) == 0);
      }
      break;
    }
    case 1: {
      const uint8_t block[16] = {1, 2, 3};
      const ResultCode r = driver.WriteBlock(0x1234, block, sizeof block);
      const uint8_t writeCommand = link.MemorySpace == kUploadSpace ? 0x95 : link.MemorySpace == kFlashSpace ? 0x92 : 0x97;
      if (r == kOk) Require(WellFormed(data, size, writeCommand, 1) || WellFormed(data, size, writeCommand, 5));
      break;
    }
    case 2:
      if (driver.EraseFlash(20, 0x14) == kOk) Require(WellFormed(data, size, 0x90, 3));
      break;
    default:
      link.MemorySpace = kFlashSpace;
      if (driver.EraseStatus() == kOk) Require(WellFormed(data, size, 0x91, 4));
      break;
  }
  return 0;
}
