#include "device_session.h"

#include <poll.h>
#include <unistd.h>

namespace relay::cli {
namespace {

using namespace std::chrono_literals;
using device::TDeviceCommand;
using device::TDeviceOutcome;

constexpr int kBlocks = 32;

std::string WithoutLeadingBlanks(const std::string& text) {
  const auto start = text.find_first_not_of(' ');
  return start == std::string::npos ? text : text.substr(start);
}

}  // namespace

TerminalSession::TerminalSession(Streams& streams, bool restart)
    : streams_(streams), restart_(restart), tty_(isatty(2)) {}

void TerminalSession::SetProgressPosition(int position) {
  if (tty_) {
    streams_.err << "\r块 " << position << " / " << maximum_ << std::flush;
    pendingLine_ = true;
  } else if (position == 1 || position % 8 == 0) {
    streams_.err << "块 " << position << " / " << maximum_ << '\n';
  }
}

bool TerminalSession::Ask(const std::string&, const std::string& text) {
  // The erase question is the command itself; a restart only with --restart.
  const bool yes = text == device::texts::kConfirmErase || restart_;
  EndLine();
  streams_.err << WithoutLeadingBlanks(text) << (yes ? " → 是" : " → 否") << '\n';
  return yes;
}

void TerminalSession::Inform(const std::string& title, const std::string& text,
                             device::TMessageIcon icon) {
  EndLine();
  if (icon == device::TMessageIcon::Error)
    failure_ = text;  // main prints it
  else
    streams_.err << title << text << '\n';
}

void TerminalSession::CommandEnded(TDeviceCommand command, TDeviceOutcome outcome) {
  if (!ended_ && command == expected_) ended_ = outcome;
}

void TerminalSession::Expect(TDeviceCommand command) {
  expected_ = command;
  ended_.reset();
  failure_.clear();
}

void TerminalSession::EndLine() {
  if (pendingLine_) streams_.err << '\n';
  pendingLine_ = false;
}

DeviceSession::DeviceSession(const PortOptions& options, Streams& streams, bool restart)
    : options_(options),
      terminal_(streams, restart),
      comm_(queue_),
      ops_(comm_, queue_, list_, terminal_, terminal_, nullptr, &terminal_) {
  ops_.SetModuleAddress(options.address);
  ops_.SetAnswerTimeout(std::chrono::milliseconds(options.timeoutMs));
  // The answer recognition waits for a whole frame with its check byte, so bytes are
  // taken as they arrive instead of after 100 ms of quiet on the line.
  comm_.SetReadIntervalTimeout(device::kReadIntervalImmediate);
  try {
    ops_.PressPortButton(options.port, std::to_string(options.baud));
  } catch (const std::exception& e) {
    throw Refused("无法打开串口 " + options.port + "：" + e.what());
  }
}

DeviceSession::~DeviceSession() {
  if (ops_.PortOpen()) ops_.PressPortButton("", "");
}

void DeviceSession::Run(TDeviceCommand command, void (device::TDeviceOperations::*start)()) {
  terminal_.Expect(command);
  signals_.ThrowIfCaught();
  (ops_.*start)();
  // Every step has its own time-out; this bound only guards against a stuck loop.
  const auto limit = std::chrono::steady_clock::now() +
                     (kBlocks + 2) * (std::chrono::milliseconds(options_.timeoutMs) + 1s);
  while (!terminal_.Ended() && std::chrono::steady_clock::now() < limit) WaitForWork(100ms);
  terminal_.EndLine();
  FinishSending();
  if (!terminal_.Ended()) throw Refused("设备操作没有结束");
  switch (*terminal_.Ended()) {
    case TDeviceOutcome::Done:
      return;
    case TDeviceOutcome::NoAnswer:
    case TDeviceOutcome::NotHexText:
    case TDeviceOutcome::NotWhole:
    case TDeviceOutcome::PortClosed:
      throw Refused(terminal_.Failure());
    case TDeviceOutcome::NothingToWrite:
      throw Refused(device::texts::kNoInstructions);
    case TDeviceOutcome::NotSent:
      throw Refused("串口没有打开，没有发送任何数据");
    case TDeviceOutcome::Declined:
      throw Refused("操作放弃！");
  }
}

void DeviceSession::WaitForWork(std::chrono::milliseconds limit) {
  pollfd fds[2] = {{queue_.Fd(), POLLIN, 0}, {signals_.Fd(), POLLIN, 0}};
  const int ready = poll(fds, 2, static_cast<int>(limit.count()));
  signals_.ThrowIfCaught();
  if (ready > 0 && fds[0].revents) queue_.Drain();
}

// Frames still queued (the restart) go out before the port is closed.
void DeviceSession::FinishSending() {
  const auto limit = std::chrono::steady_clock::now() + 2s;
  while (!comm_.SendDataEmpty() && std::chrono::steady_clock::now() < limit) WaitForWork(10ms);
  queue_.Drain();
}

}  // namespace relay::cli
