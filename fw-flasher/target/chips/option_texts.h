// Fixed texts of the option report: voltage tables and pin names.
#pragma once

#include <cstdint>

#include "target/chips/family_traits.h"

namespace fw::option_texts {

struct TwoEntry {
  const char* high_voltage[2];
  const char* other[2];
};

extern const TwoEntry kLvdGroupC;
extern const TwoEntry kLvdFamily12And22;
extern const TwoEntry kLvdFamily13And23;
extern const TwoEntry kLvdFamily14And24;

extern const char* const kLvdH8[8];
extern const char* const kLvdL8[8];

// The low-voltage detection level that `bits` selects in the family's table:
// of eight entries (H8 for high-voltage parts, L8 for the others) entry
// 7 - (bits AND 7), of sixteen entry 15 - (bits AND 15); null without a table.
const char* DetectLevel(LvdTable table, bool high_voltage, std::uint8_t bits);
// The core supply level of the family's table at bits AND 0x1F; null without
// a table.
const char* CoreVoltage(CoreVoltageTable table, std::uint8_t bits);

extern const char* const kLvdGroupI[4];
extern const char* const kLvdGroupsJK[4];
extern const char* const kLvdGroupL[4];

extern const char* const kEmulationPins[4];

}  // namespace fw::option_texts
