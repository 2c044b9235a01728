// The baud rates the lowest and highest baud indexes choose from.
#pragma once

#include <array>

namespace fw {

inline constexpr std::array<int, 10> kBaudTable = {1200,  2400,  4800,  9600,  14400,
                                                   19200, 28800, 38400, 57600, 115200};

}  // namespace fw
