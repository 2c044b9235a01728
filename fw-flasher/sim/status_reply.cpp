#include "sim/status_reply.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "sim/chip_models.h"
#include "sim/chip_traits.h"

namespace fw::sim {
namespace {

constexpr std::size_t kPayloadSize = 60;
constexpr int kFallbackBaud = 2400;
// Firmware up to 6.2 reports its serial number in the status reply, here.
constexpr int kOldSerialVersion = 0x62;
constexpr std::size_t kOldSerialAt = 31;

// How the status reply lays out clock and options, by family code.
enum class StatusLayout { kA, kB, kC, kD, kE, kF, kG, kH, kI, kJ, kK, kL };

StatusLayout LayoutOfFamily(int f) {
  if (FamilyIn(f, 1, 5) || f == 15 || f == 16) return StatusLayout::kA;
  if (f == 6) return StatusLayout::kB;
  if (FamilyIn(f, 7, 9) || FamilyIn(f, 17, 19)) return StatusLayout::kC;
  if (f == 10 || f == 20) return StatusLayout::kD;
  if (FamilyIn(f, 11, 14) || FamilyIn(f, 21, 24)) return StatusLayout::kE;
  if (f == 25 || f == 28) return StatusLayout::kF;
  if (f == 26 || f == 27 || FamilyIn(f, 29, 43)) return StatusLayout::kG;
  if (f == 44) return StatusLayout::kH;
  if (FamilyIn(f, 45, 52)) return StatusLayout::kI;
  if (f == 61) return StatusLayout::kJ;
  if (f == 70) return StatusLayout::kK;
  return StatusLayout::kL;
}

using Slots = std::map<int, int>;  // option index -> payload position

void Put16(std::vector<std::uint8_t>& p, int at, std::uint32_t v) {
  p[at] = static_cast<std::uint8_t>(v >> 8);
  p[at + 1] = static_cast<std::uint8_t>(v);
}

void Put32(std::vector<std::uint8_t>& p, int at, std::uint32_t v) {
  Put16(p, at, v >> 16);
  Put16(p, at + 2, v);
}

std::uint32_t RoundDiv(double a, double b) {
  return static_cast<std::uint32_t>(std::lround(a / b)) & 0xFFFF;
}

Slots Range(int first_option, int last_option, int first_position) {
  Slots s;
  for (int k = first_option; k <= last_option; ++k) s[k] = first_position + (k - first_option);
  return s;
}

Slots OptionSlots(StatusLayout group, bool fw72, int protocol_variant) {
  switch (group) {
    case StatusLayout::kA:
      return {{0, fw72 ? 1 : 19}};
    case StatusLayout::kB:
      return {{0, 19}};
    case StatusLayout::kC:
    case StatusLayout::kD:
      if (fw72) return {{0, 7}, {1, 6}, {2, 5}, {6, 8}};
      return Range(0, 6, 23);
    case StatusLayout::kE:
      if (fw72) return {{0, 8}, {1, 7}, {2, 6}, {4, 5}};
      return Range(0, 4, 23);
    case StatusLayout::kF:
      if (protocol_variant == 4) {
        Slots s = Range(3, 11, 4);
        s[0] = fw72 ? 49 : 41;
        s[1] = fw72 ? 48 : 40;
        s[2] = fw72 ? 47 : 39;
        return s;
      }
      return Range(0, 12, 23);
    case StatusLayout::kG:
      if (protocol_variant == 4) {
        Slots s = Range(0, 3, 23);
        for (int k = 4; k <= 6; ++k) s[k] = (fw72 ? 43 : 35) + k;
        for (int k = 14; k <= 35; ++k) s[k] = k + 1;
        if (fw72) s[36] = 41;
        return s;
      }
      return Range(0, 36, 1);
    default:
      return Range(0, 14, 1);
  }
}

int BuildPosition(int v, int l) {
  if (v >= 0x71 && l >= 0x51) return 22;
  if (v >= 0x72) return 22;
  if (l == 0x43) return 52;
  if (l == 0x44 || l == 0x45) return 35;
  if (l == 0x47 || l == 0x48) return 43;
  if (l >= 0x49 && l <= 0x4C) return 52;
  return -1;
}

}  // namespace

int OptionCountOf(const SimChipConfig& chip) {
  const SimChipModel& model = SimChipModelAt(chip.chip_index);
  const Slots slots =
      OptionSlots(LayoutOfFamily(model.family), chip.fw_version >= 0x72, model.protocol_variant);
  return slots.empty() ? 0 : slots.rbegin()->first + 1;
}

std::vector<std::uint8_t> BuildStatusPayload(const SimChipConfig& chip, int reply_code,
                                             bool wide_checksum, bool via_board,
                                             const std::map<int, std::uint8_t>& written) {
  const SimChipModel& model = SimChipModelAt(chip.chip_index);
  const StatusLayout group = LayoutOfFamily(model.family);
  const int variant = model.protocol_variant;
  const bool fw72 = chip.fw_version >= 0x72;
  const double f = chip.frequency;
  const double baud = chip.handshake_baud > 0 ? chip.handshake_baud : kFallbackBaud;

  std::vector<std::uint8_t> p(kPayloadSize, 0x00);
  if (chip.fw_version <= kOldSerialVersion) {
    std::copy(chip.serial_number.begin(), chip.serial_number.end(), p.begin() + kOldSerialAt);
  }
  const Slots slots = OptionSlots(group, fw72, variant);
  for (const auto& [option, position] : slots) p[static_cast<std::size_t>(position)] = 0xFF;

  // Reference voltage, test date and wake-up timer where the newer groups keep them.
  if (group == StatusLayout::kG) {
    Put16(p, 35, 1200);
    p[42] = 0x21, p[43] = 0x06, p[44] = 0x15;
    Put16(p, 29, 1200);
    p[31] = 0x21, p[32] = 0x06, p[33] = 0x15;
  } else if (group == StatusLayout::kF) {
    std::copy(kOscillatorConfiguration.begin(), kOscillatorConfiguration.end(),
              p.begin() + kOscillatorConfigurationAt);
  } else if (group == StatusLayout::kH) {
    p[42] = 0x21, p[43] = 0x06, p[44] = 0x15;
  } else if (group >= StatusLayout::kI) {
    Put16(p, 35, group == StatusLayout::kI ? 1300 : 1200);
    p[37] = 0x21, p[38] = 0x06, p[39] = 0x15;
    Put16(p, 23, 35000);
  }

  // Group G under protocol variant 4 reads bytes 23-26 as O0-O3 and again as
  // O22-O25: the lower entry is the one the chip keeps there.
  std::set<int> placed;
  for (std::size_t k = 0; k < chip.options.size(); ++k) {
    auto it = slots.find(static_cast<int>(k));
    if (it != slots.end() && placed.insert(it->second).second) {
      p[static_cast<std::size_t>(it->second)] = chip.options[k];
    }
  }

  // The timing count from which the flasher works out the clock.
  switch (group) {
    case StatusLayout::kA:
      if (fw72)
        Put16(p, 13, RoundDiv(f, baud * 12));
      else
        Put16(p, 3, RoundDiv(f * 7, baud * 12));
      break;
    case StatusLayout::kB:
      Put16(p, 3, RoundDiv(f * 7, baud * 12));
      break;
    case StatusLayout::kC:
    case StatusLayout::kD:
    case StatusLayout::kE:
      if (fw72)
        Put16(p, 13, RoundDiv(f, baud));
      else
        Put16(p, 3, RoundDiv(f * 7, baud * 12));
      break;
    case StatusLayout::kF:
      // Variant 4 carries its reload count; the others the plain count that the
      // newer sequence reads when it keeps the chip's clock untrimmed.
      if (variant == 4)
        Put16(p, 13, 65536 - RoundDiv(f, baud * 4));
      else
        Put16(p, 13, RoundDiv(f, baud));
      break;
    case StatusLayout::kG:
      if (variant == 4) {
        Put16(p, 13, (262144 - RoundDiv(f, baud)) / 4);
      } else {
        Put32(p, 8, static_cast<std::uint32_t>(f));
        Put16(p, 13, RoundDiv(f, baud));
      }
      break;
    case StatusLayout::kH:
      Put32(p, 8, static_cast<std::uint32_t>(f));
      Put16(p, 13, RoundDiv(f, baud));
      break;
    default:
      Put32(p, 1, static_cast<std::uint32_t>(f));
      Put16(p, 13, RoundDiv(f, baud));
      break;
  }

  for (const auto& [position, byte] : written) {
    if (position > 0 && static_cast<std::size_t>(position) < p.size()) {
      p[static_cast<std::size_t>(position)] = byte;
    }
  }

  // Identity last: it is what every chip reports in the same place.
  p[0] = static_cast<std::uint8_t>(reply_code);
  p[17] = static_cast<std::uint8_t>(chip.fw_version);
  p[18] = static_cast<std::uint8_t>(chip.fw_letter);
  if (chip.fw_letter >= 0x51 && chip.fw_version >= 0x71) p[19] = model.sub_model;
  int id = chip.report_alt_id && model.alt_id != 0 ? model.alt_id : model.id;
  if (chip.id_override >= 0) id = chip.id_override;
  Put16(p, 20, static_cast<std::uint32_t>(id));
  if (chip.fw_build != 0) {
    const int at = BuildPosition(chip.fw_version, chip.fw_letter);
    if (at >= 0) p[static_cast<std::size_t>(at)] = static_cast<std::uint8_t>(chip.fw_build);
  }
  if (chip.short_reply) {
    // 23 bytes received on a direct link, 24 through a board.
    const std::size_t tail = via_board ? 3 : (wide_checksum ? 3 : 2);
    p.resize((via_board ? 24 : 23) - tail);
  }
  return p;
}

}  // namespace fw::sim
