#include "isp/expected_chip.h"

#include <cstdio>

namespace fw {

void ExpectChip(IspLink& link, const ChipRecord& record) {
  link.protocol_variant = ProtocolVariant(record);
  link.baud_generator_variant = BaudGeneratorVariant(record);
  link.expected_chip_id = record.id;
  for (int& id : link.alternative_ids) id = record.id;
  std::snprintf(link.chip_name, sizeof link.chip_name, "%s", record.name);
}

}  // namespace fw
