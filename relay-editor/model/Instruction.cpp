#include "model/Instruction.h"

namespace relay::model {

bool IsFiller(std::string_view hexText) {
  return hexText == kShortFiller || hexText == kLongFiller;
}

std::uint16_t ChannelMask(const ChannelSet& channels) {
  return static_cast<std::uint16_t>(channels.to_ulong());
}

ChannelSet ChannelsFromMask(std::uint16_t mask) { return ChannelSet(mask); }

}  // namespace relay::model
