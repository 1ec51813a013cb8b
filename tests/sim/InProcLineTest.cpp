// The in-process line: COMMTIMEOUTS reads, line-rate pacing, modem lines, break, unplugging.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "serial/PortMap.hpp"
#include "serial/SerialPort32.hpp"
#include "sim/link/InProcLine.hpp"

namespace quillorn {
namespace {

using namespace std::chrono_literals;
using TMs = std::chrono::duration<double, std::milli>;

constexpr uint32_t kMaxDword = 0xFFFFFFFFu;

struct TOpenLine {
  explicit TOpenLine(TLineOptions options = {}) : line(TInProcLine::Create(options)) {
    int32_t error = -1;
    pc = line->OpenPcSide(&error);
    EXPECT_TRUE(pc);
    EXPECT_EQ(error, 0);
  }
  void SetTimeouts(uint32_t interval, uint32_t multiplier, uint32_t constant) {
    int32_t error = 0;
    ASSERT_TRUE(pc->SetTimeouts({interval, multiplier, constant, 0, 0}, &error));
  }
  void Apply(uint32_t baud, uint8_t stopBits = kOneStopBit) {
    TDcb dcb;
    dcb.BaudRate = baud;
    dcb.StopBits = stopBits;
    int32_t error = 0;
    ASSERT_TRUE(pc->SetState(dcb, &error));
  }
  // Reads count bytes; returns the time the call took.
  TMs TimedRead(uint32_t count, uint32_t* got, bool* ok = nullptr) {
    std::vector<uint8_t> buffer(count + 1);
    int32_t error = 0;
    const auto start = TLineClock::now();
    const bool result = pc->Read(buffer.data(), count, got, &error);
    if (ok) *ok = result;
    return TLineClock::now() - start;
  }
  std::vector<TLineEvent> DrainPeer() {
    std::vector<TLineEvent> events;
    while (auto event = line->PeerNextEvent(0us)) events.push_back(*event);
    return events;
  }

