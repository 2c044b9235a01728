// Fixed texts of the option report: voltage tables and pin names.
#pragma once

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

// Sixteen-entry LVD table of families 32 to 43; null for other families.
const char* const* SixteenEntryLvd(int family_code);
// Thirty-two-entry core-voltage table of families 32, 34 to 43; null for others.
const char* const* CoreVoltageTable(int family_code);

extern const char* const kLvdGroupI[4];
extern const char* const kLvdGroupsJK[4];
extern const char* const kLvdGroupL[4];

extern const char* const kEmulationPins[4];

}  // namespace fw::option_texts
