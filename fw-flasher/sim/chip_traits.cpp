#include "sim/chip_traits.h"

#include "sim/chip_models.h"

namespace fw::sim {
namespace {

constexpr int kFirmware72 = 0x72;
constexpr int kFirmware71 = 0x71;
// Boot loaders from 7.2 on speak at least this variant, whatever the record says.
constexpr int kVariantOf72 = 5;

bool SmallBlocks(int family) {
  return family == 25 || family == 27 || family == 28 || family == 32 || family == 33;
}

// Families whose boot loader from 7.2 on expects 46 B9 as its guard bytes.
bool OldGuardFamily(int family) { return FamilyIn(family, 1, 9) || FamilyIn(family, 15, 19); }

SimSequence SequenceOf(int family, int fw) {
  if (FamilyIn(family, 1, 24)) return SimSequence::kClassic;
  if ((family == 25 || family == 28) && fw < kFirmware71) return SimSequence::kClassic;
  return SimSequence::kNewer;
}

}  // namespace

ChipTraits TraitsOf(const SimChipConfig& chip) {
  const SimChipModel& model = SimChipModelAt(chip.chip_index);
  ChipTraits t;
  t.family = model.family;
  t.table_variant = model.protocol_variant;
  t.fw = chip.fw_version;
  t.variant = t.fw >= kFirmware72 && t.table_variant < 3 ? kVariantOf72 : t.table_variant;
  t.generator = model.baud_generator;
  t.build = chip.fw_build;
  t.block_size = SmallBlocks(t.family) ? 64 : 128;
  t.sequence = SequenceOf(t.family, t.fw);
  t.even_parity = t.table_variant != 0;
  if (t.fw72() && OldGuardFamily(t.family)) {
    t.guard1 = 0x46;
    t.guard2 = 0xB9;
  }
  t.code_size = model.code_size;
  t.data_size = model.data_size;
  t.id = model.id;
  t.frequency = chip.frequency;
  return t;
}

}  // namespace fw::sim
