#include <algorithm>
#include <cstdio>
#include <cstring>

#include "isp/handshake.h"
#include "isp/link/isp_link.h"
#include "target/chips/chip_table.h"
#include "target/chips/family_traits.h"
#include "target/chips/option_lines.h"
#include "target/chips/option_reading.h"
#include "target/chips/report_options.h"
#include "target/chips/status_record.h"

namespace fw {
namespace {

bool OptionCapable(int v, int l) {
  return (v >= kFirmware66 && l >= kLetterC && l <= kLetterH) ||
         (v >= kFirmware71 && l >= kLetterI && l <= kLetterL) || v >= kFirmware72;
}

// The build number by firmware version v, letter l and received length n (the
// lengths are those of the boot loader's reply layouts); the 7.2 firmware also
// raises protocol variants below 3 to 5.
int BuildNumber(const std::uint8_t* s, int v, int l, int n, int protocol_variant,
                int& variant_out) {
  using namespace status_offset;
  variant_out = protocol_variant;
  if (v >= kFirmware72) {
    if (protocol_variant < 3) variant_out = 5;
    return s[kBuild];
  }
  if (v >= kFirmware71 && n >= 28 && l >= kLetterWithSubModel) return s[kBuild];
  if (v >= kFirmware66 && n >= 55 && l == kLetterC) return s[kBuildLettersCAndIToL];
  if (v >= kFirmware66 && n >= 38 && (l == kLetterD || l == kLetterE)) return s[kBuildLettersDE];
  if (v >= kFirmware66 && n >= 47 && (l == kLetterG || l == kLetterH)) return s[kBuildLettersGH];
  if (v >= kFirmware71 && n >= 56 && l >= kLetterI && l <= kLetterL) {
    return s[kBuildLettersCAndIToL];
  }
  return 0;
}

bool IsAlternative(const TargetIdentity& target) {
  const int* ids = target.alternative_ids;
  return std::find(ids, ids + TargetIdentity::kAlternativeIdsCompared, target.chip_id) !=
         ids + TargetIdentity::kAlternativeIdsCompared;
}

}  // namespace

StepResult IdentifyTarget(IspLink& link) {
  using namespace status_offset;
  TargetIdentity& target = link.target;
  const int received = link.framing.received_length;
  // Only what the reply carried reaches the status record; the rest stays zero.
  const int kept = std::clamp(received, 0, TargetIdentity::kStatusRecordSize);
  std::memset(target.status_record, 0, sizeof target.status_record);
  std::memcpy(target.status_record, link.framing.receive_buffer, static_cast<std::size_t>(kept));
  target.reply_length_byte = static_cast<std::uint8_t>(received);
  target.status_laid_out = false;
  const std::uint8_t* s = target.status_record;

  const int v = s[kFirmwareVersion];
  const int l = s[kVersionLetter];
  target.fw_version = v;
  target.fw_letter = l;
  target.fw_build = 0;
  target.sub_model = (l >= kLetterWithSubModel && v >= kFirmware71) ? s[kSubModel] : 0;
  const int short_length = link.board.mode ? kShortReplyLengthViaBoard : kShortReplyLength;
  target.chip_id = received == short_length ? TargetIdentity::kUnknownChipId
                                            : (s[kChipIdHigh] << 8 | s[kChipIdLow]);

  const ChipRecord* table = ChipTableWithEnd();
  int found = -1;
  for (int i = 0; table[i].name != nullptr; ++i) {
    const ChipRecord& r = table[i];
    if ((target.chip_id == r.id || target.chip_id == r.alt_id) && target.sub_model == r.sub_model) {
      found = i;
      break;
    }
  }
  // Accepting any chip still means a chip model: the placeholder record is none.
  if (found < 0 || (found == 0 && target.accept_any_chip)) {
    LogMessage(link, link.GetText(kMsgUnknownChip));
    return kStepRefused;
  }

  const ChipRecord& record = table[found];
  target.chip_index = found;
  target.chip_id = record.id;
  target.protocol_variant = ProtocolVariant(record);
  target.baud_generator_variant = BaudGeneratorVariant(record);
  target.block_size = TraitsOf(record).block_size;
  if (target.chip_id != target.expected_chip_id) {
    std::snprintf(target.chip_name, sizeof target.chip_name, "%s", record.name);
  }
  const bool quiet = link.request.quiet_information;
  if (!quiet) LogMessage(link, link.GetText(kMsgChipType), target.chip_name);
  target.option_capable_firmware = OptionCapable(v, l);
  int variant = target.protocol_variant;
  target.fw_build = BuildNumber(s, v, l, received, target.protocol_variant, variant);
  target.protocol_variant = variant;
  if (!quiet) {
    const int major = (v >> 4) & 15;
    const int minor = v & 15;
    if (target.fw_build != 0) {
      LogMessage(link, link.GetText(kMsgFirmwareVersionWithBuild), major, minor, target.fw_build,
                 l);
    } else {
      LogMessage(link, link.GetText(kMsgFirmwareVersion), major, minor, l);
    }
    LogMessage(link, link.GetText(kMsgCurrentOptions));
  }
  // The chip's clock and options as its status reply gives them. What lasts
  // of the reading stays for the steps that follow: the measured frequency
  // (unless the project fixes it), and for some families the status record
  // laid out anew, default option bytes or inverted option bits.
  const OptionReading reading = ReadOptions(link, ReceivedOptions(link));
  ApplyOptionReading(link, reading);
  LogOptionLines(link, DescribeOptions(link, reading));

  if (!target.accept_any_chip && target.chip_id != target.expected_chip_id &&
      !IsAlternative(target)) {
    LogMessage(link, link.GetText(kMsgWrongChip));
    return kStepWrongChip;
  }
  return kStepOk;
}

}  // namespace fw
