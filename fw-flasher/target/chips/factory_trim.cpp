#include "target/chips/factory_trim.h"

#include <cstdlib>

#include "target/chips/family_traits.h"

namespace fw {
namespace {

constexpr int kFirmware73 = 0x73;
constexpr int kFirmware74 = 0x74;
constexpr int kBuildWithPresets = 12;

// A requested frequency matches a preset within 0.5 %: |R - f| / f < 5 / 1000.
constexpr std::int64_t kToleranceParts = 5;
constexpr std::int64_t kToleranceWhole = 1000;

// Status reply positions.
namespace at {
constexpr int kFrequencyOld = 8;  // 4 bytes, high byte first
constexpr int kTrimOld2 = 38;
constexpr int kTrimOld3 = 39;
constexpr int kFrequency = 1;  // 4 bytes, high byte first
constexpr int kTrim = 5;
constexpr int kTrimLow = 6;
constexpr int kTrimRange = 7;
}  // namespace at

// Trim byte 3 holds the oscillator's range above its two low trim bits.
constexpr int kRangeShift = 2;

enum class PresetTable { k1, k2, k3 };

// A base frequency of the oscillator and where the status reply carries its
// factory trim byte.
struct Base {
  int hz;
  int trim_at;
};

// Tables 1 and 3, in the order that the ranges of table 1 are counted in.
constexpr Base kBases[] = {{20000000, 42}, {22118400, 25}, {24000000, 26}, {27000000, 43},
                           {30000000, 44}, {33177600, 45}, {35000000, 46}, {36864000, 47}};
constexpr Base kBasesTable2[] = {
    {18432000, 42}, {20000000, 43}, {22118400, 25}, {24000000, 26}, {27000000, 44}};

// Table 3 sets the high code bit for the bases from this one up.
constexpr int kFirstHighBase = 27000000;
constexpr int kHighCodeBit = 128;
constexpr int kCodePerDivisor = 4;
constexpr int kFirstRange = 2;  // of the 20 MHz base in table 1

// A frequency the chip can be set to: a base divided by a divisor.
struct Preset {
  int hz;
  int base_hz;
  int divisor;
};

// In increasing order: the first match wins.
constexpr Preset kPresets[] = {
    {4000000, 20000000, 5},  {5000000, 20000000, 4},  {5529600, 22118400, 4},
    {6000000, 24000000, 4},  {7000000, 35000000, 5},  {8000000, 24000000, 3},
    {9000000, 27000000, 3},  {10000000, 20000000, 2}, {11059200, 22118400, 2},
    {12000000, 24000000, 2}, {15000000, 30000000, 2}, {18432000, 36864000, 2},
    {20000000, 20000000, 1}, {22118400, 22118400, 1}, {24000000, 24000000, 1},
    {27000000, 27000000, 1}, {30000000, 30000000, 1}, {33177600, 33177600, 1},
    {35000000, 35000000, 1}, {36864000, 36864000, 1}};
constexpr Preset kPresetsTable2[] = {
    {4000000, 20000000, 5},  {5000000, 20000000, 4},  {5529600, 22118400, 4},
    {6000000, 24000000, 4},  {8000000, 24000000, 3},  {9000000, 27000000, 3},
    {10000000, 20000000, 2}, {11059200, 22118400, 2}, {12000000, 24000000, 2},
    {18432000, 18432000, 1}, {20000000, 20000000, 1}, {22118400, 22118400, 1},
    {24000000, 24000000, 1}, {27000000, 27000000, 1}};

int BigEndian32(std::span<const std::uint8_t> s, int at) {
  const std::uint32_t v = static_cast<std::uint32_t>(s[at]) << 24 |
                          static_cast<std::uint32_t>(s[at + 1]) << 16 |
                          static_cast<std::uint32_t>(s[at + 2]) << 8 | s[at + 3];
  return static_cast<int>(v);
}

bool Matches(int set_frequency, int preset_hz) {
  const std::int64_t distance = std::llabs(std::int64_t{set_frequency} - preset_hz);
  return distance * kToleranceWhole < kToleranceParts * preset_hz;
}

std::uint8_t TrimByteOf(std::span<const std::uint8_t> s, std::span<const Base> bases, int hz) {
  for (const Base& base : bases) {
    if (base.hz == hz) return s[static_cast<std::size_t>(base.trim_at)];
  }
  return 0;
}

// Table 1's range of a base: 2 for 20 MHz, then one more at every base whose
// trim byte is below the one before it.
int RangeOf(std::span<const std::uint8_t> s, int base_hz) {
  int range = kFirstRange;
  for (std::size_t k = 1; k < std::size(kBases) && kBases[k - 1].hz != base_hz; ++k) {
    if (s[static_cast<std::size_t>(kBases[k].trim_at)] <
        s[static_cast<std::size_t>(kBases[k - 1].trim_at)]) {
      ++range;
    }
  }
  return range;
}

int CodeOf(std::span<const std::uint8_t> s, PresetTable table, const Preset& preset) {
  const int code = kCodePerDivisor * preset.divisor;
  switch (table) {
    case PresetTable::k1:
      return RangeOf(s, preset.base_hz) + code;
    case PresetTable::k2:
      return code;
    case PresetTable::k3:
      return preset.base_hz >= kFirstHighBase ? kHighCodeBit + code : code;
  }
  return code;
}

FactoryTrim FromPresetTable(std::span<const std::uint8_t> s, PresetTable table, int set_frequency) {
  const bool table2 = table == PresetTable::k2;
  const std::span<const Preset> presets =
      table2 ? std::span<const Preset>(kPresetsTable2) : std::span<const Preset>(kPresets);
  const std::span<const Base> bases =
      table2 ? std::span<const Base>(kBasesTable2) : std::span<const Base>(kBases);
  for (const Preset& preset : presets) {
    if (!Matches(set_frequency, preset.hz)) continue;
    return {TrimByteOf(s, bases, preset.base_hz),
            static_cast<std::uint8_t>(CodeOf(s, table, preset)), preset.hz};
  }
  // No preset: the chip's own setting, its range and low bits packed by table.
  const int low_bits = table == PresetTable::k1 ? (s[at::kTrimLow] >> 4) & 3 : s[at::kTrimLow];
  return {s[at::kTrim], static_cast<std::uint8_t>((s[at::kTrimRange] << kRangeShift) + low_bits),
          BigEndian32(s, at::kFrequency)};
}

}  // namespace

FactoryTrim ChooseFactoryTrim(std::span<const std::uint8_t> s, const FamilyTraits& traits,
                              int fw_version, int build, int set_frequency) {
  if (s.size() < static_cast<std::size_t>(kFactoryTrimStatusBytes)) return {};
  // The older status layout: the clock in bytes 8 to 11, the trim in 38 and 39.
  if (traits.status_layout == StatusLayout::kClockAt8) {
    return {s[at::kTrimOld2], s[at::kTrimOld3], BigEndian32(s, at::kFrequencyOld)};
  }
  if (fw_version >= kFirmware74) return FromPresetTable(s, PresetTable::k1, set_frequency);
  if (fw_version == kFirmware73 && build >= kBuildWithPresets) {
    const bool table_2 = traits.presets_73 == PresetTable73::kTable2;
    return FromPresetTable(s, table_2 ? PresetTable::k2 : PresetTable::k3, set_frequency);
  }
  return {s[at::kTrim],
          static_cast<std::uint8_t>(s[at::kTrimLow] + (s[at::kTrimRange] << kRangeShift)),
          BigEndian32(s, at::kFrequency)};
}

FactoryTrim ChooseFactoryTrim(std::span<const std::uint8_t> status, int family_code, int fw_version,
                              int build, int set_frequency) {
  return ChooseFactoryTrim(status, TraitsOf(family_code), fw_version, build, set_frequency);
}

}  // namespace fw
