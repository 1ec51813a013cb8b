// The Микас 7.1 / 7.2 request link against a scripted line: frames byte for byte, the reply
// decoding with its three failures, the tries of a request, and texts bounded by the buffer.
#include <cstring>

#include "platform/CodePage.hpp"
#include "tests/ident/IdentFixture.hpp"

namespace quillorn::test {
namespace {

class MikasTest : public IdentTest {
 protected:
  void SetUp() override {
    OpenLink(9600);
    loader.SetReplyTimeout(1);
  }

  ResultCode Exchange(std::vector<uint8_t> request) {
    answerLength = 0;
    return mikas.MikasExchange(request.data(), static_cast<uint32_t>(request.size()), answer, sizeof answer,
                               answerLength);
  }

  std::string Answer() const { return std::string(reinterpret_cast<const char*>(answer), answerLength); }

  uint8_t answer[kMikasAnswerSize] = {};
  uint32_t answerLength = 0;
};

// A reply frame as the ECU sends it (escaped payload, escaped checksum, terminator).
std::vector<uint8_t> MikasReply(const std::string& text) {
  std::vector<uint8_t> frame;
  uint8_t sum = 0;
  auto put = [&](uint8_t c) {
    if (c == 0x0D) {
      frame.insert(frame.end(), {0x40, 0xCD});
    } else if (c == 0x40) {
      frame.insert(frame.end(), {0x40, 0x00});
    } else {
      frame.push_back(c);
    }
  };
  for (char c : text) {
    sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
    put(static_cast<uint8_t>(c));
  }
  put(static_cast<uint8_t>(0 - sum));
  frame.push_back(0x0D);
  return frame;
}

TEST_F(MikasTest, RequestsAreFramedEscapedAndChecksummed) {
  EXPECT_EQ(Exchange({0x51}), kMikasNoTerminator);
  EXPECT_EQ(line.written, Bytes({0x51, 0xAF, 0x0D}));
  EXPECT_EQ(line.writeSizes, Constants{3}) << "one write per frame";

  struct {
    std::vector<uint8_t> request, frame;
  } cases[] = {
      {{0x61, 0x74}, {0x61, 0x74, 0x2B, 0x0D}},
      {{0x0D}, {0x40, 0xCD, 0xF3, 0x0D}},
      {{0x40}, {0x40, 0x00, 0xC0, 0x0D}},
      {{0xF3}, {0xF3, 0x0D, 0x0D}},  // the checksum travels unescaped
  };
  for (const auto& c : cases) {
    line.ForgetRecords();
    Exchange(c.request);
    EXPECT_EQ(line.written, c.frame);
  }
}

TEST_F(MikasTest, RepliesAreUnescapedAndTheirChecksumDropped) {
  line.Reply(Bytes({0x41, 0x42, 0x7D, 0x0D}));
  EXPECT_EQ(Exchange({0x52}), kOk);
  EXPECT_EQ(Answer(), "AB");

  line.Reply(Bytes({0x0D}));
  EXPECT_EQ(Exchange({0x52}), kOk);
  EXPECT_EQ(answerLength, 0u);

  line.Reply(MikasReply("A\rB@C"));
  EXPECT_EQ(Exchange({0x52}), kOk);
  EXPECT_EQ(Answer(), "A\rB@C") << "escaped carriage return and escape byte are characters";
  EXPECT_EQ(link.LastResult, kOk);
}

TEST_F(MikasTest, DamagedRepliesFailWithTheirCodes) {
  line.Reply(std::vector<uint8_t>(20, 0x41));
  EXPECT_EQ(Exchange({0x52}), kMikasNoTerminator);
  EXPECT_EQ(link.LastResult, kMikasNoTerminator);
  line.pending.clear();

  EXPECT_EQ(Exchange({0x52}), kMikasNoTerminator) << "no reply at all";

  line.Reply(Bytes({0x41, 0x40, 0x41, 0x7E, 0x0D}));
  EXPECT_EQ(Exchange({0x52}), kMikasBadEscape);
  EXPECT_EQ(link.LastResult, kMikasBadEscape);
  line.pending.clear();

  line.Reply(Bytes({0x41, 0x42, 0x7E, 0x0D}));
  EXPECT_EQ(Exchange({0x52}), kBadChecksum);
  line.pending.clear();

  line.Reply(Bytes({0x41, 0x40}));
  EXPECT_EQ(Exchange({0x52}), kMikasNoTerminator) << "an escape byte at the reply's end";
}

TEST_F(MikasTest, ReplyIsCutAtTwentyBytes) {
  const std::string identifier = "0123456789ABCDEF";  // 16 characters: 18 bytes framed
  line.Reply(MikasReply(identifier));
  EXPECT_EQ(Exchange({0x51}), kOk);
  EXPECT_EQ(Answer(), identifier);

  line.Reply(MikasReply(identifier + "GHI"));  // 21 bytes framed
  EXPECT_EQ(Exchange({0x51}), kMikasNoTerminator);
  ASSERT_FALSE(line.reads.empty());
  EXPECT_EQ(line.reads.back().asked, kMikasReplyLimit);
}

TEST_F(MikasTest, CancellationIsLookedForBeforeTheRequest) {
  ThisThreadAbortMailbox().Post();
  EXPECT_EQ(Exchange({0x51}), kAborted);
  EXPECT_EQ(link.LastResult, kAborted);
  EXPECT_TRUE(line.written.empty());
}

TEST_F(MikasTest, RequestTriesThreeTimesAndConvertsFromTheOemCodePage) {
  char text[kIdentTextSize] = "old";
  EXPECT_FALSE(mikas.MikasRequest(0x51, text, sizeof text));
  EXPECT_EQ(line.written.size(), 3u * 3u);
  EXPECT_STREQ(text, "");

  line.ForgetRecords();
  line.Reply(Bytes({0x41, 0x7E, 0x0D}));  // bad checksum
  line.Reply(Bytes({0x41, 0x40, 0x41, 0x0D}));  // bad escape
  // "МИКАС-7" in code page 866.
  line.Reply(MikasReply("\x8C\x88\x8A\x80\x91-7         "));
  EXPECT_TRUE(mikas.MikasRequest(0x51, text, sizeof text));
  EXPECT_EQ(line.written.size(), 3u * 3u);
  EXPECT_EQ(AnsiToUtf8(text), "МИКАС-7         ");

  line.Reply(MikasReply("\xFF\x41"));
  EXPECT_TRUE(mikas.MikasRequest(0x61, 0x75, text, sizeof text));
  EXPECT_STREQ(text, "") << "an erased item is present but empty";
}

TEST_F(MikasTest, CancellationStopsTheTries) {
  char text[kIdentTextSize];
  line.duringRead = [&](size_t index) {
    if (index == 1) ThisThreadAbortMailbox().Post();  // during the first reply wait
  };
  EXPECT_FALSE(mikas.MikasRequest(0x51, text, sizeof text));
  EXPECT_EQ(link.LastResult, kAborted);
  EXPECT_EQ(line.written.size(), 3u) << "one request, no further tries";
}

TEST_F(MikasTest, RequestTextStaysWithinTheCallersBuffer) {
  struct {
    char text[4];
    char guard[8];
  } buffer;
  std::memset(buffer.guard, 0x5C, sizeof buffer.guard);
  line.Reply(MikasReply("ABCDEFGHIJ"));
  EXPECT_TRUE(mikas.MikasRequest(0x52, buffer.text, sizeof buffer.text));
  EXPECT_STREQ(buffer.text, "ABC");
  for (char c : buffer.guard) ASSERT_EQ(c, 0x5C);
}

}  // namespace
}  // namespace quillorn::test
