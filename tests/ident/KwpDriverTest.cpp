// The KWP 2000 client against a scripted line: request framing byte for byte, response
// checks, the services' retries and pauses, cancellation, and texts that must stay within the
// caller's buffer.
#include <cstring>

#include "tests/ident/IdentFixture.hpp"

namespace quillorn::test {
namespace {

// --- request framing ---

TEST_F(IdentTest, ServicesSendTheWorkedFrames) {
  OpenLink(10400);
  line.Reply(Response({0xC1, 0xEF, 0x8F}));
  EXPECT_TRUE(kwp.StartCommunication());
  EXPECT_EQ(line.written, Bytes({0x81, 0x10, 0xF1, 0x81, 0x03}));

  line.ForgetRecords();
  line.Reply(Response({0x50, 0x81}));
  EXPECT_TRUE(kwp.StartDiagnosticSession());
  EXPECT_EQ(line.written, Bytes({0x83, 0x10, 0xF1, 0x10, 0x81, 0x0A, 0x1F}));

  char text[kIdentTextSize];
  line.ForgetRecords();
  line.Reply(TextResponse(0x9A, "J5V05L15"));
  EXPECT_TRUE(kwp.ReadEcuIdentification(0x9A, text, sizeof text));
  EXPECT_EQ(line.written, Bytes({0x82, 0x10, 0xF1, 0x1A, 0x9A, 0x37}));
  EXPECT_STREQ(text, "J5V05L15");

  line.ForgetRecords();
  line.Reply(TextResponse(0x93, "MIKAS 7.6"));
  EXPECT_TRUE(kwp.ReadEcuIdentification(0x93, text, sizeof text));
  EXPECT_EQ(line.written, Bytes({0x82, 0x10, 0xF1, 0x1A, 0x93, 0x30}));
  EXPECT_STREQ(text, "MIKAS 7.6");
}

TEST_F(IdentTest, RequestGoesOutAsHeaderBlockDataBlockAndCheckedChecksum) {
  OpenLink(10400);
  const auto data = Bytes({0x1A, 0x9A});
  EXPECT_EQ(kwp.SendRequest(data.data(), 2), kOk);
  EXPECT_EQ(line.writeSizes, Constants({3, 2, 1}));
  EXPECT_EQ(kwp.TxChecksum, 0x37);

  line.ForgetRecords();
  line.echoOf = [](uint8_t b) { return b == 0x37 ? uint8_t{0x38} : b; };
  EXPECT_EQ(kwp.SendRequest(data.data(), 2), kNoProgrammer) << "the checksum's echo is compared";
}

TEST_F(IdentTest, LongRequestCarriesALengthByte) {
  OpenLink(10400);
  std::vector<uint8_t> data(64);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
  EXPECT_EQ(kwp.SendRequest(data.data(), 64), kOk);
  std::vector<uint8_t> expected{0x80, 0x10, 0xF1, 0x40};
  expected.insert(expected.end(), data.begin(), data.end());
  uint8_t sum = 0;
  for (uint8_t b : expected) sum = static_cast<uint8_t>(sum + b);
  expected.push_back(sum);
  EXPECT_EQ(line.written, expected);

  line.ForgetRecords();
  EXPECT_EQ(kwp.SendRequest(data.data(), 63), kOk);
  EXPECT_EQ(line.written[0], 0x80 | 63) << "63 bytes still fit the format byte";
  EXPECT_EQ(line.written.size(), 3u + 63u + 1u);
}

TEST_F(IdentTest, RequestWithoutAddressesWhenBitSevenIsClear) {
  OpenLink(10400);
  kwp.FormatByte = 0xC0;  // bits 6 and 7: addresses, and bit 6 kept as given
  const auto data = Bytes({0x81});
  EXPECT_EQ(kwp.SendRequest(data.data(), 1), kOk);
  EXPECT_EQ(line.written, Bytes({0xC1, 0x10, 0xF1, 0x81, 0x43}));
  line.ForgetRecords();
  kwp.FormatByte = 0x00;
  EXPECT_EQ(kwp.SendRequest(data.data(), 1), kOk);
  EXPECT_EQ(line.written, Bytes({0x01, 0x81, 0x82}));
}

// --- responses ---

TEST_F(IdentTest, ResponseChecksumAndTesterAddressAreChecked) {
  OpenLink(10400);
  TKwpData data{};
  uint32_t n = 0;
  line.Reply(Bytes({0x83, 0xF1, 0x10, 0xC1, 0xEF, 0x8F, 0xC3}));
  EXPECT_EQ(kwp.ReceiveResponse(data, n), kOk);
  EXPECT_EQ(n, 3u);
  EXPECT_EQ(data[0], 0xC1);

  line.Reply(Bytes({0x83, 0xF1, 0x10, 0xC1, 0xEF, 0x8F, 0xC4}));
  EXPECT_EQ(kwp.ReceiveResponse(data, n), kBadChecksum);
  EXPECT_EQ(link.LastResult, kBadChecksum);
  line.pending.clear();

  line.Reply(Bytes({0x83, 0xF2, 0x10, 0xC1, 0xEF, 0x8F, 0xC4}));
  EXPECT_EQ(kwp.ReceiveResponse(data, n), kKwpWrongTester);
  EXPECT_EQ(link.LastResult, kKwpWrongTester);
  line.pending.clear();

  EXPECT_EQ(kwp.ReceiveResponse(data, n), kTimeout) << "no response at all";
}

TEST_F(IdentTest, ResponseWithLengthByteIsReadWithThatLength) {
  OpenLink(10400);
  std::vector<uint8_t> payload(70, 0x41);
  payload[0] = 0x5A;
  const auto reply = Response(payload);
  ASSERT_EQ(reply[3], 70);
  line.Reply(reply);
  TKwpData data{};
  uint32_t n = 0;
  EXPECT_EQ(kwp.ReceiveResponse(data, n), kOk);
  EXPECT_EQ(n, 70u);
  EXPECT_TRUE(line.pending.empty());

  auto damaged = reply;
  damaged[3] = 69;  // the checksum covers the length byte
  damaged.pop_back();
  line.Reply(damaged);
  EXPECT_EQ(kwp.ReceiveResponse(data, n), kBadChecksum);
}

TEST_F(IdentTest, TransactSetsTheResponseTimeoutAndNeedsAPort) {
  TKwpData data{};
  uint32_t n = 0;
  const auto request = Bytes({0x81});
  EXPECT_EQ(kwp.Transact(request.data(), 1, data, n), kNoPort);
  EXPECT_EQ(link.LastResult, kNoPort);

  OpenLink(10400);
  line.Reply(Response({0xC1, 0xEF, 0x8F}));
  EXPECT_EQ(kwp.Transact(request.data(), 1, data, n), kOk);
  EXPECT_EQ(link.ReplyTimeout, 100u);
  ASSERT_FALSE(line.purges.empty());
  EXPECT_EQ(line.purges.front(), kPurgeRxClear) << "stale bytes are dropped first";
}

// --- services ---

TEST_F(IdentTest, StartCommunicationWaitsForThePatternAndJudgesTheFirstByte) {
  OpenLink(10400);
  line.Reply(Response({0x7F, 0x81, 0x11}));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(kwp.StartCommunication());
  // Each of the three waits counts whole ticks of a millisecond clock: up to 1 ms short.
  EXPECT_GE(MsSince(start), 347.0) << "idle, low and high before the request";

  ThisThreadAbortMailbox().Post();
  line.ForgetRecords();
  EXPECT_FALSE(kwp.StartCommunication());
  EXPECT_EQ(link.LastResult, kAborted);
  EXPECT_TRUE(line.written.empty());
}

TEST_F(IdentTest, NegativeAnswersFailIdentificationAfterThreePauses) {
  OpenLink(10400);
  FailItem();
  char text[kIdentTextSize] = "old";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(kwp.ReadEcuIdentification(0x91, text, sizeof text));
  EXPECT_GE(MsSince(start), 300.0);
  EXPECT_LT(MsSince(start), 1000.0);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(line.written.size(), 3u * 6u) << "three requests";
}

TEST_F(IdentTest, IdentificationSucceedsOnALaterTry) {
  OpenLink(10400);
  line.Reply(Negative(0x1A));
  line.Reply(Bytes({0x82, 0xF1, 0x10, 0x5A, 0x91, 0x00}));  // bad checksum
  line.Reply(TextResponse(0x91, "0123456789"));
  char text[kIdentTextSize];
  EXPECT_TRUE(kwp.ReadEcuIdentification(0x91, text, sizeof text));
  EXPECT_STREQ(text, "0123456789");
}

TEST_F(IdentTest, IdentificationTextsEdgeCases) {
  OpenLink(10400);
  char text[kIdentTextSize];
  line.Reply(TextResponse(0x97, "\xFF\xFF\xFF"));
  EXPECT_TRUE(kwp.ReadEcuIdentification(0x97, text, sizeof text));
  EXPECT_STREQ(text, "") << "an erased item is present but empty";

  line.Reply(Response({0x5A}));
  EXPECT_TRUE(kwp.ReadEcuIdentification(0x97, text, sizeof text));
  EXPECT_STREQ(text, "") << "nothing after the service byte";

  line.Reply(TextResponse(0x97, std::string("AB\0CD", 5)));
  EXPECT_TRUE(kwp.ReadEcuIdentification(0x97, text, sizeof text));
  EXPECT_STREQ(text, "AB");
}

TEST_F(IdentTest, LongIdentificationTextStaysWithinTheCallersBuffer) {
  OpenLink(10400);
  struct {
    char text[kIdentTextSize];
    char guard[16];
  } buffer;
  std::memset(buffer.guard, 0x5C, sizeof buffer.guard);
  line.Reply(TextResponse(0x94, std::string(253, 'X')));
  EXPECT_TRUE(kwp.ReadEcuIdentification(0x94, buffer.text, sizeof buffer.text));
  EXPECT_EQ(std::strlen(buffer.text), kIdentTextSize - 1);
  for (char c : buffer.guard) ASSERT_EQ(c, 0x5C) << "written past the text";

  char small[4];
  line.Reply(TextResponse(0x94, "ABCDEFG"));
  EXPECT_TRUE(kwp.ReadEcuIdentification(0x94, small, sizeof small));
  EXPECT_STREQ(small, "ABC");
}

TEST_F(IdentTest, CancellationEndsTheIdentificationTriesAtOnce) {
  OpenLink(10400);
  ThisThreadAbortMailbox().Post();
  char text[kIdentTextSize];
  EXPECT_FALSE(kwp.ReadEcuIdentification(0x9A, text, sizeof text));
  EXPECT_EQ(link.LastResult, kAborted);
  EXPECT_TRUE(line.written.empty());

  // An abort seen inside a long reply wait ends the tries as well.
  kwp.ResponseTimeout = 2000;
  line.duringRead = [&](size_t index) {
    if (line.reads[index].constantMs == 1000) ThisThreadAbortMailbox().Post();
  };
  EXPECT_FALSE(kwp.ReadEcuIdentification(0x9A, text, sizeof text));
  EXPECT_EQ(link.LastResult, kAborted);
  EXPECT_EQ(line.written.size(), 6u) << "no second request";
}

}  // namespace
}  // namespace quillorn::test
