#include "pack/serial_text.h"

namespace fw {
namespace {

using Wide = SerialValue::Wide;

constexpr Wide kWideMax = ~Wide{0};

}  // namespace

std::optional<SerialValue> SerialFromDecimal(std::string_view text) {
  if (text.empty()) return std::nullopt;
  Wide w = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const unsigned digit = static_cast<unsigned>(c - '0');
    if (w > (kWideMax - digit) / 10) return std::nullopt;
    w = w * 10 + digit;
  }
  return SerialValue::FromWide(w);
}

std::string SerialToDecimal(const SerialValue& value) { return SerialToText(value, 'd', 1); }

bool SerialFitsDigits(const SerialValue& value, unsigned base, unsigned digits) {
  Wide limit = 1;
  for (unsigned i = 0; i < digits; ++i) {
    if (limit > kWideMax / base) return true;  // base^digits is beyond any 128-bit value
    limit *= base;
  }
  return value.ToWide() < limit;
}

}  // namespace fw
