#include "app/serial_value.h"

#include <algorithm>

namespace fw {

SerialValue SerialValue::FromBytesLsbFirst(std::span<const std::uint8_t, kByteCount> bytes) {
  SerialValue v;
  for (std::size_t k = 0; k < kByteCount; ++k)
    v.words[k / 4] |= static_cast<std::uint32_t>(bytes[k]) << (8 * (k % 4));
  return v;
}

SerialValue SerialValue::FromSigned64(std::int64_t value) {
  SerialValue v = FromUnsigned64(static_cast<std::uint64_t>(value));
  if (value < 0) v.words[2] = v.words[3] = 0xFFFFFFFFu;
  return v;
}

SerialValue SerialValue::FromUnsigned64(std::uint64_t value) {
  SerialValue v;
  v.words[0] = static_cast<std::uint32_t>(value);
  v.words[1] = static_cast<std::uint32_t>(value >> 32);
  return v;
}

std::array<std::uint8_t, SerialValue::kByteCount> SerialValue::ToBytesLsbFirst() const {
  std::array<std::uint8_t, kByteCount> bytes{};
  for (std::size_t k = 0; k < kByteCount; ++k) bytes[k] = ByteAt(k);
  return bytes;
}

std::uint8_t SerialValue::ByteAt(std::size_t k) const {
  if (k >= kByteCount) return 0;
  return static_cast<std::uint8_t>(words[k / 4] >> (8 * (k % 4)));
}

std::vector<std::uint8_t> SerialValue::LowBytesMsbFirst(std::size_t count) const {
  count = std::min(count, kByteCount);
  std::vector<std::uint8_t> bytes(count);
  for (std::size_t i = 0; i < count; ++i) bytes[i] = ByteAt(count - 1 - i);
  return bytes;
}

bool SerialValue::IsZero() const {
  return std::all_of(words.begin(), words.end(), [](std::uint32_t w) { return w == 0; });
}

}  // namespace fw
