#include "pack/chip_choice.h"

namespace fw {

ChipChoice ChooseChip(std::string_view name, std::span<const ChipRecord> table) {
  const std::string quoted = "\"" + std::string(name) + "\"";
  int index = -1;
  for (std::size_t i = 0; i < table.size() && index < 0; ++i)
    if (table[i].name != nullptr && name == table[i].name) index = static_cast<int>(i);
  if (index < 0) return {-1, "no chip model " + quoted + " in the chip table"};
  if (index == 0) return {-1, quoted + " is the placeholder record, no chip model"};
  const ChipRecord& record = table[static_cast<std::size_t>(index)];
  const int first = FindChipByIdentity(record.id, record.sub_model, table);
  if (first != index)
    return {-1, quoted + " has the id and sub-model of " +
                    table[static_cast<std::size_t>(first)].name +
                    ", which comes first in the chip table; the flasher would take the "
                    "project for that chip"};
  return {index, {}};
}

}  // namespace fw
