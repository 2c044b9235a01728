#pragma once
// Channel sets written as the channel numbers 1 to 16, as the editors label them.

#include <cstddef>
#include <initializer_list>

#include "model/Instruction.h"

namespace relay::model {

inline ChannelSet Channels(std::initializer_list<int> numbers) {
  ChannelSet set;
  for (int n : numbers) set.set(static_cast<std::size_t>(n - 1));
  return set;
}

}  // namespace relay::model
