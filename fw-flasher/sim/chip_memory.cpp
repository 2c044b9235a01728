#include "sim/chip_memory.h"

#include "target/chip_table.h"

namespace fw::sim {
namespace {

const ChipRecord& RecordOf(const SimChipConfig& config) {
  return ChipTable()[static_cast<std::size_t>(config.chip_index)];
}

}  // namespace

ChipMemory::ChipMemory(const SimChipConfig& config)
    : flash(RecordOf(config).code_size, RecordOf(config).data_size, config.old_flash),
      options(config.options),
      password(config.password),
      locked(config.locked),
      clock(config.frequency) {
  const std::size_t count = static_cast<std::size_t>(OptionCountOf(config));
  if (options.size() < count) options.resize(count, 0xFF);
}

}  // namespace fw::sim
