#pragma once
// The small serial-device interface TSerialPort32 sits on. Its operations and codes mirror the
// Windows communications API (one open device, synchronous calls, COMMTIMEOUTS semantics) so
// that the Win32 backend is a thin wrapper and the other backends emulate the same behaviour.
// The core never includes <windows.h>; the values below are the Windows ones.
#include <cstdint>
#include <memory>
#include <string>

namespace quillorn {

// Parity codes (DCB Parity).
inline constexpr uint8_t kNoParity = 0, kOddParity = 1, kEvenParity = 2, kMarkParity = 3, kSpaceParity = 4;
// Stop-bit codes (DCB StopBits).
inline constexpr uint8_t kOneStopBit = 0, kOne5StopBits = 1, kTwoStopBits = 2;
// The lines this program opens its ports with, in the codes above. The programmer's line asks
// for one and a half stop bits, which the drivers send as two (8N2); the ECU's K-line and the
// start-up check of the port take one (8N1).
struct TLineFormat {
  uint8_t parity;
  uint8_t stopBits;
  uint8_t dataBits;
};
inline constexpr TLineFormat kProgrammerLine{kNoParity, kOne5StopBits, 8};
inline constexpr TLineFormat kOneStopBitLine{kNoParity, kOneStopBit, 8};
// DTR/RTS control modes.
inline constexpr uint8_t kDtrControlDisable = 0, kDtrControlEnable = 1;
inline constexpr uint8_t kRtsControlDisable = 0, kRtsControlEnable = 1;
// Events (SetCommMask / WaitCommEvent).
inline constexpr uint32_t kEvRxChar = 0x0001, kEvTxEmpty = 0x0004, kEvCts = 0x0008, kEvBreak = 0x0040;
// PurgeComm flags.
inline constexpr uint32_t kPurgeTxAbort = 1, kPurgeRxAbort = 2, kPurgeTxClear = 4, kPurgeRxClear = 8;
// EscapeCommFunction functions.
inline constexpr uint32_t kSetRts = 3, kClrRts = 4, kSetDtr = 5, kClrDtr = 6, kSetBreak = 8, kClrBreak = 9;
// GetCommModemStatus bits.
inline constexpr uint32_t kMsCtsOn = 0x10, kMsDsrOn = 0x20, kMsRingOn = 0x40, kMsRlsdOn = 0x80;
// Platform error codes the portable backends report (same numbers as Windows).
inline constexpr int32_t kErrorFileNotFound = 2, kErrorAccessDenied = 5, kErrorInvalidHandle = 6,
                         kErrorGenFailure = 31, kErrorNotSupported = 50, kErrorInvalidParameter = 87,
                         kErrorOperationAborted = 995, kErrorDeviceRemoved = 1617;

// The part of the Windows device-control block the program reads or sets. A backend keeps
// whatever else its device reported and leaves it untouched when the block is applied.
struct TDcb {
  uint32_t BaudRate = 9600;
  uint8_t ByteSize = 8;
  uint8_t Parity = kNoParity;
  uint8_t StopBits = kOneStopBit;
  uint8_t fDtrControl = kDtrControlDisable;
  uint8_t fRtsControl = kRtsControlDisable;
  bool fBinary = true;
  bool fParity = false;
  bool fAbortOnError = false;
  bool fDsrSensitivity = false;
  bool fOutxCtsFlow = false;
  bool fOutxDsrFlow = false;
  bool fInX = false;
  bool fOutX = false;
  char EvtChar = 0;
};

// COMMTIMEOUTS, in this order; all values in milliseconds.
struct TCommTimeouts {
  uint32_t ReadIntervalTimeout = 0;
  uint32_t ReadTotalTimeoutMultiplier = 0;
  uint32_t ReadTotalTimeoutConstant = 0;
  uint32_t WriteTotalTimeoutMultiplier = 0;
  uint32_t WriteTotalTimeoutConstant = 0;
};

// COMSTAT: queue lengths reported by ClearError.
struct TComStat {
  uint32_t cbInQue = 0;
  uint32_t cbOutQue = 0;
};

// Wire time of one character in microseconds for a frame: start bit, data bits, parity bit
// unless none, stop bits (1.5 counted as 2). Used for pacing and for bounding transmit waits.
uint32_t CharacterTimeMicros(uint32_t baud, uint8_t dataBits, uint8_t parity, uint8_t stopBits);

// One open serial device. Every call is synchronous. error out receives the platform error
// code when a call fails (0 otherwise); it may be null.
class TSerialDevice {
 public:
  virtual ~TSerialDevice() = default;

