// What the device operations need of the user interface. The main window implements
// these with its widgets and message boxes, relay-cli with the terminal, tests with
// recorders. All calls come on the thread that drains the call queue.
#pragma once

#include <string>

namespace relay::device {

// The progress bar of reading and writing (0 to 32).
class IProgressView {
 public:
  virtual ~IProgressView() = default;
  virtual void SetProgressMaximum(int maximum) = 0;
  virtual void SetProgressPosition(int position) = 0;
  // What the bar says about the operation: how it ended ("读取完成：…", "扇区已
  // 清除"), or nothing while one runs.
  virtual void SetProgressText(const std::string& text) { (void)text; }
};

// The port button and the boxes it locks while the port is open.
class IPortView {
 public:
  virtual ~IPortView() = default;
  // caption: "打开串口" or "关闭串口"; the port and baud boxes are enabled or not.
  virtual void ShowPortState(const std::string& caption, bool portBoxesEnabled) = 0;
};

enum class TMessageIcon { Success, Error };

// Questions and message boxes. Texts are UTF-8.
class IDeviceDialogs {
 public:
  virtual ~IDeviceDialogs() = default;
  // A question with the buttons "是" and "否"; true for "是". Received data may be
  // handled while the question is open.
  virtual bool Ask(const std::string& title, const std::string& text) = 0;
  virtual void Inform(const std::string& title, const std::string& text, TMessageIcon icon) = 0;
};

enum class TDeviceCommand { Read, Write, Erase, Restart };

enum class TDeviceOutcome {
  Done,            // read: list filled; write/erase: acknowledged and the restart question answered
  NotSent,         // the port is closed: the frame was dropped
  NothingToWrite,  // "没有指令！"
  NotHexText,      // an entry is no hex text; nothing was sent (the user has been told)
  NotWhole,        // an entry holds no whole Instructions, or a filler stands before the
                   // last Instruction; nothing was sent (the user has been told)
  PortClosed,      // the port is not open: nothing was done (the user has been told)
  Declined,        // the erase question was answered with "否"
  NoAnswer,        // the device did not answer in time (the user has been told)
};

// Optional: told when a command has come to its end. relay-cli waits for it; the main
// window needs none of it.
class IDeviceListener {
 public:
  virtual ~IDeviceListener() = default;
  virtual void CommandEnded(TDeviceCommand command, TDeviceOutcome outcome) = 0;
};

}  // namespace relay::device
