#include "target/chips/own_byte_areas.h"

#include <algorithm>

#include "target/chips/family_traits.h"

namespace fw {
namespace {

constexpr std::uint32_t kShortBlockBytes = 15;
constexpr std::uint32_t kLongestBlockBytes = 23;
constexpr std::uint32_t kChipSerialBytes = 7;

ImageArea Below(std::uint32_t end, std::uint32_t length) {
  return {end - std::min(end, length), end};
}

}  // namespace

ImageArea ParameterBlockArea(const ChipRecord& chip) {
  const std::uint32_t end =
      chip.code_size - std::min<std::uint32_t>(chip.tail_reserve, chip.code_size);
  const bool short_form = TraitsOf(chip).parameter_block == ParameterBlockRule::kShort;
  return Below(end, short_form ? kShortBlockBytes : kLongestBlockBytes);
}

ImageArea ChipSerialArea(const ChipRecord& chip) { return Below(chip.code_size, kChipSerialBytes); }

}  // namespace fw
