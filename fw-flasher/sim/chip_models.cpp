#include "sim/chip_models.h"

#include <stdexcept>
#include <string>

namespace fw::sim {

// Generated from chips.csv at build time.
extern const SimChipModel kSimChipModels[];
extern const std::size_t kSimChipModelCount;

std::span<const SimChipModel> SimChipModels() { return {kSimChipModels, kSimChipModelCount}; }

const SimChipModel& SimChipModelAt(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= kSimChipModelCount) {
    throw std::out_of_range("no chip model " + std::to_string(index));
  }
  return kSimChipModels[index];
}

int SimChipIndex(std::string_view name) {
  for (std::size_t i = 0; i < kSimChipModelCount; ++i) {
    if (name == kSimChipModels[i].name) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace fw::sim
