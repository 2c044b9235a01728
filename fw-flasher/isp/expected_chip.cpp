#include "isp/expected_chip.h"

namespace fw {

ExpectedChip ExpectedChipOf(const ChipRecord& record) {
  ExpectedChip chip;
  chip.id = record.id;
  chip.protocol_variant = ProtocolVariant(record);
  chip.baud_generator_variant = BaudGeneratorVariant(record);
  chip.alternative_ids.fill(record.id);
  chip.name = record.name;
  return chip;
}

void ExpectChip(IspLink& link, const ChipRecord& record) {
  ExpectedChip chip = ExpectedChipOf(record);
  chip.chip_index = link.target.chip_index;
  link.Expect(chip);
}

}  // namespace fw
