// What a download leaves in the chip's flash: the code image where it was
// programmed, with the extra data records over it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "isp/link/isp_link.h"

namespace fw::test {

inline std::vector<std::uint8_t> ExpectedFlash(const IspLink& link) {
  std::vector<std::uint8_t> expected(link.image.code_image.begin(),
                                     link.image.code_image.begin() + link.image.code_length);
  const std::vector<std::uint8_t>& list = link.image.extra_records;
  for (std::size_t at = 0; at + 4 <= list.size() && list[at] == 0x5A; at += 4 + list[at + 3]) {
    const std::size_t address = list[at + 1] | list[at + 2] << 8;
    const std::size_t n = list[at + 3];
    if (at + 4 + n > list.size()) break;
    if (expected.size() < address + n) expected.resize(address + n, 0xFF);
    std::copy_n(list.begin() + static_cast<std::ptrdiff_t>(at + 4), n,
                expected.begin() + static_cast<std::ptrdiff_t>(address));
  }
  return expected;
}

}  // namespace fw::test
