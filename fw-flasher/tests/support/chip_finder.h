// Finding chips of the table for tests: by any property, or the first of a family.
#pragma once

#include <functional>

#include "target/chips/chip_table.h"

namespace fw::test {

// Index of the first record after the placeholder that is wanted; -1 for none.
inline int FindChip(const std::function<bool(const ChipRecord&)>& wanted) {
  const auto table = ChipTable();
  for (std::size_t i = 1; i < table.size(); ++i) {
    if (wanted(table[i])) return static_cast<int>(i);
  }
  return -1;
}

// First record of a family with sub-model 0, optionally of a protocol variant.
inline int FirstChipOf(int family, int protocol_variant = -1) {
  return FindChip([&](const ChipRecord& r) {
    return FamilyCode(r) == family && r.sub_model == 0 &&
           (protocol_variant < 0 || ProtocolVariant(r) == protocol_variant);
  });
}

}  // namespace fw::test
