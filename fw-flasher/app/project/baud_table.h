// The flasher's baud table: project string 5 and the baud dialog choose the
// lowest and the highest rate of a download by index into it.
#pragma once

#include <array>
#include <cstddef>

namespace fw {

inline constexpr std::array<int, 10> kBaudTable = {1200,  2400,  4800,  9600,  14400,
                                                   19200, 28800, 38400, 57600, 115200};
inline constexpr int kDefaultLowestBaudIndex = 1;
inline constexpr int kDefaultHighestBaudIndex = 9;

// The rate of a baud index; an index outside the table gives the rate of
// fallback_index.
constexpr int BaudOfIndex(int index, int fallback_index) {
  const auto valid = [](int i) { return i >= 0 && i < static_cast<int>(kBaudTable.size()); };
  if (!valid(index)) index = fallback_index;
  return valid(index) ? kBaudTable[static_cast<std::size_t>(index)] : kBaudTable.front();
}

}  // namespace fw
