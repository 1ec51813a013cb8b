#pragma once
// Drivers on a fresh link state whose port numbers lead to the scripted fake line.
#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "platform/AbortMailbox.hpp"
#include "protocol/C509Pro.hpp"
#include "protocol/FlashPro.hpp"
#include "protocol/Protocol.hpp"
#include "serial/PortMap.hpp"
#include "tests/protocol/FakeSerialLine.hpp"

namespace quillorn::test {

using Constants = std::vector<uint32_t>;

class LinkTest : public ::testing::Test {
 protected:
  static constexpr uint8_t kPort = 201;
  static constexpr uint8_t kMissingPort = 202;

  LinkTest() {
    RegisterSerialDeviceProvider(&provider);
    TPortMap::Instance().SetOverride(kPort, "fake:line");
    TPortMap::Instance().SetOverride(kMissingPort, "fake:missing");
  }
  ~LinkTest() override {
    link.SharedPort.reset();
    UnregisterSerialDeviceProvider(&provider);
    TPortMap::Instance().SetOverride(kPort, "");
    TPortMap::Instance().SetOverride(kMissingPort, "");
    while (PeekAbortMessage()) {
    }
  }

  // Opens the port the way the jobs do (8 data bits, no parity, two stop bits) and forgets
  // what opening did, so a test sees only its own traffic.
  void OpenLink(int baud = 38400) {
    ASSERT_EQ(base.Open(kPort, baud, 0, 1, 8), kOk);
    line.ForgetRecords();
  }

  static std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<uint8_t> bytes;
    for (int value : values) bytes.push_back(static_cast<uint8_t>(value));
    return bytes;
  }

  std::vector<uint32_t> ReadConstants() const {
    std::vector<uint32_t> constants;
    for (const TFakeRead& read : line.reads) constants.push_back(read.constantMs);
    return constants;
  }

  TFakeProvider provider;
  TFakeLine& line = *provider.line;
  TLinkState link;
  TProtocol base{link};
  TFlashPro flash{link};
  TC509Pro loader{link};
};

}  // namespace quillorn::test
