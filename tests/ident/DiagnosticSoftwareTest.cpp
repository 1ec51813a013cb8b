// The virtual ECU's diagnostic software on its own, on a made-up time line: what wakes the KWP
// 2000 software and what does not, its answers byte for byte, and the Микас request link.
#include <gtest/gtest.h>

#include "jobs/IdentReport.hpp"
#include "platform/CodePage.hpp"
#include "sim/diag/KwpEcu.hpp"
#include "sim/diag/MikasDiagnostics.hpp"

namespace quillorn::test {
namespace {

using namespace std::chrono_literals;
using sim::TEcuModel;
using Bytes = std::vector<uint8_t>;

class KwpEcuTest : public ::testing::Test {
 protected:
  explicit KwpEcuTest(TEcuModel model = TEcuModel::January5) : ecu(sim::KwpIdentificationTexts(model)) {
    ecu.Start(t);
  }

  // The PC's pattern: idle, low, high.
  void Pattern(std::chrono::milliseconds idle, std::chrono::milliseconds low, std::chrono::milliseconds high = 25ms) {
    t += idle;
    ecu.Break(true, t);
    t += low;
    ecu.Break(false, t);
    t += high;
  }

  // Sends a request byte by byte at 10400 bit/s and collects what the ECU answers.
  Bytes Exchange(const Bytes& request) {
    for (uint8_t byte : request) {
      t += 962us;
      ecu.Receive(byte, t);
    }
    t += 50ms;  // the answer comes after 25 ms
    Bytes sent;
    ecu.AdvanceTo(t, sent);
    return sent;
  }

