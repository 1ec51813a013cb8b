// A few exchanges in real time over the in-process serial line with line-rate pacing: the
// primitives against real COMMTIMEOUTS reads and transmit-empty waits, and a cancellation
// posted from another thread.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>

#include "platform/AbortMailbox.hpp"
#include "protocol/C509Pro.hpp"
#include "serial/PortMap.hpp"
#include "sim/link/InProcLine.hpp"

namespace quillorn::test {
namespace {

constexpr uint8_t kInProcPort = 203;

class TInProcProvider : public TSerialDeviceProvider {
 public:
  std::unique_ptr<TSerialDevice> TryOpen(const std::string& devicePath, bool* served, int32_t* error) override {
    *served = devicePath == "fake:inproc";
    return *served ? line->OpenPcSide(error) : nullptr;
  }
  std::shared_ptr<TInProcLine> line = TInProcLine::Create(TLineOptions{true, 0});
};

// Echoes every byte and, once the PC has sent a given number of bytes in all, answers.
class TEchoPeer {
 public:
  TEchoPeer(std::shared_ptr<TInProcLine> line, std::map<size_t, uint8_t> answers)
      : line_(std::move(line)), answers_(std::move(answers)), thread_([this] { Run(); }) {}
  ~TEchoPeer() {
    stop_ = true;
    thread_.join();
  }

 private:
  void Run() {
    size_t received = 0;
    while (!stop_) {
      const auto event = line_->PeerNextEvent(std::chrono::milliseconds(10));
      if (!event || event->kind != TLineEvent::Kind::Byte) continue;
      line_->PeerWrite(&event->byte, 1);
      if (const auto answer = answers_.find(++received); answer != answers_.end()) {
        line_->PeerWrite(&answer->second, 1);
      }
    }
  }

  std::shared_ptr<TInProcLine> line_;
  std::map<size_t, uint8_t> answers_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

class InProcLinkTest : public ::testing::Test {
 protected:
  InProcLinkTest() {
    RegisterSerialDeviceProvider(&provider);
    TPortMap::Instance().SetOverride(kInProcPort, "fake:inproc");
  }
  ~InProcLinkTest() override {
    link.SharedPort.reset();
    UnregisterSerialDeviceProvider(&provider);
    TPortMap::Instance().SetOverride(kInProcPort, "");
    while (PeekAbortMessage()) {
    }
  }

  TInProcProvider provider;
  TLinkState link;
  TC509Pro loader{link};
};

TEST_F(InProcLinkTest, ABootstrapUploadRunsOverAPacedLine) {
  // Sync (1 byte), header (8), one last-form data block (18), start (8).
  TEchoPeer peer(provider.line, {{1, 0x55}, {9, 0x55}, {27, 0x55}, {35, 0x55}});
  ASSERT_EQ(loader.Open(kInProcPort, 38400, 0, 1, 8), kOk);
  loader.SetReplyTimeout(500);
  link.MemorySpace = 1;
  const uint8_t code[3] = {0x02, 0xF4, 0x20};
  EXPECT_EQ(loader.SyncLoader(), kOk);
  EXPECT_EQ(loader.SendHeader(0xF400, 16), kOk);
  EXPECT_EQ(loader.WriteBlock(0xF400, code, 3), kOk);
  EXPECT_EQ(loader.Start(0xF420), kOk);
  EXPECT_EQ(provider.line->PeerSettings().stopBits, kTwoStopBits);
}

TEST_F(InProcLinkTest, ASilentLineEndsTheWaitsWithTheirCodes) {
  ASSERT_EQ(loader.Open(kInProcPort, 38400, 0, 1, 8), kOk);
  loader.SetReplyTimeout(300);
  uint8_t byte = 0;
  EXPECT_EQ(loader.ReceiveByte(byte), kTimeout);
  EXPECT_EQ(loader.SendByte(0x00), kNoProgrammer) << "nobody echoes";
  EXPECT_EQ(loader.SendBlock(&byte, 1), kTimeout);
}

TEST_F(InProcLinkTest, AnAbortFromAnotherThreadEndsALongWait) {
  ASSERT_EQ(loader.Open(kInProcPort, 38400, 0, 1, 8), kOk);
  loader.SetReplyTimeout(30000);
  TAbortMailbox& jobMailbox = ThisThreadAbortMailbox();
  std::thread window([&jobMailbox] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    jobMailbox.Post();
  });
  uint8_t buffer[4];
  uint32_t received = 0;
  EXPECT_EQ(loader.ReceiveBlock(buffer, 4, received), kAborted);
  window.join();
  EXPECT_EQ(link.ReplyTimeout, 30000u);
}

}  // namespace
}  // namespace quillorn::test
