#include "isp/firmware_commands.h"

#include <algorithm>

#include "isp/link/isp_link.h"

namespace fw {
namespace {

constexpr int kPauseAfterCommandByte = 5;  // ms after each byte of the user-interface command
constexpr int kReplyTimeout = 5000;        // ms for the whole reply
constexpr int kPauseAfterPreCommand = 50;  // ms
// A read of the reply returns after this long with what came, so that the
// time-out and a stop are seen.
constexpr int kReplyReadWait = 20;

// The port control block's numbers.
constexpr int kHighestParity = 4;  // space
constexpr int kStopBitsOneAndHalf = 1;
constexpr int kStopBitsTwo = 2;

void WriteBytewise(IspLink& link, const std::vector<std::uint8_t>& bytes) {
  for (const std::uint8_t byte : bytes) {
    link.WriteRaw(&byte, 1);
    link.Pause(kPauseAfterCommandByte);
  }
}

void SetCommandLine(IspLink& link, const TargetCommand& command) {
  if (link.port == nullptr) return;
  LineSettings line;
  link.port->GetLine(line);
  ApplyCommandLine(command, line);
  link.port->SetLine(line);
}

}  // namespace

void ApplyCommandLine(const TargetCommand& command, LineSettings& line) {
  if (command.baud > 0) line.baud = command.baud;
  line.binary = true;
  line.data_bits = 8;
  line.parity = command.parity >= 0 && command.parity <= kHighestParity
                    ? static_cast<Parity>(command.parity)
                    : Parity::kNone;
  line.stop_bits =
      command.stop_bits == kStopBitsOneAndHalf || command.stop_bits == kStopBitsTwo ? 2 : 1;
}

StepResult SendUserInterfaceCommand(IspLink& link) {
  const TargetCommand& command = link.request.commands.user_interface;
  if (!command.enabled) return kStepOk;
  LogMessage(link, link.GetText(kMsgConnectingUserInterface));
  SetCommandLine(link, command);
  if (link.port != nullptr) {
    PortTimeouts quick;
    quick.read_total_multiplier_ms = 0;
    quick.read_total_constant_ms = kReplyReadWait;
    link.port->SetTimeouts(quick);
  }
  WriteBytewise(link, command.bytes);

  UserInterfaceReply& reply = link.placements.user_interface;
  const int length = std::clamp(reply.reply_length, 0, static_cast<int>(reply.reply.size()));
  link.StartTimeout(kReplyTimeout);
  link.ResetReceiver();
  for (int got = 0; got < length;) {
    if (const StepResult r = link.CheckWait(); r != kStepOk) return r;
    got += link.ReadRaw(reply.reply.data() + got, length - got);
  }
  WriteBytewise(link, link.request.commands.user_interface_second);
  LogMessage(link, link.GetText(kMsgUserInterfaceConnected));
  return kStepOk;
}

void SendPreCommand(IspLink& link) {
  const TargetCommand& command = link.request.commands.pre_command;
  if (!command.enabled) return;
  SetCommandLine(link, command);
  link.WriteRaw(command.bytes.data(), static_cast<int>(command.bytes.size()));
  link.Pause(kPauseAfterPreCommand);
}

}  // namespace fw
