// How large a serial number may grow before it no longer fits the bytes the
// project gives it: the value must reach the chip whole, never as its low bytes
// alone, unless the operator chose to let it wrap.
#pragma once

#include "app/project/project.h"
#include "app/project/serial_value.h"
#include "isp/link/serial_settings.h"

namespace fw {

// The largest value serial number settings can carry through that link: below
// 256^length as a plain number, 2 x length decimal digits in BCD, length
// decimal digits as ASCII characters (serial link). The USB writer sends the
// ASCII format as BCD, so there it holds 2 x length digits.
SerialValue LargestSerialValue(const SerialNumberSettings& settings, LinkKind link);

// The value (as the edit shows it, decimal) fits the settings through the link.
bool SerialFits(const SerialValue& value, const SerialNumberSettings& settings, LinkKind link);

}  // namespace fw
