// TComm: the program's serial port. Opens a named port for exclusive use, applies the
// line settings and time-outs, sends byte blocks through a writing thread and hands every
// received chunk from a reading thread to the owner thread as an event. The threads talk
// to the owner only through the call queue given to the constructor; every event runs on
// the thread that drains that queue.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "device/CallQueue.h"

namespace relay::device {

class ECommsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class TDtrControl { DtrEnable, DtrDisable, DtrHandshake };
enum class TRtsControl { RtsEnable, RtsDisable, RtsHandshake, RtsTransmissionAvailable };
enum class TByteSize { _5, _6, _7, _8 };
enum class TParity { None, Odd, Even, Mark, Space };
enum class TStopBits { _1, _1_5, _2 };

// Line error flags of OnReceiveError.
inline constexpr std::uint32_t CE_RXOVER = 0x0001;
inline constexpr std::uint32_t CE_OVERRUN = 0x0002;
inline constexpr std::uint32_t CE_RXPARITY = 0x0004;
inline constexpr std::uint32_t CE_FRAME = 0x0008;
inline constexpr std::uint32_t CE_BREAK = 0x0010;
// Modem events of OnModemStateChange.
inline constexpr std::uint32_t ME_RING = 4;
inline constexpr std::uint32_t ME_CARRIER = 8;

class TComm;
using TReceiveDataEvent =
    std::function<void(TComm& sender, const std::uint8_t* buffer, std::uint16_t bufferLength)>;
using TReceiveErrorEvent = std::function<void(TComm& sender, std::uint32_t eventMask)>;
using TModemStateChangeEvent = std::function<void(TComm& sender, std::uint32_t modemEvent)>;
using TSendDataEmptyEvent = std::function<void(TComm& sender)>;
using TRequestHangupEvent = std::function<void(TComm& sender)>;

// "COMn" -> /dev/ttyS(n-1); a name without "/" -> /dev/<name>; anything else as given.
std::string ResolvePortPath(const std::string& commName);

struct TCommLineSettings {
  std::uint32_t BaudRate = 9600;
  bool ParityCheck = false;
  bool Outx_CtsFlow = false;
  bool Outx_DsrFlow = false;  // nothing reads it: the line has no DSR flow control here
  TDtrControl DtrControl = TDtrControl::DtrEnable;
  bool DsrSensitivity = false;   // nothing reads it: no DSR input is watched
  bool TxContinueOnXoff = true;  // nothing reads it: the driver decides after XOFF
  bool Outx_XonXoffFlow = true;
  bool Inx_XonXoffFlow = true;
  bool ReplaceWhenParityError = false;
  bool IgnoreNullChar = false;
  TRtsControl RtsControl = TRtsControl::RtsEnable;
  std::uint16_t XonLimit = 500;   // nothing reads it: the driver keeps its own limits
  std::uint16_t XoffLimit = 500;  // nothing reads it, likewise
  TByteSize ByteSize = TByteSize::_8;
  TParity Parity = TParity::None;
  TStopBits StopBits = TStopBits::_1;
  std::uint8_t XonChar = 0x11;
  std::uint8_t XoffChar = 0x13;
  std::uint8_t ReplacedChar = 0x00;
};

struct TCommTimeouts {
  std::uint32_t ReadIntervalTimeout = 100;  // ms between two bytes that ends a chunk
  std::uint32_t ReadTotalTimeoutMultiplier = 0;
  std::uint32_t ReadTotalTimeoutConstant = 0;
  std::uint32_t WriteTotalTimeoutMultiplier = 0;
  std::uint32_t WriteTotalTimeoutConstant = 0;
};

// A ReadIntervalTimeout of this value (with the read totals 0) delivers whatever has
// arrived at once.
inline constexpr std::uint32_t kReadIntervalImmediate = 0xFFFFFFFFu;
inline constexpr std::size_t kReadChunkMax = 2048;

struct TCommShared;  // state shared between the component and its two threads

class TComm {
 public:
  explicit TComm(TCallQueue& ownerQueue);
  ~TComm();  // closes an open port
  TComm(const TComm&) = delete;
  TComm& operator=(const TComm&) = delete;

  void OpenPort();   // throws ECommsError
  void ClosePort();  // does nothing when closed
  bool IsOpen() const { return shared_ != nullptr; }

  // Queues a copy of the bytes for the writing thread. False, and nothing sent, when
  // the port is closed or the count is 0 or above 65535.
  bool WriteData(const std::uint8_t* data, std::size_t count);

  // True while no written block is waiting to go out.
  bool SendDataEmpty() const;

  // Properties. Line settings changed while open are all applied at once, likewise the
  // five time-outs; while closed they are only stored. Applying may throw ECommsError.
  const std::string& CommName() const { return commName_; }
  void SetCommName(std::string name) { commName_ = std::move(name); }

