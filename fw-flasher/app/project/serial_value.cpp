#include "app/project/serial_value.h"

#include <algorithm>
#include <cctype>

namespace fw {

SerialValue SerialValue::FromBytesLsbFirst(std::span<const std::uint8_t, kByteCount> bytes) {
  SerialValue v;
  for (std::size_t k = 0; k < kByteCount; ++k)
    v.words[k / 4] |= static_cast<std::uint32_t>(bytes[k]) << (8 * (k % 4));
  return v;
}

SerialValue SerialValue::FromWide(Wide value) {
  SerialValue v;
  for (std::size_t i = 0; i < kWordCount; ++i) {
    v.words[i] = static_cast<std::uint32_t>(value);
    value >>= 32;
  }
  return v;
}

SerialValue::Wide SerialValue::ToWide() const {
  Wide value = 0;
  for (std::size_t i = kWordCount; i-- > 0;) value = value << 32 | words[i];
  return value;
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

namespace {

std::uint32_t RadixOf(char letter) { return letter == 'x' || letter == 'X' ? 16 : 10; }

// The value of ch as a digit of the radix; 0 for a character that is none.
std::uint32_t DigitValue(char ch, std::uint32_t radix) {
  const unsigned char c = static_cast<unsigned char>(ch);
  std::uint32_t digit = radix;
  if (std::isdigit(c)) {
    digit = static_cast<std::uint32_t>(c - '0');
  } else if (std::isxdigit(c)) {
    digit = static_cast<std::uint32_t>(std::tolower(c) - 'a' + 10);
  }
  return digit < radix ? digit : 0;
}

}  // namespace

void SerialAdd(SerialValue& value, const SerialValue& step) {
  value = SerialValue::FromWide(value.ToWide() + step.ToWide());
}

void SerialMulAdd(SerialValue& value, std::uint32_t factor, std::uint32_t digit) {
  value = SerialValue::FromWide(value.ToWide() * factor + digit);
}

std::uint32_t SerialDivMod(SerialValue& value, std::uint32_t divisor) {
  if (divisor == 0) return 0;
  const SerialValue::Wide wide = value.ToWide();
  value = SerialValue::FromWide(wide / divisor);
  return static_cast<std::uint32_t>(wide % divisor);
}

std::string SerialToText(SerialValue value, char radix, int min_digits) {
  static constexpr char kDigits[] = "0123456789abcdef";
  const std::uint32_t base = RadixOf(radix);
  const std::size_t wanted = static_cast<std::size_t>(std::clamp(min_digits, 0, kMaxTextDigits));
  std::string text;
  while (!value.IsZero()) text.push_back(kDigits[SerialDivMod(value, base)]);
  while (text.size() < wanted) text.push_back('0');
  std::reverse(text.begin(), text.end());
  return text;
}

SerialValue SerialFromText(std::string_view text, char radix) {
  const std::uint32_t base = RadixOf(radix);
  SerialValue value;
  for (const char ch : text) SerialMulAdd(value, base, DigitValue(ch, base));
  return value;
}

}  // namespace fw
