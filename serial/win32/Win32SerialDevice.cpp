// The Windows serial backend: a thin layer over the communications API. The handle is opened
// for overlapped input/output so that every call can be bounded: a plain WaitCommEvent cannot
// be, and some drivers (Wine on a pseudo-terminal, a few USB adapters) never report
// EV_TXEMPTY. Reads and writes still complete under the COMMTIMEOUTS in force, as the
// synchronous calls would.
#include <windows.h>

#include <string>

#include "serial/DeviceProbe.hpp"
#include "platform/SystemErrorText.hpp"
#include "platform/WideText_win32.hpp"
#include "serial/OpenFailure.hpp"
#include "serial/SerialDevice.hpp"

namespace quillorn {
namespace {

void ResetError(int32_t* error) {
  if (error) *error = 0;
}

bool FailLast(int32_t* error) {
  if (error) *error = static_cast<int32_t>(GetLastError());
  return false;
}

void CopyToPortable(const DCB& real, TDcb& dcb) {
  dcb.BaudRate = real.BaudRate;
  dcb.ByteSize = real.ByteSize;
  dcb.Parity = real.Parity;
  dcb.StopBits = real.StopBits;
  dcb.fDtrControl = static_cast<uint8_t>(real.fDtrControl);
  dcb.fRtsControl = static_cast<uint8_t>(real.fRtsControl);
  dcb.fBinary = real.fBinary != 0;
  dcb.fParity = real.fParity != 0;
  dcb.fAbortOnError = real.fAbortOnError != 0;
  dcb.fDsrSensitivity = real.fDsrSensitivity != 0;
  dcb.fOutxCtsFlow = real.fOutxCtsFlow != 0;
  dcb.fOutxDsrFlow = real.fOutxDsrFlow != 0;
  dcb.fInX = real.fInX != 0;
  dcb.fOutX = real.fOutX != 0;
  dcb.EvtChar = real.EvtChar;
}

// Only the members the program knows change; XON/XOFF limits and characters, error and
// end-of-file characters stay as the driver has them.
void OverlayOnReal(const TDcb& dcb, DCB& real) {
  real.BaudRate = dcb.BaudRate;
  real.ByteSize = dcb.ByteSize;
  real.Parity = dcb.Parity;
  real.StopBits = dcb.StopBits;
  real.fDtrControl = dcb.fDtrControl;
  real.fRtsControl = dcb.fRtsControl;
  real.fBinary = dcb.fBinary;
  real.fParity = dcb.fParity;
  real.fAbortOnError = dcb.fAbortOnError;
  real.fDsrSensitivity = dcb.fDsrSensitivity;
  real.fOutxCtsFlow = dcb.fOutxCtsFlow;
  real.fOutxDsrFlow = dcb.fOutxDsrFlow;
  real.fInX = dcb.fInX;
  real.fOutX = dcb.fOutX;
  real.EvtChar = dcb.EvtChar;
}

// One overlapped operation with its own manual-reset event.
class TOverlapped {
 public:
  TOverlapped() : ov_{} { ov_.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr); }
  ~TOverlapped() {
    if (ov_.hEvent) CloseHandle(ov_.hEvent);
  }
  TOverlapped(const TOverlapped&) = delete;
  TOverlapped& operator=(const TOverlapped&) = delete;
  bool Valid() const { return ov_.hEvent != nullptr; }
  OVERLAPPED* Get() {
    ResetEvent(ov_.hEvent);
    return &ov_;
  }
  HANDLE Event() const { return ov_.hEvent; }

 private:
  OVERLAPPED ov_;
};

class TWin32SerialDevice final : public TSerialDevice {
 public:
  explicit TWin32SerialDevice(HANDLE handle) : handle_(handle) {}
  ~TWin32SerialDevice() override { CloseHandle(handle_); }

  bool GetState(TDcb& dcb, int32_t* error) override {
    ResetError(error);
    DCB real{};
    real.DCBlength = sizeof(real);
    if (!GetCommState(handle_, &real)) return FailLast(error);
    CopyToPortable(real, dcb);
    return true;
  }

  bool SetState(const TDcb& dcb, int32_t* error) override {
    ResetError(error);
    DCB real{};
    real.DCBlength = sizeof(real);
    if (!GetCommState(handle_, &real)) return FailLast(error);
    OverlayOnReal(dcb, real);
    if (!SetCommState(handle_, &real)) return FailLast(error);
    return true;
  }

  bool GetTimeouts(TCommTimeouts& timeouts, int32_t* error) override {
    ResetError(error);
    COMMTIMEOUTS real{};
    if (!GetCommTimeouts(handle_, &real)) return FailLast(error);
    timeouts = {real.ReadIntervalTimeout, real.ReadTotalTimeoutMultiplier, real.ReadTotalTimeoutConstant,
                real.WriteTotalTimeoutMultiplier, real.WriteTotalTimeoutConstant};
    return true;
  }

  bool SetTimeouts(const TCommTimeouts& timeouts, int32_t* error) override {
    ResetError(error);
    COMMTIMEOUTS real{timeouts.ReadIntervalTimeout, timeouts.ReadTotalTimeoutMultiplier,
                      timeouts.ReadTotalTimeoutConstant, timeouts.WriteTotalTimeoutMultiplier,
                      timeouts.WriteTotalTimeoutConstant};
    if (!SetCommTimeouts(handle_, &real)) return FailLast(error);
    writeTimeouts_ = timeouts.WriteTotalTimeoutMultiplier != 0 || timeouts.WriteTotalTimeoutConstant != 0;
    return true;
  }

