#include "pack/serial_text.h"

#include <algorithm>

namespace fw {
namespace {

using Wide = unsigned __int128;

Wide ToWide(const SerialValue& v) {
  Wide w = 0;
  for (std::size_t i = SerialValue::kWordCount; i-- > 0;) w = w << 32 | v.words[i];
  return w;
}

SerialValue FromWide(Wide w) {
  SerialValue v;
  for (std::size_t i = 0; i < SerialValue::kWordCount; ++i) {
    v.words[i] = static_cast<std::uint32_t>(w);
    w >>= 32;
  }
  return v;
}

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
  return FromWide(w);
}

std::string SerialToDecimal(const SerialValue& value) {
  Wide w = ToWide(value);
  std::string text;
  do {
    text.push_back(static_cast<char>('0' + static_cast<int>(w % 10)));
    w /= 10;
  } while (w != 0);
  std::reverse(text.begin(), text.end());
  return text;
}

bool SerialFitsDigits(const SerialValue& value, unsigned base, unsigned digits) {
  Wide limit = 1;
  for (unsigned i = 0; i < digits; ++i) {
    if (limit > kWideMax / base) return true;  // base^digits is beyond any 128-bit value
    limit *= base;
  }
  return ToWide(value) < limit;
}

}  // namespace fw
