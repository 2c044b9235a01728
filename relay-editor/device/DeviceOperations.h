// The main window's conversations with the relay controller, without widgets: the port
// button, "从设备读取", "全部写入", "清除扇区" and the restart offered after writing or
// erasing. Every step after the first frame is taken when the controller's answer
// arrives through the receive path; one frame is in flight at a time. All calls on the
// thread that drains the call queue.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "device/CallQueue.h"
#include "device/DeviceInterfaces.h"
#include "device/Frames.h"
#include "device/SPComm.h"

namespace relay::model {
class ProgramList;
}

namespace relay::device {

// A text that is not a decimal integer: "'%s' is not a valid integer value".
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr auto kDefaultAnswerTimeout = std::chrono::milliseconds(2000);

class TDeviceOperations {
 public:
  // Takes over comm.OnReceiveData. The listener may be null.
  TDeviceOperations(TComm& comm, TCallQueue& queue, model::ProgramList& list,
                    IProgressView& progress, IDeviceDialogs& dialogs, IPortView* portView = nullptr,
                    IDeviceListener* listener = nullptr);
  ~TDeviceOperations();
  TDeviceOperations(const TDeviceOperations&) = delete;
  TDeviceOperations& operator=(const TDeviceOperations&) = delete;

  // The "地    址" box (0-255), read whenever a frame is built.
  void SetModuleAddress(int address);
  int ModuleAddress() const { return address_; }
  // "写入指令时自动优化清单中的指令".
  void SetOptimiseBeforeWrite(bool on) { optimise_ = on; }
  bool OptimiseBeforeWrite() const { return optimise_; }
  // How long to wait for each answer; 0 waits for ever.
  void SetAnswerTimeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }
  std::chrono::milliseconds AnswerTimeout() const { return timeout_; }

  // The port button. Opening sets 8N1 without XON/XOFF, the baud rate from its text and
  // the port name, then opens; it throws ECommsError or EConvertError, and the caption
  // then stays "打开串口". Closing never throws.
  void PressPortButton(const std::string& portText, const std::string& baudText);
  const std::string& PortButtonCaption() const { return caption_; }
  bool PortOpen() const;  // the caption reads "关闭串口"
  bool PortBoxesEnabled() const { return !PortOpen(); }

  // "从设备读取": clears the Program list and reads the 32 blocks into it. With the port
  // closed it says so and leaves the list as it is.
  void ReadFromDevice();
  // "全部写入": optionally optimises, then writes the list's device image. A list with an
  // entry that cannot be written whole (no hex text, no whole Instructions, a filler
  // before the last Instruction) is refused with a warning naming the entry, and a closed
  // port is named, before the first frame.
  void WriteAll();
  // "清除扇区": asks, then erases the program sector; with the port closed it says so
  // instead of asking.
  void EraseSector();
  // The restart frame with the current address; its answer is not evaluated.
  void Restart();

  // The hidden button: builds the device image from the Program list.
  void BuildImage();
  // Fills the Program list from a complete device image; nothing otherwise.
  void TakeImageApart();

  // Sends a frame given as hex text: false, and nothing sent, while the port is closed.
  // Clears the receive buffer first.
  bool Send(const std::string& frameText);
  // The receive path: appends the chunk to the receive buffer and acts on an answer.
  void Receive(const std::uint8_t* bytes, std::size_t count);

  const std::string& ReceiveBuffer() const { return receiveBuffer_; }
  const std::string& DeviceImage() const { return image_; }
  int ReadCounter() const { return readCounter_; }
  int WriteCounter() const { return writeCounter_; }

 private:
  void HandleAnswer();
  void HandleAcknowledgement(std::uint8_t block);
  void HandleReadAnswer(const std::string& data);
  void AskRestart(const std::string& question);
  void SendAwaitingAnswer(const std::string& frameText, TDeviceCommand command, int block);
  void ArmTimeout(TDeviceCommand command, int block);
  void CancelTimeout();
  void TimedOut(TDeviceCommand command, int block);
  void Ended(TDeviceCommand command, TDeviceOutcome outcome);
  void ShowPort();
  bool RefuseClosedPort(TDeviceCommand command);

  TComm& comm_;
  TCallQueue& queue_;
  model::ProgramList& list_;
  IProgressView& progress_;
  IDeviceDialogs& dialogs_;
  IPortView* portView_;
  IDeviceListener* listener_;
  std::shared_ptr<TDeviceOperations*> self_;  // lets a pending time-out see that we are gone

  int address_ = 255;
  bool optimise_ = false;
  std::chrono::milliseconds timeout_ = kDefaultAnswerTimeout;
  std::string caption_;
  std::string receiveBuffer_;
  std::string image_;
  int readCounter_ = 0;
  int writeCounter_ = 0;
  TCallQueue::TTimerId timer_ = 0;
  std::optional<TDeviceCommand> timerCommand_;  // what the pending time-out watches
};

// The Chinese texts of the device operations, shared with the tests.
namespace texts {
inline constexpr const char* kOpenPort = "打开串口";
inline constexpr const char* kClosePort = "关闭串口";
inline constexpr const char* kWarningTitle = "警告：";
inline constexpr const char* kNoticeTitle = "提示：";
inline constexpr const char* kQuestionTitle = "警告！";
inline constexpr const char* kNoInstructions = "没有指令！";
inline constexpr const char* kWriteSucceeded = "写入成功！";
inline constexpr const char* kRestartAfterWrite = "已成功写入数据，需要重启设备吗？按 是 确认";
inline constexpr const char* kRestartAfterErase = "已成功清除扇区数据，需要重启设备吗？按 是 确认";
inline constexpr const char* kConfirmErase = "         本操作将清除设备编程扇区的数据，按 是 确认";
inline constexpr const char* kPortClosed = "串口未打开！请先在“通讯设置”页打开串口。";
// The progress bar's texts.
inline constexpr const char* kProgressPortClosed = "串口未打开";
inline constexpr const char* kProgressWritten = "写入完成";
inline constexpr const char* kProgressErased = "扇区已清除";
inline constexpr const char* kProgressNoAnswer = "设备没有应答";
}  // namespace texts

// Why a program with an entry that is no hex text is not written; `position` counts
// from 1 as the list shows it.
std::string NotHexTextMessage(std::size_t position);

// The progress bar's text after a complete read: "读取完成：共 N 条指令".
std::string ReadDoneText(std::size_t entries);

// "设备没有应答：..." naming the command and, for reading and writing, the block.
std::string NoAnswerMessage(TDeviceCommand command, int block, std::chrono::milliseconds timeout);

}  // namespace relay::device
