// The serial-number counter: an unsigned 128-bit integer held as four 32-bit
// words, least significant word first. In the project data and the profile it
// travels as 16 bytes, least significant byte first; the image receives its low
// bytes most significant first.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace fw {

struct SerialValue {
  static constexpr std::size_t kByteCount = 16;
  static constexpr std::size_t kWordCount = 4;

  std::array<std::uint32_t, kWordCount> words{};  // least significant first

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

}  // namespace fw
