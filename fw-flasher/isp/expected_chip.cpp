#include "isp/expected_chip.h"

#include <cstdio>

namespace fw {

void ExpectChip(IspLink& link, const ChipRecord& record) {
  link.target.protocol_variant = ProtocolVariant(record);
  link.target.baud_generator_variant = BaudGeneratorVariant(record);
  link.target.expected_chip_id = record.id;
  for (int& id : link.target.alternative_ids) id = record.id;
  std::snprintf(link.target.chip_name, sizeof link.target.chip_name, "%s", record.name);
}

}  // namespace fw
