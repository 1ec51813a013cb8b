#pragma once
// The PC end of a TInProcLine: a serial device with the Windows semantics the rest of the
// program expects (COMMTIMEOUTS reads, purges, events, modem lines, break).
#include <memory>

#include "sim/link/InProcLine.hpp"

namespace quillorn {

class TInProcPcDevice final : public TSerialDevice {
 public:
  explicit TInProcPcDevice(std::shared_ptr<TInProcLine> line);
  ~TInProcPcDevice() override;

  bool GetState(TDcb& dcb, int32_t* error) override;
  bool SetState(const TDcb& dcb, int32_t* error) override;
  bool GetTimeouts(TCommTimeouts& timeouts, int32_t* error) override;
  bool SetTimeouts(const TCommTimeouts& timeouts, int32_t* error) override;
  bool Read(uint8_t* buffer, uint32_t count, uint32_t* bytesRead, int32_t* error) override;
  bool Write(const uint8_t* buffer, uint32_t count, uint32_t* bytesWritten, int32_t* error) override;
  bool Purge(uint32_t flags, int32_t* error) override;
  bool ClearError(uint32_t* lineErrors, TComStat* status, int32_t* error) override;
  bool SetEventMask(uint32_t mask, int32_t* error) override;
  bool WaitEvent(uint32_t* mask, uint32_t limitMs, int32_t* error) override;
  bool Escape(uint32_t function) override;
  bool GetModemStatus(uint32_t* status) override;
  bool SetBreak() override;
  bool ClearBreak() override;

 private:
  using TLock = std::unique_lock<std::mutex>;
  bool Unplugged(int32_t* error) const;  // with the line's mutex held
  void SetLevel(bool& level, bool on, TLineEvent::Kind kind);  // with the line's mutex held
  void SetBreakLevel(bool on);                                  // with the line's mutex held
  void PushToPeer(TLineEvent event);                            // with the line's mutex held
  uint32_t ArrivedCount(TLineClock::time_point now) const;     // with the line's mutex held

  std::shared_ptr<TInProcLine> line_;
  TDcb dcb_{};
  TCommTimeouts timeouts_{};
  uint32_t eventMask_ = 0;
};

}  // namespace quillorn
