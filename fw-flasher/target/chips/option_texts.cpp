#include "target/chips/option_texts.h"

namespace fw::option_texts {

const TwoEntry kLvdGroupC = {{"3.3 V", "3.7 V"}, {"2.0 V", "2.4 V"}};
const TwoEntry kLvdFamily12And22 = {{"3.3 V", "3.8 V"}, {"2.0 V", "2.4 V"}};
const TwoEntry kLvdFamily13And23 = {{"3.7 V", "4.1 V"}, {"2.1 V", "2.4 V"}};
const TwoEntry kLvdFamily14And24 = {{"3.5 V", "4.1 V"}, {"2.1 V", "2.4 V"}};

const char* const kLvdH8[8] = {"3.14 V", "3.28 V", "3.43 V", "3.61 V",
                               "3.82 V", "4.05 V", "4.32 V", "4.64 V"};
const char* const kLvdL8[8] = {"1.89 V", "2.00 V", "2.12 V", "2.26 V",
                               "2.42 V", "2.61 V", "2.82 V", "3.08 V"};

namespace {

const char* const kLvd32And37[16] = {"2.14 V", "2.25 V", "2.38 V", "2.52 V", "2.66 V", "2.83 V",
                                     "2.93 V", "2.99 V", "3.10 V", "3.21 V", "3.32 V", "3.45 V",
                                     "3.59 V", "3.69 V", "3.79 V", "3.89 V"};
const char* const kLvd33[16] = {"2.19 V", "2.20 V", "2.28 V", "2.41 V", "2.57 V", "2.74 V",
                                "2.94 V", "3.18 V", "3.44 V", "3.60 V", "3.76 V", "3.94 V",
                                "4.14 V", "4.29 V", "4.44 V", "4.61 V"};
const char* const kLvd34[16] = {"2.05 V", "2.15 V", "2.27 V", "2.39 V", "2.53 V", "2.69 V",
                                "2.78 V", "2.86 V", "2.96 V", "3.06 V", "3.18 V", "3.29 V",
                                "3.42 V", "3.51 V", "3.60 V", "3.70 V"};
const char* const kLvd35[16] = {"2.10 V", "2.22 V", "2.34 V", "2.47 V", "2.62 V", "2.79 V",
                                "2.88 V", "2.98 V", "3.07 V", "3.18 V", "3.29 V", "3.46 V",
                                "3.50 V", "3.67 V", "3.78 V", "3.90 V"};
const char* const kLvd36[16] = {"2.13 V", "2.24 V", "2.37 V", "2.50 V", "2.66 V", "2.82 V",
                                "2.91 V", "2.98 V", "3.09 V", "3.20 V", "3.32 V", "3.45 V",
                                "3.58 V", "3.67 V", "3.78 V", "3.89 V"};
const char* const kLvd38To43[16] = {"2.23 V", "2.33 V", "2.50 V", "2.63 V", "2.78 V", "2.98 V",
                                    "3.06 V", "3.15 V", "3.25 V", "3.38 V", "3.50 V", "3.61 V",
                                    "3.76 V", "3.86 V", "3.96 V", "4.08 V"};

const char* const kCore32[32] = {
    "2.27 V", "2.29 V", "2.34 V", "2.38 V", "2.43 V", "2.48 V", "2.53 V", "2.58 V",
    "2.63 V", "2.68 V", "2.73 V", "2.77 V", "2.82 V", "2.87 V", "2.92 V", "2.97 V",
    "3.02 V", "3.07 V", "3.12 V", "3.17 V", "3.22 V", "3.27 V", "3.32 V", "3.37 V",
    "3.43 V", "3.48 V", "3.53 V", "3.58 V", "3.63 V", "3.68 V", "3.74 V", "3.79 V"};
const char* const kCore34[32] = {
    "2.18 V", "2.22 V", "2.27 V", "2.32 V", "2.36 V", "2.41 V", "2.46 V", "2.50 V",
    "2.55 V", "2.60 V", "2.64 V", "2.69 V", "2.74 V", "2.78 V", "2.83 V", "2.88 V",
    "2.93 V", "2.95 V", "3.02 V", "3.07 V", "3.12 V", "3.16 V", "3.21 V", "3.25 V",
    "3.30 V", "3.35 V", "3.40 V", "3.44 V", "3.49 V", "3.54 V", "3.58 V", "3.63 V"};
const char* const kCore35[32] = {
    "2.22 V", "2.27 V", "2.32 V", "2.37 V", "2.42 V", "2.46 V", "2.52 V", "2.56 V",
    "2.61 V", "2.66 V", "2.71 V", "2.76 V", "2.81 V", "2.86 V", "2.91 V", "2.96 V",
    "3.02 V", "3.07 V", "3.12 V", "3.17 V", "3.22 V", "3.27 V", "3.32 V", "3.37 V",
    "3.42 V", "3.47 V", "3.52 V", "3.57 V", "3.63 V", "3.68 V", "3.73 V", "3.78 V"};
const char* const kCore36[32] = {
    "2.20 V", "2.24 V", "2.29 V", "2.34 V", "2.39 V", "2.44 V", "2.49 V", "2.54 V",
    "2.59 V", "2.63 V", "2.68 V", "2.73 V", "2.78 V", "2.83 V", "2.88 V", "2.93 V",
    "2.98 V", "3.03 V", "3.08 V", "3.13 V", "3.18 V", "3.23 V", "3.28 V", "3.33 V",
    "3.39 V", "3.44 V", "3.48 V", "3.54 V", "3.59 V", "3.64 V", "3.69 V", "3.75 V"};
const char* const kCore37[32] = {
    "2.20 V", "2.25 V", "2.30 V", "2.34 V", "2.40 V", "2.44 V", "2.49 V", "2.54 V",
    "2.59 V", "2.64 V", "2.69 V", "2.74 V", "2.79 V", "2.84 V", "2.89 V", "2.94 V",
    "2.99 V", "3.04 V", "3.09 V", "3.14 V", "3.19 V", "3.24 V", "3.29 V", "3.34 V",
    "3.39 V", "3.44 V", "3.49 V", "3.54 V", "3.60 V", "3.65 V", "3.70 V", "3.75 V"};
const char* const kCore38To43[32] = {
    "2.19 V", "2.24 V", "2.29 V", "2.34 V", "2.39 V", "2.44 V", "2.48 V", "2.53 V",
    "2.58 V", "2.63 V", "2.68 V", "2.73 V", "2.78 V", "2.83 V", "2.88 V", "2.93 V",
    "2.98 V", "3.03 V", "3.08 V", "3.13 V", "3.18 V", "3.23 V", "3.28 V", "3.33 V",
    "3.38 V", "3.43 V", "3.48 V", "3.53 V", "3.58 V", "3.63 V", "3.68 V", "3.73 V"};

const char* const* SixteenEntries(LvdTable table) {
  switch (table) {
    case LvdTable::kLvd32And37:
      return kLvd32And37;
    case LvdTable::kLvd33:
      return kLvd33;
    case LvdTable::kLvd34:
      return kLvd34;
    case LvdTable::kLvd35:
      return kLvd35;
    case LvdTable::kLvd36:
      return kLvd36;
    case LvdTable::kLvd38To43:
      return kLvd38To43;
    case LvdTable::kNoLvd:
    case LvdTable::kEightEntry:
      break;
  }
  return nullptr;
}

const char* const* CoreEntries(CoreVoltageTable table) {
  switch (table) {
    case CoreVoltageTable::kCore32:
      return kCore32;
    case CoreVoltageTable::kCore34:
      return kCore34;
    case CoreVoltageTable::kCore35:
      return kCore35;
    case CoreVoltageTable::kCore36:
      return kCore36;
    case CoreVoltageTable::kCore37:
      return kCore37;
    case CoreVoltageTable::kCore38To43:
      return kCore38To43;
    case CoreVoltageTable::kNoCore:
      break;
  }
  return nullptr;
}

}  // namespace

const char* DetectLevel(LvdTable table, bool high_voltage, std::uint8_t bits) {
  if (table == LvdTable::kEightEntry) return (high_voltage ? kLvdH8 : kLvdL8)[7 - (bits & 7)];
  const char* const* entries = SixteenEntries(table);
  return entries != nullptr ? entries[15 - (bits & 15)] : nullptr;
}

const char* CoreVoltage(CoreVoltageTable table, std::uint8_t bits) {
  const char* const* entries = CoreEntries(table);
  return entries != nullptr ? entries[bits & 0x1F] : nullptr;
}

const char* const kLvdGroupI[4] = {"2.20 V", "2.40 V", "2.70 V", "3.00 V"};
const char* const kLvdGroupsJK[4] = {"1.90 V", "2.30 V", "2.80 V", "3.70 V"};
const char* const kLvdGroupL[4] = {"2.00 V", "2.40 V", "2.70 V", "3.00 V"};

const char* const kEmulationPins[4] = {"P3.0/P3.1", "P3.6/P3.7", "P1.6/P1.7", "P4.3/P4.4"};

}  // namespace fw::option_texts
