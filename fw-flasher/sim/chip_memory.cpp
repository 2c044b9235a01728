#include "sim/chip_memory.h"

#include "sim/chip_models.h"

namespace fw::sim {
namespace {

const SimChipModel& ModelOf(const SimChipConfig& config) {
  return SimChipModelAt(config.chip_index);
}

}  // namespace

ChipMemory::ChipMemory(const SimChipConfig& config)
    : flash(ModelOf(config).code_size, ModelOf(config).data_size, config.old_flash),
      options(config.options),
      password(config.password),
      locked(config.locked),
      clock(config.frequency) {
  const std::size_t count = static_cast<std::size_t>(OptionCountOf(config));
  if (options.size() < count) options.resize(count, 0xFF);
}

}  // namespace fw::sim
