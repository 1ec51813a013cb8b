#include "serial/SerialPort32.hpp"

#include <algorithm>
#include <cstring>

#include "serial/OpenFailure.hpp"

namespace quillorn {

bool TSerialPort32::DtrOn = false;
bool TSerialPort32::RtsOn = false;

namespace {

void ResetError(int32_t* error) {
  if (error) *error = 0;
}

// Copies name into the fixed field; false when it does not fit (or is missing), because a cut
// name would open a different port ("COM12345" is not "COM1234").
bool CopyPortName(char (&field)[8], const char* name) {
  std::memset(field, 0, sizeof(field));
  if (!name) return false;
  const size_t length = std::strlen(name);
  std::memcpy(field, name, std::min(length, sizeof(field) - 1));
  return length > 0 && length < sizeof(field);
}

}  // namespace

TSerialPort32::TSerialPort32(const char* portName, uint32_t baudRate, uint8_t byteSize, uint8_t parity,
                             uint8_t stopBits) {
  Baud = baudRate;
  DataBits = byteSize;
  ParityCode = parity;
  StopBitsCode = stopBits;
  Timeouts.reset();
  const bool nameFits = CopyPortName(PortName, portName);
  OpenError = 0;
  if (!nameFits) {
    OpenPlatformError = kErrorFileNotFound;
    HandleInvalid = true;
    OpenError = 1;
  } else if (!OpenDevice()) {
    OpenError = 1;
  } else if (!Handle->GetState(Dcb, &OpenPlatformError)) {
    InvalidateHandle();
    OpenError = 2;
  } else if (!ApplyLineSettings()) {
    InvalidateHandle();
    OpenError = 3;
  }
  Timeouts = std::make_unique<TCommTimeouts>();
}

TSerialPort32::~TSerialPort32() = default;

bool TSerialPort32::OpenDevice() {
  OpenPlatformError = 0;
  TakeOpenFailure();  // nothing stale from an earlier open
  Handle = OpenSerialDevice(PortName, &OpenPlatformError);
  HandleInvalid = Handle == nullptr;
  OpenErrorText = HandleInvalid ? TakeOpenFailure() : std::string();
  if (HandleInvalid && OpenPlatformError == 0) OpenPlatformError = kErrorFileNotFound;
  return !HandleInvalid;
}

void TSerialPort32::InvalidateHandle() {
  Handle.reset();
  HandleInvalid = true;
}

bool TSerialPort32::ApplyLineSettings() {
  if (DataBits < 4 || DataBits > 8) DataBits = 8;
  if (ParityCode > kSpaceParity) ParityCode = kSpaceParity;
  if (StopBitsCode > kTwoStopBits) StopBitsCode = kTwoStopBits;
  Dcb.BaudRate = Baud;
  Dcb.ByteSize = DataBits;
  Dcb.Parity = ParityCode;
  Dcb.StopBits = StopBitsCode;
  // The lines keep the levels last requested, also across port objects.
  Dcb.fDtrControl = DtrOn ? kDtrControlEnable : kDtrControlDisable;
  Dcb.fRtsControl = RtsOn ? kRtsControlEnable : kRtsControlDisable;
  Dcb.fAbortOnError = false;
  Dcb.fDsrSensitivity = false;
  Dcb.fOutxCtsFlow = false;
  Dcb.fOutxDsrFlow = false;
  Dcb.fInX = false;
  Dcb.fOutX = false;
  if (!Handle) {
    OpenPlatformError = kErrorInvalidHandle;
    return false;
  }
  return Handle->SetState(Dcb, &OpenPlatformError);
}

bool TSerialPort32::Configure(const char* portName, uint32_t baudRate, uint8_t byteSize, uint8_t parity,
                              uint8_t stopBits) {
  const bool nameFits = CopyPortName(PortName, portName);
  Baud = baudRate;
  DataBits = byteSize;
  StopBitsCode = stopBits;  // the parity stays as constructed
  OpenError = 0;
  OpenPlatformError = 0;
  // A present handle is reused, even the invalid one a failed construction left: that one
  // then fails at the settings query below, as the platform would with its invalid handle.
  if (!Handle && !HandleInvalid) {
    if (!nameFits) {
      OpenPlatformError = kErrorFileNotFound;
      HandleInvalid = true;
      OpenError = 1;
      return false;
    }
    if (!OpenDevice()) {
      OpenError = 1;
      return false;
    }
  }
  if (!Handle) {
    OpenPlatformError = kErrorInvalidHandle;
    OpenError = 2;
    return false;
  }
  if (!Handle->GetState(Dcb, &OpenPlatformError)) {
    InvalidateHandle();
    OpenError = 2;
    return false;
  }
  if (!ApplyLineSettings()) {
    InvalidateHandle();
    OpenError = 3;
    return false;
  }
  return true;
}

bool TSerialPort32::Usable(int32_t* error) const {
  if (OpenError != 0) return false;
  if (!Handle) {
    if (error) *error = kErrorInvalidHandle;
    return false;
  }
  return true;
}

bool TSerialPort32::Read(void* buffer, uint32_t count, uint32_t* bytesRead, int32_t* error) {
  ResetError(error);
  uint32_t received = 0;
  if (bytesRead) *bytesRead = 0;
  if (!Usable(error)) return false;
  int32_t code = 0;
  const bool ok = Handle->Read(static_cast<uint8_t*>(buffer), count, &received, &code);
  if (bytesRead) *bytesRead = received;
  if (!ok) {
    // A fault must never look like a plain timeout (false with error 0) to the caller.
    if (error) *error = code != 0 ? code : kErrorGenFailure;
    return false;
  }
  return received == count;
}

bool TSerialPort32::Write(const void* buffer, uint32_t count, uint32_t* bytesWritten, int32_t* error) {
  ResetError(error);
  if (bytesWritten) *bytesWritten = 0;
  if (!Usable(error)) return false;
  uint32_t written = 0;
  const bool ok = Handle->Write(static_cast<const uint8_t*>(buffer), count, &written, error);
  if (bytesWritten) *bytesWritten = written;
  // Counted as asked, not as reported: the wait bound must cover whatever reached the driver.
  PendingTxBytes = count > UINT32_MAX - PendingTxBytes ? UINT32_MAX : PendingTxBytes + count;
  return ok;
}

bool TSerialPort32::SetTimeouts(uint32_t readInterval, uint32_t readTotalMultiplier, uint32_t readTotalConstant,
                                uint32_t writeTotalMultiplier, uint32_t writeTotalConstant, int32_t* error) {
  ResetError(error);
  if (!Usable(error)) return false;
  Timeouts->ReadIntervalTimeout = readInterval;
  Timeouts->ReadTotalTimeoutMultiplier = readTotalMultiplier;
  Timeouts->ReadTotalTimeoutConstant = readTotalConstant;
  Timeouts->WriteTotalTimeoutMultiplier = writeTotalMultiplier;
  Timeouts->WriteTotalTimeoutConstant = writeTotalConstant;
  return Handle->SetTimeouts(*Timeouts, error);
}

TCommTimeouts* TSerialPort32::GetTimeouts(int32_t* error) {
  ResetError(error);
  if (OpenError != 0) return Timeouts.get();
  if (!Usable(error)) return nullptr;
  if (!Handle->GetTimeouts(*Timeouts, error)) return nullptr;
  return Timeouts.get();
}

bool TSerialPort32::AbortTransmit(int32_t* error) {
  ResetError(error);
  return Usable(error) && Handle->Purge(kPurgeTxAbort, error);
}

bool TSerialPort32::ClearTransmit(int32_t* error) {
  ResetError(error);
  return Usable(error) && Handle->Purge(kPurgeTxClear, error);
}

bool TSerialPort32::AbortReceive(int32_t* error) {
  ResetError(error);
  return Usable(error) && Handle->Purge(kPurgeRxAbort, error);
}

bool TSerialPort32::ClearReceive(int32_t* error) {
  ResetError(error);
  return Usable(error) && Handle->Purge(kPurgeRxClear, error);
}

bool TSerialPort32::ClearError(uint32_t* lineErrors, TComStat* status, int32_t* error) {
  ResetError(error);
  return Usable(error) && Handle->ClearError(lineErrors, status, error);
}

// An unbounded WaitCommEvent would hang a job for good on a driver that never reports
// EV_TXEMPTY (Wine on a pseudo-terminal answers such a wait with mask 0; some adapters' drivers
// never signal it). Everything written since the last wait leaves the line within its wire
// time, so that time plus a generous margin (a quarter more, plus 50 ms for the driver and USB
// scheduling) bounds the wait; a mask of 0 then tells the caller the driver did not say.
uint32_t TSerialPort32::WaitLimitMs() const {
  const uint64_t charMicros = CharacterTimeMicros(Baud, DataBits, ParityCode, StopBitsCode);
  const uint64_t wireMicros = charMicros * PendingTxBytes;
  const uint64_t limitMs = (wireMicros + wireMicros / 4 + 999) / 1000 + 50;
  return static_cast<uint32_t>(std::min<uint64_t>(limitMs, UINT32_MAX - 1));
}

bool TSerialPort32::WaitEvent(uint32_t* mask, int32_t* error) {
  ResetError(error);
  uint32_t events = 0;
  if (mask) *mask = 0;
  if (!Usable(error)) return false;
  const uint32_t limitMs = WaitLimitMs();
  PendingTxBytes = 0;
  const bool ok = Handle->WaitEvent(&events, limitMs, error);
  if (mask) *mask = events;
  return ok;
}

bool TSerialPort32::SetEventChar(char character) {
  if (OpenError != 0 || !Handle) return false;
  Dcb.EvtChar = character;
  int32_t ignored = 0;
  return Handle->SetState(Dcb, &ignored);
}

bool TSerialPort32::SetEventMask(uint32_t mask, int32_t* error) {
  ResetError(error);
  return Usable(error) && Handle->SetEventMask(mask, error);
}

void TSerialPort32::RaiseDtr() {
  if (Handle) Handle->Escape(kSetDtr);
  DtrOn = true;
}

void TSerialPort32::DropDtr() {
  if (Handle) Handle->Escape(kClrDtr);
  DtrOn = false;
}

void TSerialPort32::RaiseRts() {
  if (Handle) Handle->Escape(kSetRts);
  RtsOn = true;
}

void TSerialPort32::DropRts() {
  if (Handle) Handle->Escape(kClrRts);
  RtsOn = false;
}

uint32_t TSerialPort32::IsCtsOn() {
  uint32_t status = 0;
  if (!Handle || !Handle->GetModemStatus(&status)) return 0;
  return status & kMsCtsOn;
}

bool TSerialPort32::SetBreak() {
  return Handle && Handle->SetBreak();
}

bool TSerialPort32::ClearBreak() {
  return Handle && Handle->ClearBreak();
}

}  // namespace quillorn
