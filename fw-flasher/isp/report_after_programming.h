// The option report after the option write: what the chip now holds.
#pragma once

#include "target/chips/option_reading.h"

namespace fw {

class IspLink;

// Where the report finds the options just written.
enum class WrittenOptions {
  // The classic sequence: the request just sent or, before firmware 7.2, the
  // chip's reply to it (on protocol variant 0, to the 50 after it), as far as
  // that reply goes.
  kInTheReply,
  // The newer sequence: the values sent, laid out with the adjusted frequency
  // where a status reply holds them.
  kAsSent,
};

// The options of the option write in the send buffer and the adjusted
// frequency, laid out where the family's status reply holds them; 0xFF
// elsewhere.
StatusBytes SentOptionsLayout(const IspLink& link);

// Message 8008 (unless quiet) and the option report.
void ReportProgrammedOptions(IspLink& link, WrittenOptions source);

// The same with the options already laid out as a status reply (the USB
// writer's flow lays out its option block). The layout also goes into the
// receive buffer, where a status reply would be, and stays there.
void ReportProgrammedOptions(IspLink& link, const StatusBytes& laid_out);

}  // namespace fw
