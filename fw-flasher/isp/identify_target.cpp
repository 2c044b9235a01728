#include <algorithm>
#include <cstdio>
#include <cstring>

#include "isp/handshake.h"
#include "isp/link/isp_link.h"
#include "target/chip_table.h"
#include "target/report_options.h"

namespace fw {
namespace {

bool UsesSmallBlocks(std::uint32_t flags) {
  switch (flags & 0x7F800u) {
    case 0xC800:
    case 0xD800:
    case 0x10800:
    case 0xE000:
    case 0x10000:
      return true;
    default:
      return false;
  }
}

int BuildNumber(const std::uint8_t* s, int v, int l, int n, int protocol_variant,
                int& variant_out) {
  variant_out = protocol_variant;
  if (v >= 0x72) {
    if (protocol_variant < 3) variant_out = 5;
    return s[22];
  }
  if (v >= 0x71 && n >= 28 && l >= 0x51) return s[22];
  if (v >= 0x66 && n >= 55 && l == 0x43) return s[52];
  if (v >= 0x66 && n >= 38 && (l == 0x44 || l == 0x45)) return s[35];
  if (v >= 0x66 && n >= 47 && (l == 0x47 || l == 0x48)) return s[43];
  if (v >= 0x71 && n >= 56 && l >= 0x49 && l <= 0x4C) return s[52];
  return 0;
}

}  // namespace

int IdentifyTarget(IspLink& link) {
  // Only what the reply carried reaches the status record; the rest stays zero.
  const int kept = std::clamp(link.received_length, 0, IspLink::kStatusRecordSize);
  std::memset(link.status_record, 0, sizeof link.status_record);
  std::memcpy(link.status_record, link.receive_buffer, static_cast<std::size_t>(kept));
  link.reply_length_byte = static_cast<std::uint8_t>(link.received_length);
  const std::uint8_t* s = link.status_record;

  const int v = s[17];
  const int l = s[18];
  link.fw_version = v;
  link.fw_letter = l;
  link.fw_build = 0;
  link.sub_model = (l >= 0x51 && v >= 0x71) ? s[19] : 0;
  const int short_length = link.board_mode != 0 ? 24 : 23;
  link.chip_id = link.received_length == short_length ? 0xFFFF : (s[20] << 8 | s[21]);

  const ChipRecord* table = ChipTableWithEnd();
  int found = -1;
  for (int i = 0; table[i].name != nullptr; ++i) {
    const ChipRecord& r = table[i];
    if ((link.chip_id == r.id || link.chip_id == r.alt_id) && link.sub_model == r.sub_model) {
      found = i;
      break;
    }
  }
  // Accepting any chip still means a chip model: the placeholder record is none.
  if (found < 0 || (found == 0 && link.accept_any_chip != 0)) {
    LogMessage(link, link.GetText(8009));
    return kStepRefused;
  }

  const ChipRecord& record = table[found];
  link.chip_index = found;
  link.chip_id = record.id;
  link.protocol_variant = ProtocolVariant(record);
  link.baud_generator_variant = BaudGeneratorVariant(record);
  link.block_size = UsesSmallBlocks(record.flags) ? 64 : 128;
  if (link.chip_id != link.expected_chip_id) {
    std::snprintf(link.chip_name, sizeof link.chip_name, "%s", record.name);
  }
  if (link.quiet_information == 0) LogMessage(link, link.GetText(8004), link.chip_name);
  link.option_capable_firmware =
      ((v >= 0x66 && l >= 0x43 && l <= 0x48) || (v >= 0x71 && l >= 0x49 && l <= 0x4C) || v >= 0x72)
          ? 1
          : 0;
  int variant = link.protocol_variant;
  link.fw_build = BuildNumber(s, v, l, link.received_length, link.protocol_variant, variant);
  link.protocol_variant = variant;
  if (link.quiet_information == 0) {
    if (link.fw_build != 0) {
      LogMessage(link, link.GetText(8006), (v >> 4) & 15, v & 15, link.fw_build, l);
    } else {
      LogMessage(link, link.GetText(8005), (v >> 4) & 15, v & 15, l);
    }
    LogMessage(link, link.GetText(8007));
  }
  ReportOptions(link);

  if (link.accept_any_chip == 0 && link.chip_id != link.expected_chip_id) {
    bool alternative = false;
    for (int i = 0; i < 8; ++i)
      alternative = alternative || link.chip_id == link.alternative_ids[i];
    if (!alternative) {
      LogMessage(link, link.GetText(8010));
      return kStepWrongChip;
    }
  }
  return kStepOk;
}

}  // namespace fw
