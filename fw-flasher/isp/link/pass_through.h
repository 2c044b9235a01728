// Project values that the link carries unchanged for the download board's
// stand-alone header: the pass-through values and option flags 2 to 5.
#pragma once

#include <array>

namespace fw {

struct PassThroughValues {
  int value_1 = 0;
  int value_2 = 0;
  int value_3 = 0;
  int value_4 = 0;
  int value_5 = 0;
  // Option flags 2, 3, 4 and 5, in this order.
  std::array<bool, 4> option_flags{};

  bool operator==(const PassThroughValues&) const = default;
};

}  // namespace fw
