// The option report after the option write: what the chip now holds.
#pragma once

namespace fw {

class IspLink;

// Message 8008 (unless quiet) and the option report. The classic sequence
// reports from the request just sent; the newer one first puts the values it
// sent (and the adjusted frequency) into the receive buffer where the report
// reads a status reply.
void ReportProgrammedOptions(IspLink& link, bool newer_sequence);

}  // namespace fw
