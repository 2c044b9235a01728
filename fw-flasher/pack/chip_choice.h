// The chip a project names: it must be a chip model, and the one the flasher
// finds again from the identity the project stores.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "target/chips/chip_table.h"

namespace fw {

struct ChipChoice {
  int index = -1;
  std::string problem;  // why the name cannot be used; empty when it can
};

// The flasher stores only the chip's id and sub-model and takes the first table
// record that matches them, so a model that an earlier record shadows is refused.
ChipChoice ChooseChip(std::string_view name, std::span<const ChipRecord> table = ChipTable());

}  // namespace fw
