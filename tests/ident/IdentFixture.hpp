#pragma once
// The identification drivers on a fresh link state, over the scripted fake line.
#include <chrono>
#include <string>
#include <vector>

#include "jobs/IdentReport.hpp"
#include "jobs/MikasLink.hpp"
#include "protocol/KW2000Pro.hpp"
#include "tests/protocol/LinkFixture.hpp"

namespace quillorn::test {

class IdentTest : public LinkTest {
 protected:
  IdentTest() {
    kwp.FormatByte = 0x80;
    kwp.TargetAddress = 0x10;
    kwp.SourceAddress = 0xF1;
    kwp.ResponseTimeout = 100;
  }

  // A response from the ECU (0x10) to this program (0xF1), length in the format byte.
  static std::vector<uint8_t> Response(const std::vector<uint8_t>& data) {
    std::vector<uint8_t> message{static_cast<uint8_t>(0x80 | data.size()), 0xF1, 0x10};
    if (data.size() > 63) message = {0x80, 0xF1, 0x10, static_cast<uint8_t>(data.size())};
    message.insert(message.end(), data.begin(), data.end());
    uint8_t sum = 0;
    for (uint8_t b : message) sum = static_cast<uint8_t>(sum + b);
    message.push_back(sum);
    return message;
  }

  static std::vector<uint8_t> TextResponse(uint8_t option, const std::string& text) {
    std::vector<uint8_t> data{0x5A, option};
    data.insert(data.end(), text.begin(), text.end());
    return Response(data);
  }

  static std::vector<uint8_t> Negative(uint8_t service) { return Response({0x7F, service, 0x12}); }

  // The three negative answers that make one identification item fail.
  void FailItem(uint8_t service = 0x1A) {
    for (int i = 0; i < 3; ++i) line.Reply(Negative(service));
  }

  static double MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  }

  TKW2000Pro kwp{link};
  TMikasLink mikas{loader};
};

}  // namespace quillorn::test
