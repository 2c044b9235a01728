// The option report: the chip's status or option record read into its
// options, what lasts of that applied to the link, and the options logged one
// line each in the link's language.
#pragma once

#include <string>
#include <vector>

#include "isp/link/framing_state.h"
#include "target/chips/family_traits.h"

namespace fw {

class IspLink;

// The decoding group of a family code.
DecodingGroup GroupOfFamily(int family_code);

// The lines of DescribeOptions, into the link's log.
void LogOptionLines(IspLink& link, const std::vector<std::string>& lines);

// The whole report on the receive buffer in one call: ReadOptions,
// ApplyOptionReading, DescribeOptions and LogOptionLines. Needs the chip
// index, version fields, protocol variant, option-capable flag and status
// record that identification sets. reply_payload: how many bytes of the
// receive buffer, from its first, the chip's reply carried. Options that a
// report after an option write would read beyond them were not reported back;
// one line says so in their place.
void ReportOptions(IspLink& link, int reply_payload = FramingState::kBufferSize);

}  // namespace fw
