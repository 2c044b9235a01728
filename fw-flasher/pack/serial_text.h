// Serial-number values as the project description writes them: decimal text of
// an unsigned 128-bit number, read exactly (no sign, digits only, no wrap).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/project/serial_value.h"

namespace fw {

std::optional<SerialValue> SerialFromDecimal(std::string_view text);
std::string SerialToDecimal(const SerialValue& value);

// True when the value has at most `digits` digits in `base`.
bool SerialFitsDigits(const SerialValue& value, unsigned base, unsigned digits);

}  // namespace fw
