// Which of the boot loader's ways of measuring its oscillator a chip speaks,
// by family code and firmware version, and what goes with each way.
#pragma once

#include <cstdint>

#include "sim/chip_traits.h"

namespace fw::sim {

enum class TrimProcedure {
  kNone,        // families below 25: no oscillator to trim
  kGroups,      // 25, 28: the 65 command, groups of range, trim and count
  kDivided,     // 45-52: one range in quarter steps, run through a divider
  kSevenBit,    // 44: four ranges of 7-bit trims, each pair range first
  kTwoTargets,  // 26, 27, 29-43: four ranges C0 80 40 00, two targets
  kTwoBands,    // 53 and above before 7.4: a low and a high band in quarter steps
  kFourBands,   // 53 and above from 7.4: four bands 00 10 20 30
};

TrimProcedure TrimProcedureOf(const ChipTraits& chip);

// The byte the host repeats while the chip measures against its bit timing.
std::uint8_t MeasureSyncByte(TrimProcedure procedure);

// Whether a count stands for twice the frequency over the host's rate (else once).
bool CountsHalfBits(TrimProcedure procedure);

// Families 25 and 28 name a range by the top two bits of a range byte; the
// low bits of each such byte in a 65 command are 0x18.
int GroupsRangeOf(std::uint8_t range_byte);
// The range their boot loader runs a download in, by the clock it reports.
int GroupsDownloadRange(int clock);

// Families whose measurements report half of what the oscillator runs at.
bool ReportsHalfFrequency(int family);

}  // namespace fw::sim
