#include "sim/trim_procedure.h"

namespace fw::sim {
namespace {

constexpr int kFirmware74 = 0x74;

constexpr std::uint8_t kGroupsSync = 0x7F;
constexpr std::uint8_t kTwoBandsSync = 0x66;
constexpr std::uint8_t kPairsSync = 0xFE;

constexpr int kGroupsRangeBits = 0xC0;
constexpr int kGroupsRangeMark = 0x18;
constexpr int kSlowDownloadRange = 0x58;
constexpr int kFastDownloadRange = 0x98;
constexpr int kFastClock = 20000000;

}  // namespace

TrimProcedure TrimProcedureOf(const ChipTraits& chip) {
  const int f = chip.family;
  if (f < 25) return TrimProcedure::kNone;
  if (f == 25 || f == 28) return TrimProcedure::kGroups;
  if (f == 44) return TrimProcedure::kSevenBit;
  if (FamilyIn(f, 45, 52)) return TrimProcedure::kDivided;
  if (f >= 53) return chip.fw < kFirmware74 ? TrimProcedure::kTwoBands : TrimProcedure::kFourBands;
  return TrimProcedure::kTwoTargets;
}

std::uint8_t MeasureSyncByte(TrimProcedure procedure) {
  switch (procedure) {
    case TrimProcedure::kGroups:
      return kGroupsSync;
    case TrimProcedure::kTwoBands:
      return kTwoBandsSync;
    default:
      return kPairsSync;
  }
}

bool CountsHalfBits(TrimProcedure procedure) {
  return procedure == TrimProcedure::kDivided || procedure == TrimProcedure::kSevenBit ||
         procedure == TrimProcedure::kTwoTargets;
}

int GroupsRangeOf(std::uint8_t range_byte) {
  return (range_byte & kGroupsRangeBits) | kGroupsRangeMark;
}

int GroupsDownloadRange(int clock) {
  return clock < kFastClock ? kSlowDownloadRange : kFastDownloadRange;
}

bool ReportsHalfFrequency(int family) { return family == 51 || family == 52; }

}  // namespace fw::sim