  std::shared_ptr<TInProcLine> line;
  std::unique_ptr<TSerialDevice> pc;
};

TEST(InProcLineTimeouts, TotalTimeoutIsMultiplierPerByteAndConstant) {
  TOpenLine l;
  l.SetTimeouts(0, 10, 20);
  uint32_t got = 99;
  bool ok = false;
  const TMs took = l.TimedRead(3, &got, &ok);
  EXPECT_TRUE(ok);  // a timeout is not a fault
  EXPECT_EQ(got, 0u);
  EXPECT_GE(took.count(), 49.0);
  EXPECT_LT(took.count(), 400.0);
}

TEST(InProcLineTimeouts, IntervalEndsAReadAfterTheLastByte) {
  TOpenLine l;
  l.SetTimeouts(30, 0, 2000);
  const uint8_t two[] = {1, 2};
  l.line->PeerWrite(two, 2);
  uint32_t got = 0;
  const TMs took = l.TimedRead(10, &got);
  EXPECT_EQ(got, 2u);
  EXPECT_GE(took.count(), 29.0);
  EXPECT_LT(took.count(), 1000.0);  // not the 2 s total
}

TEST(InProcLineTimeouts, IntervalDoesNotRunBeforeTheFirstByte) {
  TOpenLine l;
  l.SetTimeouts(20, 0, 500);
  std::thread peer([&] {
    std::this_thread::sleep_for(60ms);
    const uint8_t bytes[] = {7, 8, 9};
    l.line->PeerWrite(bytes, 3);
  });
  uint32_t got = 0;
  bool ok = false;
  l.TimedRead(3, &got, &ok);
  peer.join();
  EXPECT_TRUE(ok);
  EXPECT_EQ(got, 3u);
}

TEST(InProcLineTimeouts, MaxDwordIntervalReturnsAtOnceWithWhatIsThere) {
  TOpenLine l;
  l.SetTimeouts(kMaxDword, 0, 0);
  const uint8_t one[] = {0x55};
  l.line->PeerWrite(one, 1);
  uint32_t got = 0;
  const TMs took = l.TimedRead(8, &got);
  EXPECT_EQ(got, 1u);
  EXPECT_LT(took.count(), 20.0);
  EXPECT_LT(l.TimedRead(8, &got).count(), 20.0);
  EXPECT_EQ(got, 0u);
}

TEST(InProcLineTimeouts, MaxDwordMultiplierReturnsOnTheFirstByte) {
  TOpenLine l;
  l.SetTimeouts(kMaxDword, kMaxDword, 500);
  std::thread peer([&] {
    std::this_thread::sleep_for(20ms);
    const uint8_t one[] = {0x42};
    l.line->PeerWrite(one, 1);
  });
  uint32_t got = 0;
  const TMs took = l.TimedRead(8, &got);
  peer.join();
  EXPECT_EQ(got, 1u);
  EXPECT_LT(took.count(), 400.0);
}

TEST(InProcLinePacing, BytesReachThePeerAtTheLineRate) {
  TOpenLine l({.pace = true});
  l.Apply(9600);  // 10 bits per character: 1042 us
  l.DrainPeer();
  std::vector<uint8_t> block(48, 0xA5);
  uint32_t written = 0;
  int32_t error = 0;
  const auto start = TLineClock::now();
  ASSERT_TRUE(l.pc->Write(block.data(), 48, &written, &error));
  EXPECT_EQ(written, 48u);
  EXPECT_LT(TMs(TLineClock::now() - start).count(), 20.0);  // queued, not waited for
  ASSERT_TRUE(l.pc->SetEventMask(kEvTxEmpty, &error));
  uint32_t mask = 0;
  ASSERT_TRUE(l.pc->WaitEvent(&mask, 1000, &error));
  EXPECT_EQ(mask, kEvTxEmpty);
  EXPECT_GE(TMs(TLineClock::now() - start).count(), 48 * 1.042 - 1);
  std::vector<TLineEvent> bytes;
  while (auto event = l.line->PeerNextEvent(200ms)) {
    bytes.push_back(*event);
    if (bytes.size() == 48) break;
  }
  ASSERT_EQ(bytes.size(), 48u);
  for (size_t i = 1; i < bytes.size(); ++i) {
    EXPECT_EQ(bytes[i].at - bytes[i - 1].at, std::chrono::microseconds(1042));
  }
  EXPECT_GE(bytes.back().at - start, std::chrono::microseconds(48 * 1042));
}

TEST(InProcLinePacing, TransmitWaitIsBoundedWhenTheLineIsSlow) {
  TOpenLine l({.pace = true});
  l.Apply(300);  // 33 ms per character
  std::vector<uint8_t> block(30, 0);
  uint32_t written = 0;
  int32_t error = 0;
  ASSERT_TRUE(l.pc->Write(block.data(), 30, &written, &error));
  ASSERT_TRUE(l.pc->SetEventMask(kEvTxEmpty, &error));
  uint32_t mask = 1;
  const auto start = TLineClock::now();
  ASSERT_TRUE(l.pc->WaitEvent(&mask, 30, &error));
  EXPECT_EQ(mask, 0u);  // not empty yet: the limit ended the wait
  EXPECT_LT(TMs(TLineClock::now() - start).count(), 300.0);
}

TEST(InProcLinePacing, PeerBytesArriveAtTheLineRatePlusLatency) {
  TOpenLine l({.pace = true, .latencyMs = 20});
  l.Apply(9600);
  l.SetTimeouts(0, 0, 1000);
  std::vector<uint8_t> reply(20, 0x3C);
  l.line->PeerWrite(reply.data(), reply.size());
  uint32_t got = 0;
  const TMs took = l.TimedRead(20, &got);
  EXPECT_EQ(got, 20u);
  EXPECT_GE(took.count(), 20 + 20 * 1.042 - 1);
  EXPECT_LT(took.count(), 500.0);
}

TEST(InProcLineLines, ModemLinesSettingsAndBreakReachThePeerStamped) {
  TOpenLine l;
  l.Apply(10400, kTwoStopBits);
  EXPECT_EQ(l.line->PeerSettings().baud, 10400u);
  EXPECT_EQ(l.line->PeerSettings().stopBits, kTwoStopBits);
  l.DrainPeer();

  EXPECT_TRUE(l.pc->Escape(kSetDtr));
  EXPECT_TRUE(l.line->PeerDtr());
  EXPECT_TRUE(l.pc->Escape(kSetRts));
  EXPECT_TRUE(l.line->PeerRts());
  EXPECT_TRUE(l.pc->SetBreak());
  EXPECT_TRUE(l.line->PeerBreak());
  std::this_thread::sleep_for(25ms);
  EXPECT_TRUE(l.pc->ClearBreak());
  EXPECT_FALSE(l.line->PeerBreak());
  const auto events = l.DrainPeer();
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[0].kind, TLineEvent::Kind::Dtr);
  EXPECT_TRUE(events[0].level);
  EXPECT_EQ(events[1].kind, TLineEvent::Kind::Rts);
  EXPECT_EQ(events[2].kind, TLineEvent::Kind::BreakOn);
  EXPECT_EQ(events[3].kind, TLineEvent::Kind::BreakOff);
  EXPECT_GE(events[3].at - events[2].at, 25ms);

