#include "app/project/payload_reader.h"

#include <algorithm>

namespace fw {

std::uint64_t PayloadReader::LittleEndian(std::size_t count) const {
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < count; ++i)
    v |= static_cast<std::uint64_t>(payload_[at_ + i]) << (8 * i);
  return v;
}

bool PayloadReader::Byte(std::uint8_t& value) {
  if (remaining() < 1) return false;
  value = payload_[at_++];
  return true;
}

bool PayloadReader::Flag(bool& value) {
  std::uint8_t byte = 0;
  if (!Byte(byte)) return false;
  value = byte != 0;
  return true;
}

bool PayloadReader::U16(std::uint16_t& value) {
  if (remaining() < 2) return false;
  value = static_cast<std::uint16_t>(LittleEndian(2));
  at_ += 2;
  return true;
}

bool PayloadReader::U32(std::uint32_t& value) {
  if (remaining() < 4) return false;
  value = static_cast<std::uint32_t>(LittleEndian(4));
  at_ += 4;
  return true;
}

bool PayloadReader::I32(std::int32_t& value) {
  std::uint32_t bits = 0;
  if (!U32(bits)) return false;
  value = static_cast<std::int32_t>(bits);
  return true;
}

bool PayloadReader::I64(std::int64_t& value) {
  if (remaining() < 8) return false;
  value = static_cast<std::int64_t>(LittleEndian(8));
  at_ += 8;
  return true;
}

bool PayloadReader::Serial128(SerialValue& value) {
  if (remaining() < SerialValue::kByteCount) return false;
  value = SerialValue::FromBytesLsbFirst(payload_.subspan(at_).first<SerialValue::kByteCount>());
  at_ += SerialValue::kByteCount;
  return true;
}

bool PayloadReader::Bytes(std::size_t count, std::vector<std::uint8_t>& bytes) {
  if (remaining() < count) return false;
  const auto first = payload_.begin() + static_cast<std::ptrdiff_t>(at_);
  bytes.assign(first, first + static_cast<std::ptrdiff_t>(count));
  at_ += count;
  return true;
}

bool PayloadReader::CountedBytes(std::vector<std::uint8_t>& bytes) {
  std::uint8_t count = 0;
  if (!Byte(count)) return false;
  return Bytes(count, bytes);
}

std::string PayloadReader::TextToEnd() {
  const auto first = payload_.begin() + static_cast<std::ptrdiff_t>(at_);
  const auto end = std::find(first, payload_.end(), std::uint8_t{0});
  std::string text(first, end);
  at_ = payload_.size();
  return text;
}

bool PayloadReader::Skip(std::size_t count) {
  if (remaining() < count) return false;
  at_ += count;
  return true;
}

}  // namespace fw
