#include "target/board/project_scramble.h"

namespace fw {
namespace {

std::uint8_t KeyAt(std::size_t offset) {
  return static_cast<std::uint8_t>((0x5C + 0x1F * offset) ^ (offset >> 8));
}

std::uint8_t RotateLeft3(std::uint8_t v) { return static_cast<std::uint8_t>((v << 3) | (v >> 5)); }

std::uint8_t RotateRight3(std::uint8_t v) { return static_cast<std::uint8_t>((v >> 3) | (v << 5)); }

}  // namespace

void ScrambleProjectBytes(std::uint8_t* bytes, std::size_t count) {
  if (bytes == nullptr) return;
  for (std::size_t i = 0; i < count; ++i) bytes[i] = RotateLeft3(bytes[i] ^ KeyAt(i));
}

void UnscrambleProjectBytes(std::uint8_t* bytes, std::size_t count) {
  if (bytes == nullptr) return;
  for (std::size_t i = 0; i < count; ++i) bytes[i] = RotateRight3(bytes[i]) ^ KeyAt(i);
}

}  // namespace fw
