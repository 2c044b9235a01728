#include "target/chips/chip_table.h"

namespace fw {

// Generated from chips.csv at build time.
extern const ChipRecord kChipRecords[];
extern const int kChipRecordCount;

std::span<const ChipRecord> ChipTable() {
  return {kChipRecords, static_cast<std::size_t>(kChipRecordCount)};
}

const ChipRecord* ChipTableWithEnd() { return kChipRecords; }

int FindChipByName(std::string_view name) {
  const auto table = ChipTable();
  for (std::size_t i = 0; i < table.size(); ++i) {
    if (name == table[i].name) return static_cast<int>(i);
  }
  return -1;
}

int FindChipByIdentity(int chip_id, int sub_model, std::span<const ChipRecord> table) {
  for (std::size_t i = 0; i < table.size(); ++i) {
    const ChipRecord& r = table[i];
    if ((chip_id == r.id || chip_id == r.alt_id) && sub_model == r.sub_model)
      return static_cast<int>(i);
  }
  return -1;
}

}  // namespace fw
