#pragma once
// TProtocol: the base of the drivers that share one serial port and one link state. It holds
// the echo-checked link primitives with their timeouts and cancellation, and the image-file
// slots, which image/ carries out through the driver's own WriteBlock/ReadBlock.
#include <cstdint>
#include <string>

#include "protocol/LinkState.hpp"
#include "report/ResultCodes.hpp"

namespace quillorn {

class TProtocol {
 public:
  explicit TProtocol(TLinkState& link);
  virtual ~TProtocol();
  TProtocol(const TProtocol&) = delete;
  TProtocol& operator=(const TProtocol&) = delete;

  // Virtual operations, in slot order. Each returns a ResultCode and leaves it in LastResult.
  virtual ResultCode Open(uint8_t portNumber, int baud, uint8_t parity, uint8_t stopBits, uint8_t dataBits);
  ResultCode Open(uint8_t portNumber, int baud, const TLineFormat& line) {
    return Open(portNumber, baud, line.parity, line.stopBits, line.dataBits);
  }
  virtual ResultCode Reopen();
  virtual ResultCode Close();
  virtual ResultCode WriteBlock(uint32_t address, const uint8_t* data, uint8_t count);
  virtual ResultCode ReadBlock(uint32_t address, uint8_t* buffer, uint8_t count);
  virtual ResultCode Start(uint16_t address);
  virtual ResultCode Finish();
  virtual ResultCode LoadBinaryFile(const std::string& fileName, uint32_t address);
  virtual ResultCode LoadSRecordFile(const std::string& fileName);
  virtual ResultCode SaveToFile(const std::string& fileName, uint32_t address, uint32_t count);
  virtual ResultCode SaveBanksToFile(const std::string& fileName, uint32_t address, uint32_t count,
                                     uint32_t bankAddress, uint32_t bankCount, uint8_t firstBank, uint8_t bankTotal);

  // Link primitives.
  void SetReplyTimeout(uint32_t ms);
  ResultCode ReceiveByte(uint8_t& byte);
  ResultCode ReceiveBlock(uint8_t* buffer, uint32_t count, uint32_t& received);
  ResultCode SendByte(uint8_t byte);
  ResultCode SendBlock(const uint8_t* data, uint32_t count);
  // A short control request in one write, every echo compared afterwards. The bytes reach the
  // peer back to back, whatever the adapter's delay before the echoes come back; the results
  // are SendByte's: 33 for a missing or different echo, whatever ended the wait.
  ResultCode SendChecked(const uint8_t* data, uint32_t count);

  // Line helpers: no effect without a port.
  void SetDtr();
  void ClearDtr();
  void SetRts();
  void ClearRts();

  // How long the echo of count bytes sent in one write may take at linkBaud, in ms: ten bit
  // times per byte plus 4 ms, in the integer steps of kbit/s. Below 1000 bit/s (a rate only a
  // hand-edited setting can give) the kbit/s step is 0, so the real wire time is used instead:
  // eleven bit times per byte (start, 8 data, 2 stop), rounded up, plus 4 ms.
  static uint32_t EchoTimeoutMs(uint32_t count, int linkBaud);

  TLinkState& Link;
  uint8_t AppendToFile = 0;
  char Name[11] = {};

 protected:
  ResultCode Store(ResultCode result) { return Link.LastResult = result; }
  void SetName(const char* name);

 private:
  // The sticky "no port" result: true (and LastResult 6) when the primitives must not touch
  // the port.
  bool PortUnusable();
  // Waits until the port reports the transmit buffer empty, or says it cannot tell.
  bool WaitTransmitEmpty();
  // Arms the transmit-empty event and writes count bytes in one write, noting when it began;
  // 0, or the code the send ends with (LastResult set).
  ResultCode WriteWhole(const uint8_t* data, uint32_t count, uint64_t& startMicros);
  // Notes how long the echo of count bytes written at startMicros took beyond their wire time.
  void NoteEchoLatency(uint64_t startMicros, uint32_t count);
  // One port read of up to count bytes under the timeouts in force; returns the bytes read.
  uint32_t ReadSome(uint8_t* buffer, uint32_t count);
};

}  // namespace quillorn