  bool Read(uint8_t* buffer, uint32_t count, uint32_t* bytesRead, int32_t* error) override {
    ResetError(error);
    if (bytesRead) *bytesRead = 0;
    if (!read_.Valid()) return FailLast(error);
    DWORD done = 0;
    OVERLAPPED* ov = read_.Get();
    if (!ReadFile(handle_, buffer, count, nullptr, ov) && GetLastError() != ERROR_IO_PENDING) return FailLast(error);
    // The driver ends the read by the COMMTIMEOUTS in force. The count comes from the
    // overlapped result even when the call completed at once: the direct one is unreliable.
    if (!GetOverlappedResult(handle_, ov, &done, TRUE)) return FailLast(error);
    if (bytesRead) *bytesRead = done;
    return true;
  }

  bool Write(const uint8_t* buffer, uint32_t count, uint32_t* bytesWritten, int32_t* error) override {
    ResetError(error);
    if (bytesWritten) *bytesWritten = 0;
    if (!write_.Valid()) return FailLast(error);
    DWORD done = 0;
    OVERLAPPED* ov = write_.Get();
    if (!WriteFile(handle_, buffer, count, nullptr, ov)) {
      if (GetLastError() != ERROR_IO_PENDING) return FailLast(error);
      // Without write timeouts the driver would wait for ever on a line that takes nothing.
      if (!writeTimeouts_ && WaitForSingleObject(write_.Event(), UnboundedWriteLimitMs(count)) == WAIT_TIMEOUT) {
        CancelIoEx(handle_, ov);
      }
    }
    if (!GetOverlappedResult(handle_, ov, &done, TRUE) && GetLastError() != ERROR_OPERATION_ABORTED) {
      return FailLast(error);
    }
    if (bytesWritten) *bytesWritten = done;
    return true;
  }

  bool Purge(uint32_t flags, int32_t* error) override {
    ResetError(error);
    return PurgeComm(handle_, flags) || FailLast(error);
  }

  bool ClearError(uint32_t* lineErrors, TComStat* status, int32_t* error) override {
    ResetError(error);
    DWORD errors = 0;
    COMSTAT real{};
    if (!ClearCommError(handle_, &errors, &real)) return FailLast(error);
    if (lineErrors) *lineErrors = errors;
    if (status) *status = {real.cbInQue, real.cbOutQue};
    return true;
  }

  bool SetEventMask(uint32_t mask, int32_t* error) override {
    ResetError(error);
    return SetCommMask(handle_, mask) || FailLast(error);
  }

  // A mask of 0 comes back when the limit passed or the driver ended the wait without naming
  // an event (Wine does that for EV_TXEMPTY on a pseudo-terminal).
  bool WaitEvent(uint32_t* mask, uint32_t limitMs, int32_t* error) override {
    ResetError(error);
    if (mask) *mask = 0;
    if (!wait_.Valid()) return FailLast(error);
    DWORD events = 0;
    DWORD ignored = 0;
    OVERLAPPED* ov = wait_.Get();
    if (WaitCommEvent(handle_, &events, ov)) {
      if (mask) *mask = events;
      return true;
    }
    if (GetLastError() != ERROR_IO_PENDING) return FailLast(error);
    if (WaitForSingleObject(wait_.Event(), limitMs) == WAIT_TIMEOUT) {
      CancelIoEx(handle_, ov);
      GetOverlappedResult(handle_, ov, &ignored, TRUE);
      return true;
    }
    if (!GetOverlappedResult(handle_, ov, &ignored, FALSE)) {
      return GetLastError() == ERROR_OPERATION_ABORTED || FailLast(error);
    }
    if (mask) *mask = events;
    return true;
  }

  // Drivers without modem lines (Wine on a pseudo-terminal) fail these with error 50: no effect.
  bool Escape(uint32_t function) override { return EscapeCommFunction(handle_, function) != 0; }

  bool GetModemStatus(uint32_t* status) override {
    DWORD lines = 0;
    if (!GetCommModemStatus(handle_, &lines)) return false;
    if (status) *status = lines;
    return true;
  }

  bool SetBreak() override { return SetCommBreak(handle_) != 0; }
  bool ClearBreak() override { return ClearCommBreak(handle_) != 0; }

 private:
  // Twice the wire time at the current rate plus two seconds.
  DWORD UnboundedWriteLimitMs(uint32_t count) const {
    DCB real{};
    real.DCBlength = sizeof(real);
    uint64_t charMicros = 11000;  // 1000 bit/s when the driver does not say
    if (GetCommState(handle_, &real)) {
      charMicros = CharacterTimeMicros(real.BaudRate, real.ByteSize, real.Parity, real.StopBits);
    }
    const uint64_t limit = 2 * charMicros * count / 1000 + 2000;
    return static_cast<DWORD>(limit > 0x7FFFFFFF ? 0x7FFFFFFF : limit);
  }

  HANDLE handle_;
  TOverlapped read_, write_, wait_;
  bool writeTimeouts_ = false;
};

}  // namespace

std::unique_ptr<TSerialDevice> OpenPlatformSerialDevice(const std::string& devicePath, int32_t* error) {
  ResetError(error);
  const HANDLE handle = CreateFileW(Widen(devicePath).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    NoteOpenFailure(SystemErrorText(static_cast<int>(code)));
    if (error) *error = static_cast<int32_t>(code);
    return nullptr;
  }
  return std::make_unique<TWin32SerialDevice>(handle);
}

// Access 0: asks only whether the device exists and is free, without touching its lines.
bool ProbePlatformSerialDevice(const std::string& devicePath) {
  const HANDLE handle = CreateFileW(Widen(devicePath).c_str(), 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  CloseHandle(handle);
  return true;
}

}  // namespace quillorn
