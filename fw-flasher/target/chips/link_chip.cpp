#include "target/chips/link_chip.h"

#include "isp/link/isp_link.h"

namespace fw {

const ChipRecord& ChipOf(const IspLink& link) {
  const auto table = ChipTable();
  const int index = link.target.chip_index;
  if (index < 0 || static_cast<std::size_t>(index) >= table.size()) return table[0];
  return table[static_cast<std::size_t>(index)];
}

const FamilyTraits& TraitsOf(const IspLink& link) { return TraitsOf(ChipOf(link)); }

}  // namespace fw
