#pragma once
// One conversation of relay-cli with the controller: opens the port, runs device
// commands to their end and closes the port again, also when the program is
// interrupted. Progress and notes go to stderr.

#include <chrono>
#include <optional>
#include <string>

#include "cli_support.h"
#include "device/CallQueue.h"
#include "device/DeviceOperations.h"
#include "device/SPComm.h"
#include "interrupt_signals.h"
#include "model/ProgramList.h"

namespace relay::cli {

struct PortOptions {
  std::string port;
  int baud = 9600;
  int address = 255;
  int timeoutMs = 2000;
};

// The terminal side of a device command: progress and notes on stderr, the questions
// answered from the command line, the end of the command recorded.
class TerminalSession : public device::IProgressView,
                        public device::IDeviceDialogs,
                        public device::IDeviceListener {
 public:
  TerminalSession(Streams& streams, bool restart);

  void SetProgressMaximum(int maximum) override { maximum_ = maximum; }
  void SetProgressPosition(int position) override;
  bool Ask(const std::string& title, const std::string& text) override;
  void Inform(const std::string& title, const std::string& text,
              device::TMessageIcon icon) override;
  void CommandEnded(device::TDeviceCommand command, device::TDeviceOutcome outcome) override;

  void Expect(device::TDeviceCommand command);
  void SetRestart(bool restart) { restart_ = restart; }
  const std::optional<device::TDeviceOutcome>& Ended() const { return ended_; }
  const std::string& Failure() const { return failure_; }
  void EndLine();

 private:
  Streams& streams_;
  bool restart_;
  bool tty_;
  bool pendingLine_ = false;
  int maximum_ = 32;
  device::TDeviceCommand expected_ = device::TDeviceCommand::Read;
  std::optional<device::TDeviceOutcome> ended_;
  std::string failure_;
};

class DeviceSession {
 public:
  // Opens the port; throws Refused naming the port and the reason when it cannot.
  // `restart` answers the restart question after writing or erasing.
  DeviceSession(const PortOptions& options, Streams& streams, bool restart);
  ~DeviceSession();
  DeviceSession(const DeviceSession&) = delete;
  DeviceSession& operator=(const DeviceSession&) = delete;

  model::ProgramList& List() { return list_; }
  device::TDeviceOperations& Operations() { return ops_; }
  void SetRestart(bool restart) { terminal_.SetRestart(restart); }

  // Starts the command and drains the queue until it has ended. Throws Refused when
  // it did not come to a good end, Interrupted on SIGINT, SIGTERM or SIGHUP.
  void Run(device::TDeviceCommand command, void (device::TDeviceOperations::*start)());

 private:
  void WaitForWork(std::chrono::milliseconds limit);
  void FinishSending();

  PortOptions options_;
  TerminalSession terminal_;
  InterruptSignals signals_;  // before the port's threads start, so they inherit the mask
  device::TCallQueue queue_;
  device::TComm comm_;
  model::ProgramList list_;
  device::TDeviceOperations ops_;
};

}  // namespace relay::cli