  uint32_t status = 99;
  ASSERT_TRUE(l.pc->GetModemStatus(&status));
  EXPECT_EQ(status & kMsCtsOn, 0u);
  l.line->PeerSetCts(true);
  ASSERT_TRUE(l.pc->GetModemStatus(&status));
  EXPECT_EQ(status & kMsCtsOn, kMsCtsOn);
}

TEST(InProcLineLines, SecondOpenIsRefusedAndLevelsOutliveTheDevice) {
  TOpenLine l;
  int32_t error = 0;
  EXPECT_FALSE(l.line->OpenPcSide(&error));
  EXPECT_EQ(error, kErrorAccessDenied);
  ASSERT_TRUE(l.pc->Escape(kSetDtr));
  l.pc.reset();
  EXPECT_FALSE(l.line->PcSideOpen());
  EXPECT_TRUE(l.line->PeerDtr());
  auto again = l.line->OpenPcSide(&error);
  ASSERT_TRUE(again);
  TDcb dcb;
  ASSERT_TRUE(again->GetState(dcb, &error));
  EXPECT_EQ(dcb.fDtrControl, kDtrControlEnable);
}

TEST(InProcLineLines, PurgeDropsOnlyBytesThatHaveArrived) {
  TOpenLine l({.latencyMs = 40});
  l.SetTimeouts(0, 0, 10);
  const uint8_t early[] = {1, 2};
  l.line->PeerWrite(early, 2);
  std::this_thread::sleep_for(50ms);
  const uint8_t late[] = {3};
  l.line->PeerWrite(late, 1);  // still on its way for 40 ms
  int32_t error = 0;
  ASSERT_TRUE(l.pc->Purge(kPurgeRxClear, &error));
  l.SetTimeouts(0, 0, 200);
  uint8_t buffer[4] = {};
  uint32_t got = 0;
  ASSERT_TRUE(l.pc->Read(buffer, 4, &got, &error));
  ASSERT_EQ(got, 1u);
  EXPECT_EQ(buffer[0], 3);
}

TEST(InProcLineUnplug, EveryOperationFailsAndAWaitingReadWakes) {
  TOpenLine l;
  l.SetTimeouts(0, 0, 5000);
  int32_t readError = 0;
  bool readOk = true;
  std::thread reader([&] {
    uint8_t buffer[4];
    uint32_t got = 0;
    readOk = l.pc->Read(buffer, 4, &got, &readError);
  });
  std::this_thread::sleep_for(20ms);
  const auto start = TLineClock::now();
  l.line->Unplug();
  reader.join();
  EXPECT_LT(TMs(TLineClock::now() - start).count(), 1000.0);
  EXPECT_FALSE(readOk);
  EXPECT_EQ(readError, kErrorDeviceRemoved);
  int32_t error = 0;
  uint32_t written = 0;
  const uint8_t byte = 0;
  EXPECT_FALSE(l.pc->Write(&byte, 1, &written, &error));
  EXPECT_EQ(error, kErrorDeviceRemoved);
  TDcb dcb;
  EXPECT_FALSE(l.pc->SetState(dcb, &error));
  EXPECT_FALSE(l.pc->Escape(kSetDtr));
  uint32_t mask = 0;
  EXPECT_FALSE(l.pc->WaitEvent(&mask, 10, &error));
  l.pc.reset();
  EXPECT_FALSE(l.line->OpenPcSide(&error));
}

}  // namespace
}  // namespace quillorn

namespace quillorn {
namespace {

// Serves one in-process line as "line:test".
class TLineProvider final : public TSerialDeviceProvider {
 public:
  explicit TLineProvider(std::shared_ptr<TInProcLine> line) : line_(std::move(line)) {
    RegisterSerialDeviceProvider(this);
  }
  ~TLineProvider() override { UnregisterSerialDeviceProvider(this); }
  std::unique_ptr<TSerialDevice> TryOpen(const std::string& devicePath, bool* served, int32_t* error) override {
    *served = devicePath == "line:test";
    return *served ? line_->OpenPcSide(error) : nullptr;
  }

 private:
  std::shared_ptr<TInProcLine> line_;
};

// The port's own bound on the transmit wait must cover a line that really runs at the rate:
// a paced block reports EV_TXEMPTY, not the "cannot tell" of a bound that ran out.
TEST(InProcLinePort, TransmitWaitOfThePortOutlastsThePacedBlock) {
  auto line = TInProcLine::Create({.pace = true});
  TLineProvider provider(line);
  TPortMap::Instance().SetOverride(240, "line:test");
  {
    TSerialPort32 port("COM240", 9600, 8, kNoParity, kTwoStopBits);
    ASSERT_EQ(port.OpenError, 0);
    EXPECT_EQ(line->PeerSettings().stopBits, kTwoStopBits);
    int32_t error = 0;
    ASSERT_TRUE(port.SetEventMask(kEvTxEmpty, &error));
    const std::vector<uint8_t> block(64, 0x33);  // 64 x 11 bits at 9600: 73 ms
    uint32_t written = 0;
    const auto start = TLineClock::now();
    ASSERT_TRUE(port.Write(block.data(), 64, &written, &error));
    uint32_t mask = 0;
    ASSERT_TRUE(port.WaitEvent(&mask, &error));
    EXPECT_EQ(mask, kEvTxEmpty);
    EXPECT_GE(TLineClock::now() - start, std::chrono::microseconds(64 * 1146));
    EXPECT_TRUE(line->PcSideOpen());
  }
  EXPECT_FALSE(line->PcSideOpen());
  TPortMap::Instance().ClearOverrides();
}

}  // namespace
}  // namespace quillorn
