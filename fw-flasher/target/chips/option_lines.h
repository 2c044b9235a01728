// The option report's lines: a reading of the chip's status or option record
// described one hardware option a line, in the link's language.
#pragma once

#include <string>
#include <vector>

#include "target/chips/option_reading.h"

namespace fw {

class IspLink;

// The lines, each as the log takes it, with the link's clock figures, chip
// identity and serial number as they are once the reading is applied. A quiet
// link gets one empty line (after the adjusted frequency where the reading
// shows it first). Changes nothing.
std::vector<std::string> DescribeOptions(const IspLink& link, const OptionReading& reading);

}  // namespace fw
