// The family traits against the family codes as the protocol's description
// lists them, property by property: every row from 0 to 70, then the traits
// that change with the boot loader's firmware, then the codes beyond the table.
#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <vector>

#include "target/chips/family_traits.h"
#include "target/chips/status_record.h"

namespace fw {
namespace {

using namespace family_flags;

// Family codes as single codes and ranges.
using Codes = std::vector<std::pair<int, int>>;

bool Contains(const Codes& codes, int f) {
  for (const auto& [low, high] : codes) {
    if (f >= low && f <= high) return true;
  }
  return false;
}

struct Assignment {
  Codes codes;
  int value;
};

// One property: its value for the listed codes (the first list that holds the
// code wins) and for every other code.
struct PropertyCase {
  const char* property;
  std::function<int(const FamilyTraits&)> value;
  std::vector<Assignment> assignments;
  int otherwise;
};

template <typename E>
int I(E e) {
  return static_cast<int>(e);
}

std::function<int(const FamilyTraits&)> Flag(std::uint32_t flag) {
  return [flag](const FamilyTraits& t) { return t.Has(flag) ? 1 : 0; };
}

TEST(FamilyTraitsTest, EveryFamilyCodeHasTheListedValues) {
  using G = DecodingGroup;
  const std::vector<PropertyCase> cases = {
      {"decoding group",
       [](const FamilyTraits& t) { return I(t.group); },
       {{{{1, 5}, {15, 16}}, I(G::kA)},
        {{{6, 6}}, I(G::kB)},
        {{{7, 9}, {17, 19}}, I(G::kC)},
        {{{10, 10}, {20, 20}}, I(G::kD)},
        {{{11, 14}, {21, 24}}, I(G::kE)},
        {{{25, 25}, {28, 28}}, I(G::kF)},
        {{{26, 27}, {29, 43}}, I(G::kG)},
        {{{44, 44}}, I(G::kH)},
        {{{45, 52}}, I(G::kI)},
        {{{61, 61}}, I(G::kJ)},
        {{{70, 70}}, I(G::kK)}},
       I(G::kL)},
      {"sequence",
       [](const FamilyTraits& t) { return I(t.sequence); },
       {{{{1, 24}}, I(SequenceRule::kClassic)},
        {{{25, 25}, {28, 28}}, I(SequenceRule::kClassicBefore71)}},
       I(SequenceRule::kNewer)},
      {"lowest firmware of the classic sequence",
       [](const FamilyTraits& t) { return t.lowest_firmware; },
       {{{{1, 2}}, 0x66}, {{{7, 8}}, 0x50}, {{{9, 9}}, 0x58}},
       0},
      {"block size",
       [](const FamilyTraits& t) { return t.block_size; },
       {{{{25, 25}, {27, 28}, {32, 33}}, 64}},
       128},
      {"trim",
       [](const FamilyTraits& t) { return I(t.trim); },
       {{{{0, 24}}, I(TrimRule::kNoTrim)},
        {{{25, 25}, {28, 28}}, I(TrimRule::kProcedure1)},
        {{{45, 52}}, I(TrimRule::kProcedure2)},
        {{{44, 44}}, I(TrimRule::kProcedure3)},
        {{{26, 27}, {29, 43}}, I(TrimRule::kProcedure4)}},
       I(TrimRule::kCounting)},
      {"trim start",
       [](const FamilyTraits& t) { return I(t.trim_start); },
       {{{{45, 70}}, I(TrimStart::kAlways)}},
       I(TrimStart::kByClockSource)},
      {"half count below 18 MHz", Flag(kHalfCountBelow18Mhz), {{{{51, 52}}, 1}}, 0},
      {"nominal 48 MHz", Flag(kNominal48Mhz), {{{{61, 61}, {70, 70}}, 1}}, 0},
      {"baud switch",
       [](const FamilyTraits& t) { return I(t.baud_switch); },
       {{{{1, 24}}, I(BaudSwitchRule::kTryThenConfirm)},
        {{{25, 25}, {28, 28}}, I(BaudSwitchRule::kCountBefore71)}},
       I(BaudSwitchRule::kSwitch)},
      {"clock range code",
       [](const FamilyTraits& t) { return I(t.clock_range); },
       {{{{1, 6}, {15, 16}}, I(ClockRangeRule::kFourSteps)},
        {{{53, 70}}, I(ClockRangeRule::kMegahertz)}},
       I(ClockRangeRule::kEightSteps)},
      {"erase before 7.2",
       [](const FamilyTraits& t) { return I(t.erase); },
       {{{{1, 6}, {15, 16}}, I(EraseRule::kSectors)},
        {{{7, 14}, {17, 24}}, I(EraseRule::kSpans)},
        {{{25, 25}, {28, 28}}, I(EraseRule::kWholeLengthBefore71)}},
       I(EraseRule::kBeyondCode)},
      {"classic guard bytes", Flag(kClassicGuard), {{{{1, 9}, {15, 19}}, 1}}, 0},
      {"serial number after the erase", Flag(kSerialAfterErase), {{{{0, 7}, {70, 70}}, 0}}, 1},
      {"option write",
       [](const FamilyTraits& t) { return I(t.option_write); },
       {{{{1, 5}, {15, 16}}, I(OptionWriteRule::kByteOne)},
        {{{6, 6}}, I(OptionWriteRule::kModeByte)},
        {{{7, 10}, {17, 20}}, I(OptionWriteRule::kClockWithByte4)},
        {{{11, 14}, {21, 24}}, I(OptionWriteRule::kClockWithByte2)},
        {{{25, 25}, {28, 28}}, I(OptionWriteRule::kTrimBefore71)}},
       I(OptionWriteRule::kOptionBlock)},
      {"option byte 4 at byte 5", Flag(kOptionByte4AtByte5), {{{{7, 7}}, 1}}, 0},
      {"option block",
       [](const FamilyTraits& t) { return I(t.option_block); },
       {{{{44, 44}}, I(OptionBlockLayout::k44)},
        {{{45, 52}}, I(OptionBlockLayout::k45To52)},
        {{{53, 70}}, I(OptionBlockLayout::k53Up)},
        {{{25, 25}, {28, 28}}, I(OptionBlockLayout::k25And28)}},
       I(OptionBlockLayout::kBelow44)},
      {"status layout",
       [](const FamilyTraits& t) { return I(t.status_layout); },
       {{{{45, 70}}, I(StatusLayout::kOscillatorAt1)}},
       I(StatusLayout::kClockAt8)},
      {"parameter block",
       [](const FamilyTraits& t) { return I(t.parameter_block); },
       {{{{45, 70}}, I(ParameterBlockRule::kByFirmware)}},
       I(ParameterBlockRule::kShort)},
      {"chip serial cleared without records",
       Flag(kClearsChipSerial),
       {{{{25, 25}, {28, 28}}, 1}},
       0},
      {"top reserve", Flag(kTopReserve), {{{{1, 5}, {7, 14}, {17, 24}}, 1}}, 0},
      {"USB writer prepare byte",
       [](const FamilyTraits& t) { return t.usb_prepare; },
       {{{{53, 70}}, 0x18}},
       0x03},
      {"USB writer presets of 7.3",
       [](const FamilyTraits& t) { return I(t.presets_73); },
       {{{{53, 70}}, I(PresetTable73::kTable3)}},
       I(PresetTable73::kTable2)},
      {"board placement flag",
       [](const FamilyTraits& t) { return I(t.board_placement_flag); },
       {{{{25, 70}}, I(BoardPlacementFlag::kFlagsBBit7)}},
       I(BoardPlacementFlag::kFlagsCBit0)},
      {"board clears option byte 35", Flag(kBoardClearsOption35), {{{{45, 70}}, 1}}, 0},
      {"board programs the whole code", Flag(kBoardWholeCode), {{{{0, 44}}, 1}}, 0},
      {"group E line",
       [](const FamilyTraits& t) { return I(t.group_e_line); },
       {{{{11, 11}, {21, 21}}, I(GroupELine::kReset2)},
        {{{12, 12}, {22, 22}}, I(GroupELine::kLvd12And22)},
        {{{13, 13}, {23, 23}}, I(GroupELine::kLvd13And23)},
        {{{14, 14}, {24, 24}}, I(GroupELine::kLvd14And24)}},
       I(GroupELine::kNoLine)},
      {"oscillator gain line",
       Flag(kGainLine),
       {{{{6, 9}, {17, 19}, {25, 28}, {32, 36}, {62, 62}}, 0}},
       1},
      {"LVD table",
       [](const FamilyTraits& t) { return I(t.lvd); },
       {{{{25, 31}}, I(LvdTable::kEightEntry)},
        {{{32, 32}, {37, 37}}, I(LvdTable::kLvd32And37)},
        {{{33, 33}}, I(LvdTable::kLvd33)},
        {{{34, 34}}, I(LvdTable::kLvd34)},
        {{{35, 35}}, I(LvdTable::kLvd35)},
        {{{36, 36}}, I(LvdTable::kLvd36)},
        {{{38, 43}}, I(LvdTable::kLvd38To43)}},
       I(LvdTable::kNoLvd)},
      {"core voltage table",
       [](const FamilyTraits& t) { return I(t.core_voltage); },
       {{{{32, 32}}, I(CoreVoltageTable::kCore32)},
        {{{34, 34}}, I(CoreVoltageTable::kCore34)},
        {{{35, 35}}, I(CoreVoltageTable::kCore35)},
        {{{36, 36}}, I(CoreVoltageTable::kCore36)},
        {{{37, 37}}, I(CoreVoltageTable::kCore37)},
        {{{38, 43}}, I(CoreVoltageTable::kCore38To43)}},
       I(CoreVoltageTable::kNoCore)},
      {"reset level pin",
       [](const FamilyTraits& t) { return I(t.reset_level_pin); },
       {{{{27, 27}, {32, 32}}, I(ResetLevelPin::kP33)}, {{{33, 34}}, I(ResetLevelPin::kP10)}},
       I(ResetLevelPin::kP20)},
  };
  for (const PropertyCase& c : cases) {
    for (int f = 0; f <= 70; ++f) {
      int expected = c.otherwise;
      for (const Assignment& a : c.assignments) {
        if (Contains(a.codes, f)) {
          expected = a.value;
          break;
        }
      }
      EXPECT_EQ(c.value(TraitsOf(f)), expected) << c.property << " of family " << f;
    }
  }
}

TEST(FamilyTraitsTest, TraitsThatChangeWithTheFirmware) {
  using S = DownloadSequence;
  struct Case {
    int family, fw_version;
    S sequence;
    int trim_procedure;
    BaudSwitchRule baud_switch;
    EraseRule erase;
    OptionWriteRule option_write;
  } const cases[] = {
      {1, 0x65, S::kRefused, 0, BaudSwitchRule::kTryThenConfirm, EraseRule::kSectors,
       OptionWriteRule::kByteOne},
      {2, 0x66, S::kClassic, 0, BaudSwitchRule::kTryThenConfirm, EraseRule::kSectors,
       OptionWriteRule::kByteOne},
      {8, 0x4F, S::kRefused, 0, BaudSwitchRule::kTryThenConfirm, EraseRule::kSpans,
       OptionWriteRule::kClockWithByte4},
      {7, 0x50, S::kClassic, 0, BaudSwitchRule::kTryThenConfirm, EraseRule::kSpans,
       OptionWriteRule::kClockWithByte4},
      {9, 0x57, S::kRefused, 0, BaudSwitchRule::kTryThenConfirm, EraseRule::kSpans,
       OptionWriteRule::kClockWithByte4},
      {9, 0x58, S::kClassic, 0, BaudSwitchRule::kTryThenConfirm, EraseRule::kSpans,
       OptionWriteRule::kClockWithByte4},
      {24, 0x00, S::kClassic, 0, BaudSwitchRule::kTryThenConfirm, EraseRule::kSpans,
       OptionWriteRule::kClockWithByte2},
      {25, 0x70, S::kClassic, 1, BaudSwitchRule::kCount, EraseRule::kWholeLength,
       OptionWriteRule::kTrim},
      {28, 0x71, S::kNewer, 1, BaudSwitchRule::kSwitch, EraseRule::kBeyondCode,
       OptionWriteRule::kOptionBlock},
      {0, 0x00, S::kNewer, 0, BaudSwitchRule::kSwitch, EraseRule::kBeyondCode,
       OptionWriteRule::kOptionBlock},
      {26, 0x72, S::kNewer, 4, BaudSwitchRule::kSwitch, EraseRule::kBeyondCode,
       OptionWriteRule::kOptionBlock},
      {44, 0x72, S::kNewer, 3, BaudSwitchRule::kSwitch, EraseRule::kBeyondCode,
       OptionWriteRule::kOptionBlock},
      {52, 0x74, S::kNewer, 2, BaudSwitchRule::kSwitch, EraseRule::kBeyondCode,
       OptionWriteRule::kOptionBlock},
      {53, 0x73, S::kNewer, 5, BaudSwitchRule::kSwitch, EraseRule::kBeyondCode,
       OptionWriteRule::kOptionBlock},
      {70, 0x74, S::kNewer, 6, BaudSwitchRule::kSwitch, EraseRule::kBeyondCode,
       OptionWriteRule::kOptionBlock},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "family " << c.family << " firmware " << std::hex << c.fw_version);
    const FamilyTraits& t = TraitsOf(c.family);
    EXPECT_EQ(t.SequenceFor(c.fw_version), c.sequence);
    EXPECT_EQ(t.TrimProcedureFor(c.fw_version), c.trim_procedure);
    EXPECT_EQ(t.BaudSwitchFor(c.fw_version), c.baud_switch);
    EXPECT_EQ(t.EraseFor(c.fw_version), c.erase);
    EXPECT_EQ(t.OptionWriteFor(c.fw_version), c.option_write);
  }
}

// A code no chip of the table has is read as a family from 53 on that has no
// group of its own.
TEST(FamilyTraitsTest, CodesBeyondTheTable) {
  for (const int f : {71, 128, 255}) {
    SCOPED_TRACE(f);
    const FamilyTraits& t = TraitsOf(f);
    EXPECT_EQ(t.group, DecodingGroup::kL);
    EXPECT_EQ(t.SequenceFor(0x00), DownloadSequence::kNewer);
    EXPECT_EQ(t.TrimProcedureFor(0x73), 5);
    EXPECT_EQ(t.TrimProcedureFor(0x80), 6);
    EXPECT_EQ(t.clock_range, ClockRangeRule::kMegahertz);
    EXPECT_EQ(t.option_block, OptionBlockLayout::k53Up);
    EXPECT_EQ(t.usb_prepare, 0x18);
    EXPECT_EQ(t.trim_start, TrimStart::kAlways);
    EXPECT_FALSE(t.Has(kNominal48Mhz));
  }
}

}  // namespace
}  // namespace fw
