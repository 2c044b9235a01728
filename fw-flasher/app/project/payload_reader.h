// Bounded little-endian reads from one record's payload: every read either fits
// the payload or fails and leaves its output unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "app/project/serial_value.h"

namespace fw {

class PayloadReader {
 public:
  explicit PayloadReader(std::span<const std::uint8_t> payload) : payload_(payload) {}

  bool Byte(std::uint8_t& value);
  bool Flag(bool& value);  // a byte, nonzero is set
  bool U16(std::uint16_t& value);
  bool U32(std::uint32_t& value);
  bool I32(std::int32_t& value);
  bool I64(std::int64_t& value);
  bool Serial128(SerialValue& value);
  bool Bytes(std::size_t count, std::vector<std::uint8_t>& bytes);
  // A byte count followed by that many bytes.
  bool CountedBytes(std::vector<std::uint8_t>& bytes);
  // Text up to its NUL or the end of the payload, whichever comes first.
  std::string TextToEnd();
  bool Skip(std::size_t count);

  std::size_t remaining() const { return payload_.size() - at_; }

 private:
  std::uint64_t LittleEndian(std::size_t count) const;

  std::span<const std::uint8_t> payload_;
  std::size_t at_ = 0;
};

}  // namespace fw
