// A byte buffer of a given size: 0xFF over its first bytes, 0x00 after them.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace fw {

inline std::vector<std::uint8_t> FilledBuffer(std::size_t size, std::size_t ff_count) {
  std::vector<std::uint8_t> buffer(size, 0x00);
  std::fill_n(buffer.begin(), std::min(size, ff_count), 0xFF);
  return buffer;
}

}  // namespace fw
