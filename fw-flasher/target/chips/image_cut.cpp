#include "target/chips/image_cut.h"

#include <algorithm>

#include "target/chips/family_traits.h"

namespace fw {
namespace {

// Bytes at the top of the flash that a boot loader without option-capable
// firmware keeps for itself.
constexpr std::uint32_t kTopReserveSize = 3072;

}  // namespace

bool HasTopReserve(const ChipRecord& record) {
  const bool keeps_top = TraitsOf(record).Has(family_flags::kTopReserve);
  const bool needs_capable = (record.flags & chip_flags::kOptionsNeedCapableFirmware) != 0;
  const bool option_block = (record.flags & chip_flags::kOptionBlockBit) != 0;
  return keeps_top && !needs_capable && (option_block || record.data_size != 0);
}

std::optional<std::uint32_t> ImageCut(const ChipRecord& record) {
  std::optional<std::uint32_t> cut;
  if ((record.flags & chip_flags::kOptionBlockBit) != 0)
    cut = record.code_size - std::min<std::uint32_t>(record.tail_reserve, record.code_size);
  if (HasTopReserve(record)) {
    const std::uint32_t top = record.total_size - std::min(kTopReserveSize, record.total_size);
    cut = cut ? std::min(*cut, top) : top;
  }
  return cut;
}

}  // namespace fw