  const TCommLineSettings& LineSettings() const { return line_; }
  void SetLineSettings(const TCommLineSettings& settings);
  std::uint32_t BaudRate() const { return line_.BaudRate; }
  void SetBaudRate(std::uint32_t v) {
    ChangeLine([&](auto& s) { s.BaudRate = v; });
  }
  void SetParityCheck(bool v) {
    ChangeLine([&](auto& s) { s.ParityCheck = v; });
  }
  void SetOutx_CtsFlow(bool v) {
    ChangeLine([&](auto& s) { s.Outx_CtsFlow = v; });
  }
  void SetOutx_DsrFlow(bool v) {
    ChangeLine([&](auto& s) { s.Outx_DsrFlow = v; });
  }
  void SetDtrControl(TDtrControl v) {
    ChangeLine([&](auto& s) { s.DtrControl = v; });
  }
  void SetDsrSensitivity(bool v) {
    ChangeLine([&](auto& s) { s.DsrSensitivity = v; });
  }
  void SetTxContinueOnXoff(bool v) {
    ChangeLine([&](auto& s) { s.TxContinueOnXoff = v; });
  }
  void SetOutx_XonXoffFlow(bool v) {
    ChangeLine([&](auto& s) { s.Outx_XonXoffFlow = v; });
  }
  void SetInx_XonXoffFlow(bool v) {
    ChangeLine([&](auto& s) { s.Inx_XonXoffFlow = v; });
  }
  void SetReplaceWhenParityError(bool v) {
    ChangeLine([&](auto& s) { s.ReplaceWhenParityError = v; });
  }
  void SetIgnoreNullChar(bool v) {
    ChangeLine([&](auto& s) { s.IgnoreNullChar = v; });
  }
  void SetRtsControl(TRtsControl v) {
    ChangeLine([&](auto& s) { s.RtsControl = v; });
  }
  void SetXonLimit(std::uint16_t v) {
    ChangeLine([&](auto& s) { s.XonLimit = v; });
  }
  void SetXoffLimit(std::uint16_t v) {
    ChangeLine([&](auto& s) { s.XoffLimit = v; });
  }
  void SetByteSize(TByteSize v) {
    ChangeLine([&](auto& s) { s.ByteSize = v; });
  }
  void SetParity(TParity v) {
    ChangeLine([&](auto& s) { s.Parity = v; });
  }
  void SetStopBits(TStopBits v) {
    ChangeLine([&](auto& s) { s.StopBits = v; });
  }
  void SetXonChar(std::uint8_t v) {
    ChangeLine([&](auto& s) { s.XonChar = v; });
  }
  void SetXoffChar(std::uint8_t v) {
    ChangeLine([&](auto& s) { s.XoffChar = v; });
  }
  void SetReplacedChar(std::uint8_t v) {
    ChangeLine([&](auto& s) { s.ReplacedChar = v; });
  }

  const TCommTimeouts& Timeouts() const { return timeouts_; }
  void SetTimeouts(const TCommTimeouts& timeouts);
  void SetReadIntervalTimeout(std::uint32_t v) {
    ChangeTimeouts([&](auto& t) { t.ReadIntervalTimeout = v; });
  }
  void SetReadTotalTimeoutMultiplier(std::uint32_t v) {
    ChangeTimeouts([&](auto& t) { t.ReadTotalTimeoutMultiplier = v; });
  }
  void SetReadTotalTimeoutConstant(std::uint32_t v) {
    ChangeTimeouts([&](auto& t) { t.ReadTotalTimeoutConstant = v; });
  }
  void SetWriteTotalTimeoutMultiplier(std::uint32_t v) {
    ChangeTimeouts([&](auto& t) { t.WriteTotalTimeoutMultiplier = v; });
  }
  void SetWriteTotalTimeoutConstant(std::uint32_t v) {
    ChangeTimeouts([&](auto& t) { t.WriteTotalTimeoutConstant = v; });
  }

  // Events, raised on the owner thread in the order the threads noticed them.
  // The program assigns only OnReceiveData.
  TReceiveDataEvent OnReceiveData;
  TReceiveErrorEvent OnReceiveError;          // raised; nothing in the program reads it
  TModemStateChangeEvent OnModemStateChange;  // raised; nothing in the program reads it
  TRequestHangupEvent OnRequestHangup;        // raised; nothing in the program reads it
  TSendDataEmptyEvent OnSendDataEmpty;        // raised; nothing in the program reads it

 private:
  template <class F>
  void ChangeLine(F change) {
    TCommLineSettings s = line_;
    change(s);
    SetLineSettings(s);
  }
  template <class F>
  void ChangeTimeouts(F change) {
    TCommTimeouts t = timeouts_;
    change(t);
    SetTimeouts(t);
  }
  void StopThreads();

  TCallQueue& queue_;
  // Posted events hold a weak reference, so a destroyed component raises nothing.
  std::shared_ptr<TComm*> self_;
  std::string commName_ = "COM2";
  TCommLineSettings line_;
  TCommTimeouts timeouts_;
  std::shared_ptr<TCommShared> shared_;
  std::thread reader_;
  std::thread writer_;
};

}  // namespace relay::device
