// Builds project containers byte by byte from the record format, on its own:
// nothing here comes from the program's parser, writer or constants, so a
// misreading of the format cannot hide in both.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string_view>
#include <vector>

namespace fw::test {

using Bytes = std::vector<std::uint8_t>;

// Little-endian payload fields in order.
class Payload {
 public:
  Payload& U8(std::uint8_t v) {
    bytes_.push_back(v);
    return *this;
  }
  Payload& U16(std::uint16_t v) { return Le(v, 2); }
  Payload& I32(std::int32_t v) { return Le(static_cast<std::uint32_t>(v), 4); }
  Payload& I64(std::int64_t v) { return Le(static_cast<std::uint64_t>(v), 8); }
  // 16 bytes, least significant first, from two 64-bit halves.
  Payload& U128(std::uint64_t low, std::uint64_t high = 0) { return Le(low, 8).Le(high, 8); }
  Payload& Raw(const Bytes& b) {
    bytes_.insert(bytes_.end(), b.begin(), b.end());
    return *this;
  }
  Payload& Raw(std::initializer_list<std::uint8_t> b) { return Raw(Bytes(b)); }
  Payload& Text(std::string_view t, bool with_nul = true) {
    bytes_.insert(bytes_.end(), t.begin(), t.end());
    if (with_nul) bytes_.push_back(0);
    return *this;
  }
  Payload& Counted(const Bytes& b) { return U8(static_cast<std::uint8_t>(b.size())).Raw(b); }
  const Bytes& bytes() const { return bytes_; }
  operator const Bytes&() const { return bytes_; }

 private:
  Payload& Le(std::uint64_t v, int n) {
    for (int i = 0; i < n; ++i) bytes_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    return *this;
  }
  Bytes bytes_;
};

class Container {
 public:
  static constexpr std::uint8_t kTag = 0x70;

  Container() : bytes_{'Q', 'M', 'V', 0x00} {}
  explicit Container(Bytes start) : bytes_(std::move(start)) {}

  // A well-formed record: its two spare header bytes make the 8-bit sum 0.
  Container& Record(std::uint8_t type, const Bytes& payload) {
    return Custom(kTag, type, payload, std::nullopt, true);
  }
  Container& Record(std::uint8_t type, const Payload& payload) {
    return Record(type, payload.bytes());
  }
  // Any tag, a declared length other than the payload's, with or without a
  // correct sum.
  Container& Custom(std::uint8_t tag, std::uint8_t type, const Bytes& payload,
                    std::optional<std::uint32_t> declared_length, bool correct_sum) {
    const std::size_t start = bytes_.size();
    const std::uint32_t n = declared_length.value_or(static_cast<std::uint32_t>(payload.size()));
    bytes_.insert(bytes_.end(),
                  {tag, type, 0, 0, static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
                   static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 24)});
    bytes_.insert(bytes_.end(), payload.begin(), payload.end());
    std::uint8_t sum = 0;
    for (std::size_t i = start; i < bytes_.size(); ++i)
      sum = static_cast<std::uint8_t>(sum + bytes_[i]);
    bytes_[start + 3] = static_cast<std::uint8_t>(0x100 - sum);  // byte 2 stays 0
    if (!correct_sum) bytes_[start + 3] ^= 0x01;
    return *this;
  }
  Container& Append(const Bytes& raw) {
    bytes_.insert(bytes_.end(), raw.begin(), raw.end());
    return *this;
  }
  const Bytes& bytes() const { return bytes_; }

 private:
  Bytes bytes_;
};

}  // namespace fw::test
