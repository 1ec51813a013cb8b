#pragma once
// TSerialPort32: the program's only access to the serial line. It opens one device, puts it in
// the fixed line discipline (8-bit transparent, no flow control, DTR and RTS as plain outputs)
// and offers the device operations one by one. No protocol knowledge lives here.
#include <cstdint>
#include <memory>
#include <string>

#include "serial/SerialDevice.hpp"

namespace quillorn {

class TSerialPort32 {
 public:
  // Never throws: the outcome is read from OpenError afterwards.
  TSerialPort32(const char* portName, uint32_t baudRate, uint8_t byteSize, uint8_t parity, uint8_t stopBits);
  virtual ~TSerialPort32();
  TSerialPort32(const TSerialPort32&) = delete;
  TSerialPort32& operator=(const TSerialPort32&) = delete;

  virtual bool Configure(const char* portName, uint32_t baudRate, uint8_t byteSize, uint8_t parity, uint8_t stopBits);
  // True only when exactly count bytes arrived; a timeout with fewer gives false, error 0.
  virtual bool Read(void* buffer, uint32_t count, uint32_t* bytesRead, int32_t* error);
  virtual bool Write(const void* buffer, uint32_t count, uint32_t* bytesWritten, int32_t* error);
  virtual bool SetTimeouts(uint32_t readInterval, uint32_t readTotalMultiplier, uint32_t readTotalConstant,
                           uint32_t writeTotalMultiplier, uint32_t writeTotalConstant, int32_t* error);
  virtual TCommTimeouts* GetTimeouts(int32_t* error);
  virtual bool AbortTransmit(int32_t* error);
  virtual bool ClearTransmit(int32_t* error);
  virtual bool AbortReceive(int32_t* error);
  virtual bool ClearReceive(int32_t* error);
  virtual bool ClearError(uint32_t* lineErrors, TComStat* status, int32_t* error);
  // Waits for a selected event, bounded by the wire time of the bytes written since the last
  // wait plus a margin; *mask 0 means the driver did not tell before the bound.
  virtual bool WaitEvent(uint32_t* mask, int32_t* error);
  virtual bool SetEventChar(char character);
  virtual bool SetEventMask(uint32_t mask, int32_t* error);
  virtual void RaiseDtr();
  virtual void DropDtr();
  virtual void RaiseRts();
  virtual void DropRts();
  virtual uint32_t IsCtsOn();
  virtual bool SetBreak();
  virtual bool ClearBreak();

  // Fields, as the rest of the program and the tests read them.
  TDcb Dcb;
  std::unique_ptr<TSerialDevice> Handle;  // null when the device is not open
  bool HandleInvalid = false;             // true: opening failed or the device was closed after a failure
  char PortName[8] = {};
  uint32_t Baud = 0;
  uint8_t DataBits = 8;
  uint8_t ParityCode = 0;
  uint8_t StopBitsCode = 0;
  std::unique_ptr<TCommTimeouts> Timeouts;
  uint8_t OpenError = 0;
  // The platform error code behind a nonzero OpenError (0 when none), for messages that say
  // why a port could not be used (missing, busy, settings refused).
  int32_t OpenPlatformError = 0;
  // The same in words when opening the device failed: the system's text, or the virtual
  // bench's message for a bad "sim:" path. Empty when none was given.
  std::string OpenErrorText;

  // Class-wide: the levels last requested, kept across instances so a new port object opens
  // with the lines where the previous one left them.
  static bool DtrOn;
  static bool RtsOn;

 private:
  bool ApplyLineSettings();
  void InvalidateHandle();
  bool OpenDevice();
  bool Usable(int32_t* error) const;
  uint32_t WaitLimitMs() const;
  uint32_t PendingTxBytes = 0;  // written since the last WaitEvent, for its bound
};

}  // namespace quillorn
