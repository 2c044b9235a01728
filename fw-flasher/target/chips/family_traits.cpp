#include "target/chips/family_traits.h"

#include <array>

#include "target/chips/status_record.h"

namespace fw {
namespace {

using enum DecodingGroup;
using enum SequenceRule;
using enum TrimRule;
using enum TrimStart;
using enum BaudSwitchRule;
using enum ClockRangeRule;
using enum EraseRule;
using enum OptionWriteRule;
using enum OptionBlockLayout;
using enum StatusLayout;
using enum ParameterBlockRule;
using enum PresetTable73;
using enum BoardPlacementFlag;
using enum GroupELine;
using enum LvdTable;
using enum CoreVoltageTable;
using enum ResetLevelPin;
using namespace family_flags;

// The firmware from which procedure 6 replaces procedure 5.
constexpr int kFirmware74 = 0x74;

// One row per family code. First line: family, decoding group, sequence,
// lowest firmware, block size, trim, trim start, baud switch, clock range,
// erase, option write. Second line: option block, status layout, parameter
// block, USB prepare byte, 7.3 preset table, board placement flag, group E
// line, LVD table, core voltage table, reset level pin, flags.
// clang-format off
constexpr std::array<FamilyTraits, 71> kFamilies = {{
    {0,  kL, kNewer,           0,           128, kNoTrim,     kByClockSource, kSwitch,         kEightSteps, kBeyondCode,          kOptionBlock,
     kBelow44, kClockAt8,      kShort,      0x03, kTable2, kFlagsCBit0, kNoLine,     kNoLvd,      kNoCore,     kP20, kBoardWholeCode | kGainLine},
    {1,  kA, kClassic,         kFirmware66, 128, kNoTrim,     kByClockSource, kTryThenConfirm, kFourSteps,  kSectors,             kByteOne,
     kBelow44, kClockAt8,      kShort,      0x03, kTable2, kFlagsCBit0, kNoLine,     kNoLvd,      kNoCore,     kP20, kClassicGuard | kTopReserve | kBoardWholeCode | kGainLine},
    {2,  kA, kClassic,         kFirmware66, 128, kNoTrim,     kByClockSource, kTryThenConfirm, kFourSteps,  kSectors,             kByteOne,
     kBelow44, kClockAt8,      kShort,      0x03, kTable2, kFlagsCBit0, kNoLine,     kNoLvd,      kNoCore,     kP20, kClassicGuard | kTopReserve | kBoardWholeCode | kGainLine},
    {3,  kA, kClassic,         0,           128, kNoTrim,     kByClockSource, kTryThenConfirm, kFourSteps,  kSectors,             kByteOne,
     kBelow44, kClockAt8,      kShort,      0x03, kTable2, kFlagsCBit0, kNoLine,     kNoLvd,      kNoCore,     kP20, kClassicGuard | kTopReserve | kBoardWholeCode | kGainLine},
    {4,  kA, kClassic,         0,           128, kNoTrim,     kByClockSource, kTryThenConfirm, kFourSteps,  kSectors,             kByteOne,
     kBelow44, kClockAt8,      kShort,      0x03, kTable2, kFlagsCBit0, kNoLine,     kNoLvd,      kNoCore,     kP20, kClassicGuard | kTopReserve | kBoardWholeCode | kGainLine},
    {5,  kA, kClassic,         0,           128, kNoTrim,     kByClockSource, kTryThenConfirm, kFourSteps,  kSectors,             kByteOne,
     kBelow44, kClockAt8,      kShort,      0x03, kTable2, kFlagsCBit0, kNoLine,     kNoLvd,      kNoCore,     kP20, kClassicGuard | kTopReserve | kBoardWholeCode | kGainLine},
    {6,  kB, kClassic,         0,           128, kNoTrim,     kByClockSource, kTryThenConfirm, kFourSteps,  kSectors,             kModeByte,
     kBelow44, kClockAt8,      kShort,      0x03, kTable2, kFlagsCBit0, kNoLine,     kNoLvd,      kNoCore,     kP20, kClassicGuard | kBoardWholeCode},
    {7,  kC, kClassic,         kFirmware50, 128, kNoTrim,     kByClockSource, kTryThenConfirm, kEightSteps, kSpans,               kClockWithByte4,
     kBelow44, kClockAt8,      kShort,      0x03, kTable2, kFlagsCBit0, kNoLine,     kNoLvd,      kNoCore,     kP20, kClassicGuard | kOptionByte4AtByte5 | kTopReserve | kBoardWholeCode},
    {8,  kC, kClassic,         kFirmware50, 128, kNoTrim,     kByClockSource, kTryThenConfirm, kEightSteps, kSpans,               kClockWithByte4,
     kBelow44, kClockAt8,      kShort,      0x03, kTable2, kFlagsCBit0, kNoLine,     kNoLvd,      kNoCore,     kP20, kClassicGuard | kSerialAfterErase | kTopReserve | kBoardWholeCode},
    {9,  kC, kClassic,         kFirmware58, 128, kNoTrim,     kByClockSource, kTryThenConfirm, kEightSteps, kSpans,               kClockWithByte4,
     kBelow44, kClockAt8,      kShort,      0x03, kTable2, kFlagsCBit0, kNoLine,     kNoLvd,      kNoCore,     kP20, kClassicGuard | kSerialAfterErase | kTopReserve | kBoardWholeCode},
    {10, kD, kClassic,         0,           128, kNoTrim,     kByClockSource, kTryThenConfirm, kEightSteps, kSpans,               kClockWithByte4,
     kBelow44, kClockAt8,      kShort,      0x03, kTable2, kFlagsCBit0, kNoLine,     kNoLvd,      kNoCore,     kP20, kSerialAfterErase | kTopReserve | kBoardWholeCode | kGainLine},
    {11, kE, kClassic,         0,           128, kNoTrim,     kByClockSource, kTryThenConfirm, kEightSteps, kSpans,               kClockWithByte2,
     kBelow44, kClockAt8,      kShort,      0x03, kTable2, kFlagsCBit0, kReset2,     kNoLvd,      kNoCore,     kP20, kSerialAfterErase | kTopReserve | kBoardWholeCode | kGainLine},
    {12, kE, kClassic,         0,           128, kNoTrim,     kByClockSource, kTryThenConfirm, kEightSteps, kSpans,               kClockWithByte2,
     kBelow44, kClockAt8,      kShort,      0x03, kTable2, kFlagsCBit0, kLvd12And22, kNoLvd,      kNoCore,     kP20, kSerialAfterErase | kTopReserve | kBoardWholeCode | kGainLine},
    {13, kE, kClassic,         0,           128, kNoTrim,     kByClockSource, kTryThenConfirm, kEightSteps, kSpans,               kClockWithByte2,
     kBelow44, kClockAt8,      kShort,      0x03, kTable2, kFlagsCBit0, kLvd13And23, kNoLvd,      kNoCore,     kP20, kSerialAfterErase | kTopReserve | kBoardWholeCode | kGainLine},
    {14, kE, kClassic,         0,           128, kNoTrim,     kByClockSource, kTryThenConfirm, kEightSteps, kSpans,               kClockWithByte2,
     kBelow44, kClockAt8,      kShort,      0x03, kTable2, kFlagsCBit0, kLvd14And24, kNoLvd,      kNoCore,     kP20, kSerialAfterErase | kTopReserve | kBoardWholeCode | kGainLine},
    {15, kA, kClassic,         0,           128, kNoTrim,     kByClockSource, kTryThenConfirm, kFourSteps,  kSectors,             kByteOne,
     kBelow44, kClockAt8,      kShort,      0x03, kTable2, kFlagsCBit0, kNoLine,     kNoLvd,      kNoCore,     kP20, kClassicGuard | kSerialAfterErase | kBoardWholeCode | kGainLine},
    {16, kA, kClassic,         0,           128, kNoTrim,     kByClockSource, kTryThenConfirm, kFourSteps,  kSectors,             kByteOne,
     kBelow44, kClockAt8,      kShort,      0x03, kTable2, kFlagsCBit0, kNoLine,     kNoLvd,      kNoCore,     kP20, kClassicGuard | kSerialAfterErase | kBoardWholeCode | kGainLine},
    {17, kC, kClassic,         0,           128, kNoTrim,     kByClockSource, kTryThenConfirm, kEightSteps, kSpans,               kClockWithByte4,
     kBelow44, kClockAt8,      kShort,      0x03, kTable2, kFlagsCBit0, kNoLine,     kNoLvd,      kNoCore,     kP20, kClassicGuard | kSerialAfterErase | kTopReserve | kBoardWholeCode},
    {18, kC, kClassic,         0,           128, kNoTrim,     kByClockSource, kTryThenConfirm, kEightSteps, kSpans,               kClockWithByte4,
     kBelow44, kClockAt8,      kShort,      0x03, kTable2, kFlagsCBit0, kNoLine,     kNoLvd,      kNoCore,     kP20, kClassicGuard | kSerialAfterErase | kTopReserve | kBoardWholeCode},
    {19, kC, kClassic,         0,           128, kNoTrim,     kByClockSource, kTryThenConfirm, kEightSteps, kSpans,               kClockWithByte4,
     kBelow44, kClockAt8,      kShort,      0x03, kTable2, kFlagsCBit0, kNoLine,     kNoLvd,      kNoCore,     kP20, kClassicGuard | kSerialAfterErase | kTopReserve | kBoardWholeCode},
    {20, kD, kClassic,         0,           128, kNoTrim,     kByClockSource, kTryThenConfirm, kEightSteps, kSpans,               kClockWithByte4,
     kBelow44, kClockAt8,      kShort,      0x03, kTable2, kFlagsCBit0, kNoLine,     kNoLvd,      kNoCore,     kP20, kSerialAfterErase | kTopReserve | kBoardWholeCode | kGainLine},
    {21, kE, kClassic,         0,           128, kNoTrim,     kByClockSource, kTryThenConfirm, kEightSteps, kSpans,               kClockWithByte2,
     kBelow44, kClockAt8,      kShort,      0x03, kTable2, kFlagsCBit0, kReset2,     kNoLvd,      kNoCore,     kP20, kSerialAfterErase | kTopReserve | kBoardWholeCode | kGainLine},
    {22, kE, kClassic,         0,           128, kNoTrim,     kByClockSource, kTryThenConfirm, kEightSteps, kSpans,               kClockWithByte2,
     kBelow44, kClockAt8,      kShort,      0x03, kTable2, kFlagsCBit0, kLvd12And22, kNoLvd,      kNoCore,     kP20, kSerialAfterErase | kTopReserve | kBoardWholeCode | kGainLine},
    {23, kE, kClassic,         0,           128, kNoTrim,     kByClockSource, kTryThenConfirm, kEightSteps, kSpans,               kClockWithByte2,
     kBelow44, kClockAt8,      kShort,      0x03, kTable2, kFlagsCBit0, kLvd13And23, kNoLvd,      kNoCore,     kP20, kSerialAfterErase | kTopReserve | kBoardWholeCode | kGainLine},
    {24, kE, kClassic,         0,           128, kNoTrim,     kByClockSource, kTryThenConfirm, kEightSteps, kSpans,               kClockWithByte2,
     kBelow44, kClockAt8,      kShort,      0x03, kTable2, kFlagsCBit0, kLvd14And24, kNoLvd,      kNoCore,     kP20, kSerialAfterErase | kTopReserve | kBoardWholeCode | kGainLine},
    {25, kF, kClassicBefore71, 0,           64,  kProcedure1, kByClockSource, kCountBefore71,  kEightSteps, kWholeLengthBefore71, kTrimBefore71,
     k25And28, kClockAt8,      kShort,      0x03, kTable2, kFlagsBBit7, kNoLine,     kEightEntry, kNoCore,     kP20, kSerialAfterErase | kClearsChipSerial | kBoardWholeCode},
    {26, kG, kNewer,           0,           128, kProcedure4, kByClockSource, kSwitch,         kEightSteps, kBeyondCode,          kOptionBlock,
     kBelow44, kClockAt8,      kShort,      0x03, kTable2, kFlagsBBit7, kNoLine,     kEightEntry, kNoCore,     kP20, kSerialAfterErase | kBoardWholeCode},
    {27, kG, kNewer,           0,           64,  kProcedure4, kByClockSource, kSwitch,         kEightSteps, kBeyondCode,          kOptionBlock,
     kBelow44, kClockAt8,      kShort,      0x03, kTable2, kFlagsBBit7, kNoLine,     kEightEntry, kNoCore,     kP33, kSerialAfterErase | kBoardWholeCode},
    {28, kF, kClassicBefore71, 0,           64,  kProcedure1, kByClockSource, kCountBefore71,  kEightSteps, kWholeLengthBefore71, kTrimBefore71,
     k25And28, kClockAt8,      kShort,      0x03, kTable2, kFlagsBBit7, kNoLine,     kEightEntry, kNoCore,     kP20, kSerialAfterErase | kClearsChipSerial | kBoardWholeCode},
    {29, kG, kNewer,           0,           128, kProcedure4, kByClockSource, kSwitch,         kEightSteps, kBeyondCode,          kOptionBlock,
     kBelow44, kClockAt8,      kShort,      0x03, kTable2, kFlagsBBit7, kNoLine,     kEightEntry, kNoCore,     kP20, kSerialAfterErase | kBoardWholeCode | kGainLine},
    {30, kG, kNewer,           0,           128, kProcedure4, kByClockSource, kSwitch,         kEightSteps, kBeyondCode,          kOptionBlock,
     kBelow44, kClockAt8,      kShort,      0x03, kTable2, kFlagsBBit7, kNoLine,     kEightEntry, kNoCore,     kP20, kSerialAfterErase | kBoardWholeCode | kGainLine},
    {31, kG, kNewer,           0,           128, kProcedure4, kByClockSource, kSwitch,         kEightSteps, kBeyondCode,          kOptionBlock,
     kBelow44, kClockAt8,      kShort,      0x03, kTable2, kFlagsBBit7, kNoLine,     kEightEntry, kNoCore,     kP20, kSerialAfterErase | kBoardWholeCode | kGainLine},
    {32, kG, kNewer,           0,           64,  kProcedure4, kByClockSource, kSwitch,         kEightSteps, kBeyondCode,          kOptionBlock,
     kBelow44, kClockAt8,      kShort,      0x03, kTable2, kFlagsBBit7, kNoLine,     kLvd32And37, kCore32,     kP33, kSerialAfterErase | kBoardWholeCode},
    {33, kG, kNewer,           0,           64,  kProcedure4, kByClockSource, kSwitch,         kEightSteps, kBeyondCode,          kOptionBlock,
     kBelow44, kClockAt8,      kShort,      0x03, kTable2, kFlagsBBit7, kNoLine,     kLvd33,      kNoCore,     kP10, kSerialAfterErase | kBoardWholeCode},
    {34, kG, kNewer,           0,           128, kProcedure4, kByClockSource, kSwitch,         kEightSteps, kBeyondCode,          kOptionBlock,
     kBelow44, kClockAt8,      kShort,      0x03, kTable2, kFlagsBBit7, kNoLine,     kLvd34,      kCore34,     kP10, kSerialAfterErase | kBoardWholeCode},
    {35, kG, kNewer,           0,           128, kProcedure4, kByClockSource, kSwitch,         kEightSteps, kBeyondCode,          kOptionBlock,
     kBelow44, kClockAt8,      kShort,      0x03, kTable2, kFlagsBBit7, kNoLine,     kLvd35,      kCore35,     kP20, kSerialAfterErase | kBoardWholeCode},
    {36, kG, kNewer,           0,           128, kProcedure4, kByClockSource, kSwitch,         kEightSteps, kBeyondCode,          kOptionBlock,
     kBelow44, kClockAt8,      kShort,      0x03, kTable2, kFlagsBBit7, kNoLine,     kLvd36,      kCore36,     kP20, kSerialAfterErase | kBoardWholeCode},
    {37, kG, kNewer,           0,           128, kProcedure4, kByClockSource, kSwitch,         kEightSteps, kBeyondCode,          kOptionBlock,
     kBelow44, kClockAt8,      kShort,      0x03, kTable2, kFlagsBBit7, kNoLine,     kLvd32And37, kCore37,     kP20, kSerialAfterErase | kBoardWholeCode | kGainLine},
    {38, kG, kNewer,           0,           128, kProcedure4, kByClockSource, kSwitch,         kEightSteps, kBeyondCode,          kOptionBlock,
     kBelow44, kClockAt8,      kShort,      0x03, kTable2, kFlagsBBit7, kNoLine,     kLvd38To43,  kCore38To43, kP20, kSerialAfterErase | kBoardWholeCode | kGainLine},
    {39, kG, kNewer,           0,           128, kProcedure4, kByClockSource, kSwitch,         kEightSteps, kBeyondCode,          kOptionBlock,
     kBelow44, kClockAt8,      kShort,      0x03, kTable2, kFlagsBBit7, kNoLine,     kLvd38To43,  kCore38To43, kP20, kSerialAfterErase | kBoardWholeCode | kGainLine},
    {40, kG, kNewer,           0,           128, kProcedure4, kByClockSource, kSwitch,         kEightSteps, kBeyondCode,          kOptionBlock,
     kBelow44, kClockAt8,      kShort,      0x03, kTable2, kFlagsBBit7, kNoLine,     kLvd38To43,  kCore38To43, kP20, kSerialAfterErase | kBoardWholeCode | kGainLine},
    {41, kG, kNewer,           0,           128, kProcedure4, kByClockSource, kSwitch,         kEightSteps, kBeyondCode,          kOptionBlock,
     kBelow44, kClockAt8,      kShort,      0x03, kTable2, kFlagsBBit7, kNoLine,     kLvd38To43,  kCore38To43, kP20, kSerialAfterErase | kBoardWholeCode | kGainLine},
    {42, kG, kNewer,           0,           128, kProcedure4, kByClockSource, kSwitch,         kEightSteps, kBeyondCode,          kOptionBlock,
     kBelow44, kClockAt8,      kShort,      0x03, kTable2, kFlagsBBit7, kNoLine,     kLvd38To43,  kCore38To43, kP20, kSerialAfterErase | kBoardWholeCode | kGainLine},
    {43, kG, kNewer,           0,           128, kProcedure4, kByClockSource, kSwitch,         kEightSteps, kBeyondCode,          kOptionBlock,
     kBelow44, kClockAt8,      kShort,      0x03, kTable2, kFlagsBBit7, kNoLine,     kLvd38To43,  kCore38To43, kP20, kSerialAfterErase | kBoardWholeCode | kGainLine},
    {44, kH, kNewer,           0,           128, kProcedure3, kByClockSource, kSwitch,         kEightSteps, kBeyondCode,          kOptionBlock,
     k44,      kClockAt8,      kShort,      0x03, kTable2, kFlagsBBit7, kNoLine,     kNoLvd,      kNoCore,     kP20, kSerialAfterErase | kBoardWholeCode | kGainLine},
    {45, kI, kNewer,           0,           128, kProcedure2, kAlways,        kSwitch,         kEightSteps, kBeyondCode,          kOptionBlock,
     k45To52,  kOscillatorAt1, kByFirmware, 0x03, kTable2, kFlagsBBit7, kNoLine,     kNoLvd,      kNoCore,     kP20, kSerialAfterErase | kBoardClearsOption35 | kGainLine},
    {46, kI, kNewer,           0,           128, kProcedure2, kAlways,        kSwitch,         kEightSteps, kBeyondCode,          kOptionBlock,
     k45To52,  kOscillatorAt1, kByFirmware, 0x03, kTable2, kFlagsBBit7, kNoLine,     kNoLvd,      kNoCore,     kP20, kSerialAfterErase | kBoardClearsOption35 | kGainLine},
    {47, kI, kNewer,           0,           128, kProcedure2, kAlways,        kSwitch,         kEightSteps, kBeyondCode,          kOptionBlock,
     k45To52,  kOscillatorAt1, kByFirmware, 0x03, kTable2, kFlagsBBit7, kNoLine,     kNoLvd,      kNoCore,     kP20, kSerialAfterErase | kBoardClearsOption35 | kGainLine},
    {48, kI, kNewer,           0,           128, kProcedure2, kAlways,        kSwitch,         kEightSteps, kBeyondCode,          kOptionBlock,
     k45To52,  kOscillatorAt1, kByFirmware, 0x03, kTable2, kFlagsBBit7, kNoLine,     kNoLvd,      kNoCore,     kP20, kSerialAfterErase | kBoardClearsOption35 | kGainLine},
    {49, kI, kNewer,           0,           128, kProcedure2, kAlways,        kSwitch,         kEightSteps, kBeyondCode,          kOptionBlock,
     k45To52,  kOscillatorAt1, kByFirmware, 0x03, kTable2, kFlagsBBit7, kNoLine,     kNoLvd,      kNoCore,     kP20, kSerialAfterErase | kBoardClearsOption35 | kGainLine},
    {50, kI, kNewer,           0,           128, kProcedure2, kAlways,        kSwitch,         kEightSteps, kBeyondCode,          kOptionBlock,
     k45To52,  kOscillatorAt1, kByFirmware, 0x03, kTable2, kFlagsBBit7, kNoLine,     kNoLvd,      kNoCore,     kP20, kSerialAfterErase | kBoardClearsOption35 | kGainLine},
    {51, kI, kNewer,           0,           128, kProcedure2, kAlways,        kSwitch,         kEightSteps, kBeyondCode,          kOptionBlock,
     k45To52,  kOscillatorAt1, kByFirmware, 0x03, kTable2, kFlagsBBit7, kNoLine,     kNoLvd,      kNoCore,     kP20, kHalfCountBelow18Mhz | kSerialAfterErase | kBoardClearsOption35 | kGainLine},
    {52, kI, kNewer,           0,           128, kProcedure2, kAlways,        kSwitch,         kEightSteps, kBeyondCode,          kOptionBlock,
     k45To52,  kOscillatorAt1, kByFirmware, 0x03, kTable2, kFlagsBBit7, kNoLine,     kNoLvd,      kNoCore,     kP20, kHalfCountBelow18Mhz | kSerialAfterErase | kBoardClearsOption35 | kGainLine},
    {53, kL, kNewer,           0,           128, kCounting,   kAlways,        kSwitch,         kMegahertz,  kBeyondCode,          kOptionBlock,
     k53Up,    kOscillatorAt1, kByFirmware, 0x18, kTable3, kFlagsBBit7, kNoLine,     kNoLvd,      kNoCore,     kP20, kSerialAfterErase | kBoardClearsOption35 | kGainLine},
    {54, kL, kNewer,           0,           128, kCounting,   kAlways,        kSwitch,         kMegahertz,  kBeyondCode,          kOptionBlock,
     k53Up,    kOscillatorAt1, kByFirmware, 0x18, kTable3, kFlagsBBit7, kNoLine,     kNoLvd,      kNoCore,     kP20, kSerialAfterErase | kBoardClearsOption35 | kGainLine},
    {55, kL, kNewer,           0,           128, kCounting,   kAlways,        kSwitch,         kMegahertz,  kBeyondCode,          kOptionBlock,
     k53Up,    kOscillatorAt1, kByFirmware, 0x18, kTable3, kFlagsBBit7, kNoLine,     kNoLvd,      kNoCore,     kP20, kSerialAfterErase | kBoardClearsOption35 | kGainLine},
    {56, kL, kNewer,           0,           128, kCounting,   kAlways,        kSwitch,         kMegahertz,  kBeyondCode,          kOptionBlock,
     k53Up,    kOscillatorAt1, kByFirmware, 0x18, kTable3, kFlagsBBit7, kNoLine,     kNoLvd,      kNoCore,     kP20, kSerialAfterErase | kBoardClearsOption35 | kGainLine},
    {57, kL, kNewer,           0,           128, kCounting,   kAlways,        kSwitch,         kMegahertz,  kBeyondCode,          kOptionBlock,
     k53Up,    kOscillatorAt1, kByFirmware, 0x18, kTable3, kFlagsBBit7, kNoLine,     kNoLvd,      kNoCore,     kP20, kSerialAfterErase | kBoardClearsOption35 | kGainLine},
    {58, kL, kNewer,           0,           128, kCounting,   kAlways,        kSwitch,         kMegahertz,  kBeyondCode,          kOptionBlock,
     k53Up,    kOscillatorAt1, kByFirmware, 0x18, kTable3, kFlagsBBit7, kNoLine,     kNoLvd,      kNoCore,     kP20, kSerialAfterErase | kBoardClearsOption35 | kGainLine},
    {59, kL, kNewer,           0,           128, kCounting,   kAlways,        kSwitch,         kMegahertz,  kBeyondCode,          kOptionBlock,
     k53Up,    kOscillatorAt1, kByFirmware, 0x18, kTable3, kFlagsBBit7, kNoLine,     kNoLvd,      kNoCore,     kP20, kSerialAfterErase | kBoardClearsOption35 | kGainLine},
    {60, kL, kNewer,           0,           128, kCounting,   kAlways,        kSwitch,         kMegahertz,  kBeyondCode,          kOptionBlock,
     k53Up,    kOscillatorAt1, kByFirmware, 0x18, kTable3, kFlagsBBit7, kNoLine,     kNoLvd,      kNoCore,     kP20, kSerialAfterErase | kBoardClearsOption35 | kGainLine},
    {61, kJ, kNewer,           0,           128, kCounting,   kAlways,        kSwitch,         kMegahertz,  kBeyondCode,          kOptionBlock,
     k53Up,    kOscillatorAt1, kByFirmware, 0x18, kTable3, kFlagsBBit7, kNoLine,     kNoLvd,      kNoCore,     kP20, kNominal48Mhz | kSerialAfterErase | kBoardClearsOption35 | kGainLine},
    {62, kL, kNewer,           0,           128, kCounting,   kAlways,        kSwitch,         kMegahertz,  kBeyondCode,          kOptionBlock,
     k53Up,    kOscillatorAt1, kByFirmware, 0x18, kTable3, kFlagsBBit7, kNoLine,     kNoLvd,      kNoCore,     kP20, kSerialAfterErase | kBoardClearsOption35},
    {63, kL, kNewer,           0,           128, kCounting,   kAlways,        kSwitch,         kMegahertz,  kBeyondCode,          kOptionBlock,
     k53Up,    kOscillatorAt1, kByFirmware, 0x18, kTable3, kFlagsBBit7, kNoLine,     kNoLvd,      kNoCore,     kP20, kSerialAfterErase | kBoardClearsOption35 | kGainLine},
    {64, kL, kNewer,           0,           128, kCounting,   kAlways,        kSwitch,         kMegahertz,  kBeyondCode,          kOptionBlock,
     k53Up,    kOscillatorAt1, kByFirmware, 0x18, kTable3, kFlagsBBit7, kNoLine,     kNoLvd,      kNoCore,     kP20, kSerialAfterErase | kBoardClearsOption35 | kGainLine},
    {65, kL, kNewer,           0,           128, kCounting,   kAlways,        kSwitch,         kMegahertz,  kBeyondCode,          kOptionBlock,
     k53Up,    kOscillatorAt1, kByFirmware, 0x18, kTable3, kFlagsBBit7, kNoLine,     kNoLvd,      kNoCore,     kP20, kSerialAfterErase | kBoardClearsOption35 | kGainLine},
    {66, kL, kNewer,           0,           128, kCounting,   kAlways,        kSwitch,         kMegahertz,  kBeyondCode,          kOptionBlock,
     k53Up,    kOscillatorAt1, kByFirmware, 0x18, kTable3, kFlagsBBit7, kNoLine,     kNoLvd,      kNoCore,     kP20, kSerialAfterErase | kBoardClearsOption35 | kGainLine},
    {67, kL, kNewer,           0,           128, kCounting,   kAlways,        kSwitch,         kMegahertz,  kBeyondCode,          kOptionBlock,
     k53Up,    kOscillatorAt1, kByFirmware, 0x18, kTable3, kFlagsBBit7, kNoLine,     kNoLvd,      kNoCore,     kP20, kSerialAfterErase | kBoardClearsOption35 | kGainLine},
    {68, kL, kNewer,           0,           128, kCounting,   kAlways,        kSwitch,         kMegahertz,  kBeyondCode,          kOptionBlock,
     k53Up,    kOscillatorAt1, kByFirmware, 0x18, kTable3, kFlagsBBit7, kNoLine,     kNoLvd,      kNoCore,     kP20, kSerialAfterErase | kBoardClearsOption35 | kGainLine},
    {69, kL, kNewer,           0,           128, kCounting,   kAlways,        kSwitch,         kMegahertz,  kBeyondCode,          kOptionBlock,
     k53Up,    kOscillatorAt1, kByFirmware, 0x18, kTable3, kFlagsBBit7, kNoLine,     kNoLvd,      kNoCore,     kP20, kSerialAfterErase | kBoardClearsOption35 | kGainLine},
    {70, kK, kNewer,           0,           128, kCounting,   kAlways,        kSwitch,         kMegahertz,  kBeyondCode,          kOptionBlock,
     k53Up,    kOscillatorAt1, kByFirmware, 0x18, kTable3, kFlagsBBit7, kNoLine,     kNoLvd,      kNoCore,     kP20, kNominal48Mhz | kBoardClearsOption35 | kGainLine},
}};
// clang-format on

// Every code beyond the table.
constexpr FamilyTraits kOtherFamilies = {-1,
                                         kL,
                                         kNewer,
                                         0,
                                         128,
                                         kCounting,
                                         kAlways,
                                         kSwitch,
                                         kMegahertz,
                                         kBeyondCode,
                                         kOptionBlock,
                                         k53Up,
                                         kOscillatorAt1,
                                         kByFirmware,
                                         0x18,
                                         kTable3,
                                         kFlagsBBit7,
                                         kNoLine,
                                         kNoLvd,
                                         kNoCore,
                                         kP20,
                                         kSerialAfterErase | kBoardClearsOption35 | kGainLine};

constexpr bool RowsInOrder() {
  for (std::size_t i = 0; i < kFamilies.size(); ++i) {
    if (kFamilies[i].family != static_cast<int>(i)) return false;
  }
  return true;
}
static_assert(RowsInOrder(), "one row per family code, in order");

}  // namespace

DownloadSequence FamilyTraits::SequenceFor(int fw_version) const {
  switch (sequence) {
    case kClassic:
      return fw_version >= lowest_firmware ? DownloadSequence::kClassic
                                           : DownloadSequence::kRefused;
    case kClassicBefore71:
      return fw_version < kFirmware71 ? DownloadSequence::kClassic : DownloadSequence::kNewer;
    case kNewer:
      break;
  }
  return DownloadSequence::kNewer;
}

int FamilyTraits::TrimProcedureFor(int fw_version) const {
  switch (trim) {
    case kNoTrim:
      return 0;
    case kProcedure1:
      return 1;
    case kProcedure2:
      return 2;
    case kProcedure3:
      return 3;
    case kProcedure4:
      return 4;
    case kCounting:
      break;
  }
  return fw_version < kFirmware74 ? 5 : 6;
}

BaudSwitchRule FamilyTraits::BaudSwitchFor(int fw_version) const {
  if (baud_switch == kCountBefore71) return fw_version < kFirmware71 ? kCount : kSwitch;
  return baud_switch;
}

EraseRule FamilyTraits::EraseFor(int fw_version) const {
  if (erase == kWholeLengthBefore71) return fw_version < kFirmware71 ? kWholeLength : kBeyondCode;
  return erase;
}

OptionWriteRule FamilyTraits::OptionWriteFor(int fw_version) const {
  if (option_write == kTrimBefore71) return fw_version < kFirmware71 ? kTrim : kOptionBlock;
  return option_write;
}

const FamilyTraits& TraitsOf(int family_code) {
  if (family_code < 0 || static_cast<std::size_t>(family_code) >= kFamilies.size()) {
    return kOtherFamilies;
  }
  return kFamilies[static_cast<std::size_t>(family_code)];
}

const FamilyTraits& TraitsOf(const ChipRecord& record) { return TraitsOf(FamilyCode(record)); }

}  // namespace fw
