#pragma once
// The main window's link to the relay controller: owns the call queue, the
// serial component and the device operations, and hands their progress,
// port state and questions to the window and the dialog interface. What a read
// or an optimising write does to the Program list is one undo step.

#include "Dialogs.h"
#include "ProgramHistory.h"
#include "model/ProgramList.h"

#include <functional>
#include <memory>
#include <string>

namespace relay::device {
class TCallQueue;
class TComm;
class TDeviceOperations;
}  // namespace relay::device

namespace relay::app {

class DeviceCommands {
 public:
  DeviceCommands(model::ProgramList& list, ProgramHistory& history, Dialogs& dialogs);
  ~DeviceCommands();

  // The queue whose descriptor the GUI thread watches and drains.
  device::TCallQueue& queue();
  int queueDescriptor();
  void drainQueue();
  device::TDeviceOperations& operations();

  // The port button: opens with the port box's and baud box's texts, or
  // closes. Throws the serial component's or the conversion's error.
  void pressPortButton(const std::string& portText, const std::string& baudText);
  bool isOpen() const;
  void closePort();

  void setAddress(int address);
  void readFromDevice();
  void writeAll(bool optimiseFirst);
  void eraseSector();

  // Set by the window.
  std::function<void(int value, int maximum)> onProgress;
  // How the last operation ended, for the progress bar; empty while one runs.
  std::function<void(const std::string& text)> onProgressText;
  std::function<void(const std::string& caption, bool portBoxesEnabled)> onPortState;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace relay::app
