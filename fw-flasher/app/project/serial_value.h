// The serial-number counter: an unsigned 128-bit integer held as four 32-bit
// words, least significant word first. In the project data and the profile it
// travels as 16 bytes, least significant byte first; the image receives its low
// bytes most significant first.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace fw {

struct SerialValue {
  static constexpr std::size_t kByteCount = 16;
  static constexpr std::size_t kWordCount = 4;

  std::array<std::uint32_t, kWordCount> words{};  // least significant first

  // The compiler's 128-bit integer, for arithmetic that wraps modulo 2^128.
  using Wide = unsigned __int128;
  static SerialValue FromWide(Wide value);
  Wide ToWide() const;

  static SerialValue FromBytesLsbFirst(std::span<const std::uint8_t, kByteCount> bytes);
  // The older project layout's signed 64-bit values, extended with their sign.
  static SerialValue FromSigned64(std::int64_t value);
  static SerialValue FromUnsigned64(std::uint64_t value);

  std::array<std::uint8_t, kByteCount> ToBytesLsbFirst() const;
  // Byte k counted from the least significant one; 0 for k >= 16.
  std::uint8_t ByteAt(std::size_t k) const;
  // The low `count` bytes (at most 16), most significant first.
  std::vector<std::uint8_t> LowBytesMsbFirst(std::size_t count) const;
  bool IsZero() const;

  friend bool operator==(const SerialValue&, const SerialValue&) = default;
};

// value := value + step, modulo 2^128.
void SerialAdd(SerialValue& value, const SerialValue& step);
// value := value * factor + digit, modulo 2^128.
void SerialMulAdd(SerialValue& value, std::uint32_t factor, std::uint32_t digit);
// value := value / divisor; returns the remainder. A divisor of 0 leaves the
// value as it is and returns 0.
std::uint32_t SerialDivMod(SerialValue& value, std::uint32_t divisor);

// Digits of the value: decimal for the radix letter 'd', lower-case hexadecimal
// for 'x' or 'X' (any other letter is decimal), with leading zeros up to
// min_digits digits (at most kMaxTextDigits).
std::string SerialToText(SerialValue value, char radix, int min_digits);
constexpr int kMaxTextDigits = 64;

// Reads the digits of the text in the radix of the letter: a character that is
// no digit of that radix counts as the digit 0, and digits beyond 128 bits
// wrap. So "12a4" read as decimal is 1204, and "" is 0.
SerialValue SerialFromText(std::string_view text, char radix);

}  // namespace fw