  virtual bool GetState(TDcb& dcb, int32_t* error) = 0;
  virtual bool SetState(const TDcb& dcb, int32_t* error) = 0;
  virtual bool GetTimeouts(TCommTimeouts& timeouts, int32_t* error) = 0;
  virtual bool SetTimeouts(const TCommTimeouts& timeouts, int32_t* error) = 0;

  // ReadFile under the COMMTIMEOUTS in force: returns true with fewer bytes than asked when a
  // timeout ends the read; false only for a device fault.
  virtual bool Read(uint8_t* buffer, uint32_t count, uint32_t* bytesRead, int32_t* error) = 0;
  virtual bool Write(const uint8_t* buffer, uint32_t count, uint32_t* bytesWritten, int32_t* error) = 0;

  virtual bool Purge(uint32_t flags, int32_t* error) = 0;
  virtual bool ClearError(uint32_t* lineErrors, TComStat* status, int32_t* error) = 0;
  virtual bool SetEventMask(uint32_t mask, int32_t* error) = 0;

  // WaitCommEvent, bounded: waits at most limitMs for one of the selected events. Returns true
  // with *mask 0 when the limit passed or the driver could not tell (Wine on a pseudo-terminal
  // answers EV_TXEMPTY waits that way); false with an error code for a device fault.
  virtual bool WaitEvent(uint32_t* mask, uint32_t limitMs, int32_t* error) = 0;

  // EscapeCommFunction / GetCommModemStatus / SetCommBreak / ClearCommBreak. A device without
  // modem lines (a pseudo-terminal) returns false and nothing happens.
  virtual bool Escape(uint32_t function) = 0;
  virtual bool GetModemStatus(uint32_t* status) = 0;
  virtual bool SetBreak() = 0;
  virtual bool ClearBreak() = 0;
};

// Something that can open devices by their device path, consulted ahead of the platform
// backend: the virtual bench registers itself for the "sim:<model>,..." paths.
class TSerialDeviceProvider {
 public:
  virtual ~TSerialDeviceProvider() = default;
  // *served false: not this provider's path. Otherwise a device, or nullptr with *error set
  // when the path is this provider's but cannot be opened now.
  virtual std::unique_ptr<TSerialDevice> TryOpen(const std::string& devicePath, bool* served, int32_t* error) = 0;
  // The program is done with its ports. A provider that keeps state between opens (a virtual
  // ECU keeps its memory) saves it here; false with *error when it could not.
  virtual bool Release(std::string* error) { return true; }
};

// Providers are consulted in registration order; the caller keeps a provider alive until it
// unregisters it.
void RegisterSerialDeviceProvider(TSerialDeviceProvider* provider);
void UnregisterSerialDeviceProvider(TSerialDeviceProvider* provider);
// Releases every registered provider; false with the first failure's text in *error.
bool ReleaseSerialDeviceProviders(std::string* error);

// Opens a device by its port name ("COM3"): the port map (serial/PortMap.hpp) turns the name
// into a device path, the registered providers are asked first, then the platform backend. A
// "kind:..." path that no provider serves fails with a message naming the unknown kind.
// nullptr with *error set on failure.
std::unique_ptr<TSerialDevice> OpenSerialDevice(const std::string& portName, int32_t* error);

// The platform backend alone, by device path (Windows "\\.\COM3", POSIX "/dev/ttyUSB0").
std::unique_ptr<TSerialDevice> OpenPlatformSerialDevice(const std::string& devicePath, int32_t* error);

}  // namespace quillorn
