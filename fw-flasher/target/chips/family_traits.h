// What a chip family means to a download: one row of traits per family code of
// the chip table, which the steps look up instead of comparing family codes.
// Where a trait changes with the boot loader's firmware, the row holds the
// family's rule and a member function gives the value for a firmware version:
// a rule named XBefore71 is rule X before firmware 7.1 and the newer families'
// rule from 7.1 on.
#pragma once

#include <cstdint>

#include "target/chips/chip_table.h"

namespace fw {

// The option report's decoding groups.
enum class DecodingGroup { kA, kB, kC, kD, kE, kF, kG, kH, kI, kJ, kK, kL };

enum class DownloadSequence { kClassic, kNewer, kRefused };

// Which sequence downloads the family. The classic families may refuse boot
// loaders older than the row's lowest firmware.
enum class SequenceRule : std::uint8_t { kClassic, kClassicBefore71, kNewer };

// How the boot loader measures its oscillator for the clock trim: procedures 1
// to 4, or kCounting (procedure 5 before firmware 7.4, 6 from it).
enum class TrimRule : std::uint8_t {
  kNoTrim,
  kProcedure1,
  kProcedure2,
  kProcedure3,
  kProcedure4,
  kCounting
};

// Whether the newer sequence trims at once, or first decides by the chip's
// clock source and the one the options ask for.
enum class TrimStart : std::uint8_t { kByClockSource, kAlways };

// The baud switch command: 8F tried then 8E confirmed (the 7.2 firmware sends
// 01 with part of it), 8E with the count word, or 01.
enum class BaudSwitchRule : std::uint8_t { kTryThenConfirm, kCount, kCountBefore71, kSwitch };

// The clock range code of the switch command: four steps up to 24 MHz, eight
// steps up to 24 MHz, or the whole megahertz.
enum class ClockRangeRule : std::uint8_t { kFourSteps, kEightSteps, kMegahertz };

// The erase command of boot loaders before firmware 7.2 (from 7.2 every family
// unlocks with the password and erases with 03 N and the guard bytes):
// 84 and a sector count; 84 and the spans; 84 FF and the whole length; or 05
// then 03 and the sectors beyond the code flash.
enum class EraseRule : std::uint8_t {
  kSectors,
  kSpans,
  kWholeLength,
  kWholeLengthBefore71,
  kBeyondCode
};

// The option write: option byte 1 alone; its mode bit alone; the clock with
// option bytes 0, 1, 14 and 4, or 0, 1, 2 and 14; the trim with the options;
// or the option block.
enum class OptionWriteRule : std::uint8_t {
  kByteOne,
  kModeByte,
  kClockWithByte4,
  kClockWithByte2,
  kTrim,
  kTrimBefore71,
  kOptionBlock
};

// Where the option block puts the clock, the trim and the options: the layouts
// of the families below 44 (but 25 and 28), of 25 and 28, of 44, of 45 to 52
// and of 53 and above.
enum class OptionBlockLayout : std::uint8_t { kBelow44, k25And28, k44, k45To52, k53Up };

// Where the status reply holds the clock and the trim: the older layout (the
// clock in bytes 8-11, the trim in 38-39, options from byte 5), or the
// oscillator record in bytes 1-7.
enum class StatusLayout : std::uint8_t { kClockAt8, kOscillatorAt1 };

// The chip parameter block at the top of the code area: always the 15-byte
// form, or chosen by the firmware (23, 21 or 11 bytes).
enum class ParameterBlockRule : std::uint8_t { kShort, kByFirmware };

// The USB writer's preset table for firmware 7.3 from build 12.
enum class PresetTable73 : std::uint8_t { kTable2, kTable3 };

// Where the stand-alone header keeps the "option byte 15 places the
// parameters" flag: flags byte C bit 0, or flags byte B bit 7.
enum class BoardPlacementFlag : std::uint8_t { kFlagsCBit0, kFlagsBBit7 };

// The family's own line in group E after the reset pin line: the RESET2
// detection, or an LVD table (13 and 14 with the oscillator wait).
enum class GroupELine : std::uint8_t { kNoLine, kReset2, kLvd12And22, kLvd13And23, kLvd14And24 };

// The low-voltage detection table of groups F and G.
enum class LvdTable : std::uint8_t {
  kNoLvd,
  kEightEntry,  // H8 or L8 by the record's high-voltage bit
  kLvd32And37,
  kLvd33,
  kLvd34,
  kLvd35,
  kLvd36,
  kLvd38To43
};

// The core supply table of group G.
enum class CoreVoltageTable : std::uint8_t {
  kNoCore,
  kCore32,
  kCore34,
  kCore35,
  kCore36,
  kCore37,
  kCore38To43
};

// The pin of the "output level after reset" line.
enum class ResetLevelPin : std::uint8_t { kP20, kP33, kP10 };

// Yes-or-no traits of a row.
namespace family_flags {
// Procedure 2: below 18 MHz the count covers half the clock.
constexpr std::uint32_t kHalfCountBelow18Mhz = 1u << 0;
// Procedures 5 and 6: a missed set frequency near 48 MHz is reported as 48 MHz.
constexpr std::uint32_t kNominal48Mhz = 1u << 1;
// The erase step sets the guard bytes 46 B9.
constexpr std::uint32_t kClassicGuard = 1u << 2;
// The erase step logs the chip serial number.
constexpr std::uint32_t kSerialAfterErase = 1u << 3;
// The classic option write also carries option byte 4 at byte 5.
constexpr std::uint32_t kOptionByte4AtByte5 = 1u << 4;
// An image without records clears the chip serial area and is never raised to
// the code size.
constexpr std::uint32_t kClearsChipSerial = 1u << 5;
// A boot loader that is not option-capable keeps the top 3,072 bytes.
constexpr std::uint32_t kTopReserve = 1u << 6;
// The stand-alone header keeps option byte 35 only with the record's option
// block bit.
constexpr std::uint32_t kBoardClearsOption35 = 1u << 7;
// With option byte 15 bit 1 the board programs the whole code area.
constexpr std::uint32_t kBoardWholeCode = 1u << 8;
// The option report has the oscillator gain line.
constexpr std::uint32_t kGainLine = 1u << 9;
}  // namespace family_flags

struct FamilyTraits {
  int family;
  DecodingGroup group;
  SequenceRule sequence;
  int lowest_firmware;  // the classic sequence refuses older boot loaders
  int block_size;       // bytes per program block
  TrimRule trim;
  TrimStart trim_start;
  BaudSwitchRule baud_switch;
  ClockRangeRule clock_range;
  EraseRule erase;
  OptionWriteRule option_write;
  OptionBlockLayout option_block;
  StatusLayout status_layout;
  ParameterBlockRule parameter_block;
  std::uint8_t usb_prepare;  // the byte of the USB writer's prepare command
  PresetTable73 presets_73;
  BoardPlacementFlag board_placement_flag;
  GroupELine group_e_line;
  LvdTable lvd;
  CoreVoltageTable core_voltage;
  ResetLevelPin reset_level_pin;
  std::uint32_t flags;  // family_flags

  bool Has(std::uint32_t flag) const { return (flags & flag) != 0; }

  DownloadSequence SequenceFor(int fw_version) const;
  // 0 when the family takes no trim, else 1 to 6.
  int TrimProcedureFor(int fw_version) const;
  // Never one of the rules that end in Before71.
  BaudSwitchRule BaudSwitchFor(int fw_version) const;
  EraseRule EraseFor(int fw_version) const;
  OptionWriteRule OptionWriteFor(int fw_version) const;
};

// The row of a family code; codes beyond the table share one row (group L,
// newer sequence, the traits of the families from 53 on).
const FamilyTraits& TraitsOf(int family_code);
const FamilyTraits& TraitsOf(const ChipRecord& record);

}  // namespace fw
