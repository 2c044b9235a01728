// The option report after the option write: what the chip now holds.
#pragma once

namespace fw {

class IspLink;

// Where the report finds the options just written.
enum class WrittenOptions {
  // The classic sequence: the request just sent or, before firmware 7.2, the
  // chip's reply to it (on protocol variant 0, to the 50 after it), as far as
  // that reply goes.
  kInTheReply,
  // The newer sequence: the values sent, put here into the receive buffer with
  // the adjusted frequency where the report reads a status reply.
  kAsSent,
  // Already put into the receive buffer by the flow (the USB writer's).
  kLaidOutByTheFlow,
};

// Message 8008 (unless quiet) and the option report.
void ReportProgrammedOptions(IspLink& link, WrittenOptions source);

}  // namespace fw
