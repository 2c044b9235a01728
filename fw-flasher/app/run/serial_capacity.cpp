#include "app/run/serial_capacity.h"

#include <algorithm>

#include "app/run/serial_numbers.h"

namespace fw {
namespace {

using Wide = SerialValue::Wide;
constexpr int kMaxLength = static_cast<int>(SerialValue::kByteCount);
constexpr int kBcdDigitsPerByte = 2;

// 10^digits - 1; digits is at most 32, which 128 bits hold.
Wide AllNines(int digits) {
  Wide value = 1;
  for (int i = 0; i < digits; ++i) value *= 10;
  return value - 1;
}

}  // namespace

SerialValue LargestSerialValue(const SerialNumberSettings& settings, LinkKind link) {
  const int length = std::clamp<int>(settings.length, 0, kMaxLength);
  switch (settings.format) {
    case kSerialPlain:
      if (length == kMaxLength) return SerialValue::FromWide(~Wide{0});
      return SerialValue::FromWide((Wide{1} << (8 * length)) - 1);
    case kSerialAsciiHex:
      if (link == LinkKind::kSerialPort) return SerialValue::FromWide(AllNines(length));
      [[fallthrough]];
    default:  // BCD, as the download prepares every format but the plain one
      return SerialValue::FromWide(AllNines(kBcdDigitsPerByte * length));
  }
}

bool SerialFits(const SerialValue& value, const SerialNumberSettings& settings, LinkKind link) {
  return value.ToWide() <= LargestSerialValue(settings, link).ToWide();
}

}  // namespace fw