  TLineClock::time_point t = TLineClock::now();
  sim::TKwpEcu ecu;
};

const Bytes kStartCommunication{0x81, 0x10, 0xF1, 0x81, 0x03};
const Bytes kKeyBytesResponse{0x83, 0xF1, 0x10, 0xC1, 0xEF, 0x8F, 0xC3};

TEST_F(KwpEcuTest, FastInitialisationWakesTheSoftware) {
  Pattern(300ms, 25ms);
  EXPECT_EQ(Exchange(kStartCommunication), kKeyBytesResponse);
  EXPECT_EQ(ecu.State(), sim::TKwpEcu::TState::InSession);
  EXPECT_EQ(Exchange({0x83, 0x10, 0xF1, 0x10, 0x81, 0x0A, 0x1F}), (Bytes{0x82, 0xF1, 0x10, 0x50, 0x81, 0x54}));

  const Bytes answer = Exchange({0x82, 0x10, 0xF1, 0x1A, 0x9A, 0x37});
  const std::string identifier = "J5V05L15";
  ASSERT_EQ(answer.size(), 3u + 2u + identifier.size() + 1u);
  EXPECT_EQ(answer[0], 0x80 | (2 + identifier.size()));
  EXPECT_EQ(std::string(answer.begin() + 5, answer.end() - 1), identifier);

  EXPECT_EQ(Exchange({0x82, 0x10, 0xF1, 0x1A, 0x96, 0x33}), (Bytes{0x83, 0xF1, 0x10, 0x7F, 0x1A, 0x12, 0x2F}))
      << "an item the ECU does not have";
  EXPECT_EQ(Exchange({0x81, 0x10, 0xF1, 0x3E, 0xC0}), (Bytes{0x83, 0xF1, 0x10, 0x7F, 0x3E, 0x11, 0x52}));
}

TEST_F(KwpEcuTest, WrongPatternsWakeNothing) {
  EXPECT_TRUE(Exchange(kStartCommunication).empty()) << "no pattern";
  Pattern(100ms, 25ms);
  EXPECT_TRUE(Exchange(kStartCommunication).empty()) << "line not idle long enough";
  Pattern(300ms, 100ms);
  EXPECT_TRUE(Exchange(kStartCommunication).empty()) << "low too long";
  Pattern(300ms, 25ms, 400ms);
  EXPECT_TRUE(Exchange(kStartCommunication).empty()) << "start request too late";
  Pattern(300ms, 25ms);
  EXPECT_TRUE(Exchange({0x82, 0x10, 0xF1, 0x1A, 0x9A, 0x37}).empty()) << "the session starts with its request";
}

TEST_F(KwpEcuTest, DamagedOrForeignRequestsAreIgnored) {
  Pattern(300ms, 25ms);
  EXPECT_TRUE(Exchange({0x81, 0x10, 0xF1, 0x81, 0x04}).empty());
  Pattern(300ms, 25ms);
  EXPECT_TRUE(Exchange({0x81, 0x11, 0xF1, 0x81, 0x04}).empty()) << "addressed to another ECU";
  Pattern(300ms, 25ms);
  EXPECT_EQ(Exchange(kStartCommunication), kKeyBytesResponse);
}

TEST_F(KwpEcuTest, SessionEndsAfterFiveSecondsWithoutRequests) {
  Pattern(300ms, 25ms);
  EXPECT_EQ(Exchange(kStartCommunication), kKeyBytesResponse);
  t += 5100ms;
  EXPECT_TRUE(Exchange({0x82, 0x10, 0xF1, 0x1A, 0x9A, 0x37}).empty());
}

TEST_F(KwpEcuTest, BehindAPseudoTerminalALongIdleLineCountsAsThePattern) {
  ecu.SetBreakVisible(false);
  t += 100ms;
  EXPECT_TRUE(Exchange(kStartCommunication).empty());
  t += 350ms;
  EXPECT_EQ(Exchange(kStartCommunication), kKeyBytesResponse);
  t += 400ms;
  EXPECT_FALSE(Exchange({0x82, 0x10, 0xF1, 0x1A, 0x9A, 0x37}).empty()) << "a pause within the session";
}

TEST_F(KwpEcuTest, LongTextsGoOutWithALengthByte) {
  sim::TKwpTexts texts{{0x91, std::string(100, 'N')}};
  sim::TKwpEcu longEcu(texts);
  longEcu.Start(t);
  t += 300ms;
  longEcu.Break(true, t);
  t += 25ms;
  longEcu.Break(false, t);
  t += 25ms;
  for (const Bytes& request : {kStartCommunication, Bytes{0x82, 0x10, 0xF1, 0x1A, 0x91, 0x2E}}) {
    for (uint8_t byte : request) longEcu.Receive(byte, t += 1ms);
  }
  t += 100ms;
  Bytes sent;
  longEcu.AdvanceTo(t, sent);
  ASSERT_EQ(sent.size(), 7u + 4u + 102u + 1u);
  EXPECT_EQ(Bytes(sent.begin() + 7, sent.begin() + 11), (Bytes{0x80, 0xF1, 0x10, 102}));
}

TEST(DiagnosticTextsTest, EachModelClaimsItsOwnFamily) {
  TKwpFamily family;
  ASSERT_TRUE(RecogniseKwpFamily(sim::KwpIdentificationTexts(TEcuModel::January5)[0x9A].c_str(), family));
  EXPECT_EQ(family, TKwpFamily::January5);
  ASSERT_TRUE(RecogniseKwpFamily(sim::KwpIdentificationTexts(TEcuModel::January72)[0x9A].c_str(), family));
  EXPECT_EQ(family, TKwpFamily::January72);
  ASSERT_TRUE(RecogniseKwpFamily(sim::KwpIdentificationTexts(TEcuModel::Vs51)[0x9A].c_str(), family));
  EXPECT_EQ(family, TKwpFamily::Vs51);
  auto mikas76 = sim::KwpIdentificationTexts(TEcuModel::Mikas76);
  EXPECT_FALSE(RecogniseKwpFamily(mikas76[0x9A].c_str(), family));
  EXPECT_TRUE(IsMikas76SoftwareCode(mikas76[0x93].c_str()));
  EXPECT_EQ(sim::MakeDiagnosticSoftware(TEcuModel::M797), nullptr);

  std::string identifier = sim::MikasIdentificationTexts().at(sim::MikasRequestKey(0x51));
  ASSERT_EQ(identifier.size(), 16u);
  OemToAnsi(reinterpret_cast<const uint8_t*>(identifier.data()), reinterpret_cast<uint8_t*>(identifier.data()), 16);
  EXPECT_TRUE(IsMikas7xId(identifier.c_str()));
  // Every Микас text fits one 20-byte reply.
  for (const auto& [request, text] : sim::MikasIdentificationTexts()) EXPECT_LE(sim::MikasFrame(Bytes(text.begin(), text.end())).size(), 20u);
}

TEST(MikasDiagnosticsTest, AnswersKnownRequestsInItsFraming) {
  sim::TMikasDiagnostics ecu(sim::MikasIdentificationTexts());
  auto t = TLineClock::now();
  ecu.Start(t);
  auto exchange = [&](const Bytes& frame) {
    for (uint8_t byte : frame) ecu.Receive(byte, t += 1ms);
    t += 100ms;
    Bytes sent;
    ecu.AdvanceTo(t, sent);
    return sent;
  };
  const Bytes reply = exchange({0x51, 0xAF, 0x0D});
  EXPECT_EQ(reply, sim::MikasFrame(Bytes{0x8C, 0x88, 0x8A, 0x80, 0x91, '-', '7', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '}));
  EXPECT_FALSE(exchange({0x61, 0x74, 0x2B, 0x0D}).empty());
  EXPECT_TRUE(exchange({0x61, 0x74, 0x2C, 0x0D}).empty()) << "damaged request";
  EXPECT_TRUE(exchange({0x59, 0xA7, 0x0D}).empty()) << "unknown request";
  EXPECT_EQ(sim::MikasFrame({0x0D, 0x40}), (Bytes{0x40, 0xCD, 0x40, 0x00, 0xB3, 0x0D}));
}

}  // namespace
}  // namespace quillorn::test
