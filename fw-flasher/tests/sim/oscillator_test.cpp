// The simulated oscillator: its shapes, the counts each procedure's
// measurement command gets back, and the clock a programmed trim gives the
// chip, driven with commands built by hand from the boot loader's layouts.
#include <gtest/gtest.h>

#include <cmath>

#include "sim/oscillator_model.h"
#include "sim/sim_text.h"
#include "tests/sim/sim_chip.h"

namespace fw::sim::test {
namespace {

constexpr std::uint8_t kRefused = ChipSession::kRefused;
constexpr std::uint8_t kMeasure = 0x00;
constexpr std::uint8_t kGroupsMeasure = 0x65;

struct Setting {
  int trim;
  int range;
};

// 00 n and the pairs, each as the procedure orders it.
Bytes PairsCommand(std::initializer_list<std::pair<int, int>> pairs) {
  Bytes p = {kMeasure, static_cast<std::uint8_t>(pairs.size())};
  for (const auto& [a, b] : pairs) {
    p.push_back(static_cast<std::uint8_t>(a));
    p.push_back(static_cast<std::uint8_t>(b));
  }
  return p;
}

// 65, status bytes 51-57, FF FF, the timing byte, the group count and groups
// of range, trim, 02 00.
Bytes GroupsCommand(const Bytes& status, std::uint8_t timing, const std::vector<Setting>& groups) {
  Bytes p = {kGroupsMeasure};
  p.insert(p.end(), status.begin() + 51, status.begin() + 58);
  p.insert(p.end(), {0xFF, 0xFF, timing, static_cast<std::uint8_t>(groups.size())});
  for (const auto& g : groups) {
    p.insert(p.end(),
             {static_cast<std::uint8_t>(g.range), static_cast<std::uint8_t>(g.trim), 0x02, 0x00});
  }
  return p;
}

std::string FirstNote(SimChip& chip) {
  const auto notes = chip.Notes();
  return notes.empty() ? std::string() : notes.front();
}

int CountAt(const Bytes& reply, std::size_t at) { return reply[at] << 8 | reply[at + 1]; }

// What the host makes of a count of families 25 and 28: (H * n / 1200 + 6) * D.
double GroupsFrequency(int count, int rate) {
  const std::int64_t d = rate == 2400 ? 2063 : rate == 9600 ? 2068 : 2061;
  return static_cast<double>((static_cast<std::int64_t>(rate) * count / 1200 + 6) * d);
}

struct ProcedureLayout {
  const char* name;
  TrimProcedure procedure;
  std::vector<int> ranges;  // lowest frequency first
  int top_trim;
  int selectors_per_range;  // 4 where the low two bits are quarter steps
  int not_a_range;
};

const ProcedureLayout kLayouts[] = {
    {"65 groups", TrimProcedure::kGroups, {0x18, 0x58, 0x98, 0xD8}, 255, 1, 0x19},
    {"divided", TrimProcedure::kDivided, {0x00}, 255, 4, 0x04},
    {"7-bit", TrimProcedure::kSevenBit, {0, 1, 2, 3}, 127, 1, 4},
    {"two targets", TrimProcedure::kTwoTargets, {0xC0, 0x80, 0x40, 0x00}, 255, 1, 0x20},
    {"two bands", TrimProcedure::kTwoBands, {0x00, 0x80}, 255, 4, 0x40},
    {"four bands", TrimProcedure::kFourBands, {0x00, 0x10, 0x20, 0x30}, 255, 1, 0x40},
};

TEST(SimOscillatorTest, FamilyAndFirmwareChooseTheProcedureAndItsSyncByte) {
  struct Case {
    int family;
    int fw;
    TrimProcedure procedure;
    std::uint8_t sync;
  } const cases[] = {
      {24, 0x72, TrimProcedure::kNone, 0xFE},       {25, 0x70, TrimProcedure::kGroups, 0x7F},
      {28, 0x72, TrimProcedure::kGroups, 0x7F},     {26, 0x72, TrimProcedure::kTwoTargets, 0xFE},
      {43, 0x72, TrimProcedure::kTwoTargets, 0xFE}, {44, 0x72, TrimProcedure::kSevenBit, 0xFE},
      {45, 0x72, TrimProcedure::kDivided, 0xFE},    {52, 0x73, TrimProcedure::kDivided, 0xFE},
      {53, 0x73, TrimProcedure::kTwoBands, 0x66},   {70, 0x74, TrimProcedure::kFourBands, 0xFE},
  };
  for (const auto& c : cases) {
    ChipTraits chip;
    chip.family = c.family;
    chip.fw = c.fw;
    EXPECT_EQ(TrimProcedureOf(chip), c.procedure) << c.family << " " << c.fw;
    if (c.procedure != TrimProcedure::kNone) {
      EXPECT_EQ(MeasureSyncByte(c.procedure), c.sync);
    }
  }
}

TEST(SimOscillatorTest, EachShapeHoldsInEveryRange) {
  for (const auto& layout : kLayouts) {
    SCOPED_TRACE(layout.name);
    for (auto shape : {OscillatorShape::kNormal, OscillatorShape::kNarrow, OscillatorShape::kFlat,
                       OscillatorShape::kReversed}) {
      SCOPED_TRACE(static_cast<int>(shape));
      const Oscillator osc({0, 0, shape});
      double lowest = 1e12, highest = 0, previous_middle = 0;
      for (int range : layout.ranges) {
        for (int trim = 0; trim <= layout.top_trim; ++trim) {
          const double f = osc.Frequency(layout.procedure, range, trim).value_or(-1);
          ASSERT_GT(f, 0) << trim;
          lowest = std::min(lowest, f);
          highest = std::max(highest, f);
          if (trim == 0) continue;
          const double before = *osc.Frequency(layout.procedure, range, trim - 1);
          if (shape == OscillatorShape::kFlat) {
            EXPECT_EQ(f, before);
          }
          if (shape == OscillatorShape::kReversed) {
            EXPECT_LT(f, before) << trim;
          }
          if (shape == OscillatorShape::kNormal || shape == OscillatorShape::kNarrow) {
            EXPECT_GT(f, before) << trim;
          }
        }
        const double middle = *osc.Frequency(layout.procedure, range, layout.top_trim / 2);
        if (shape != OscillatorShape::kFlat) {
          EXPECT_GT(middle, previous_middle) << range;
        }
        previous_middle = middle;
      }
      if (shape == OscillatorShape::kNarrow) {
        EXPECT_LT(highest / lowest, 1.15);
      }
      if (shape == OscillatorShape::kNormal) {
        EXPECT_GT(highest / lowest, 1.8);
      }
      EXPECT_FALSE(osc.Frequency(layout.procedure, layout.ranges[0], layout.top_trim + 1));
      EXPECT_FALSE(osc.Frequency(layout.procedure, layout.not_a_range, 0));
      EXPECT_TRUE(osc.Problem(layout.procedure).empty());
    }
    // Steps too large for the middle frequency would stop it at one end.
    EXPECT_FALSE(Oscillator({1e6, 1e5}).Problem(layout.procedure).empty());
  }
}

TEST(SimOscillatorTest, QuarterStepsLieBetweenTrims) {
  const Oscillator osc;
  for (auto procedure : {TrimProcedure::kDivided, TrimProcedure::kTwoBands}) {
    const double t = *osc.Frequency(procedure, 0x00, 40);
    const double next = *osc.Frequency(procedure, 0x00, 41);
    double previous = t;
    for (int quarter = 1; quarter <= 3; ++quarter) {
      const double f = *osc.Frequency(procedure, quarter, 40);
      EXPECT_GT(f, previous);
      EXPECT_LT(f, next);
      previous = f;
    }
  }
}

TEST(SimOscillatorTest, TheDefaultsReachTheCommonClocks) {
  const Oscillator osc;
  for (const auto& layout : kLayouts) {
    SCOPED_TRACE(layout.name);
    const bool divided = layout.procedure == TrimProcedure::kDivided ||
                         layout.procedure == TrimProcedure::kTwoBands ||
                         layout.procedure == TrimProcedure::kFourBands;
    for (double target : {6e6, 11.0592e6, 12e6, 22.1184e6, 24e6, 33.1776e6}) {
      double best = 1;
      for (int range : layout.ranges) {
        for (int quarter = 0; quarter < layout.selectors_per_range; ++quarter) {
          for (int trim = 0; trim <= layout.top_trim; ++trim) {
            const double f = *osc.Frequency(layout.procedure, range + quarter, trim);
            for (int divider = 1; divider <= (divided ? 15 : 1); ++divider) {
              best = std::min(best, std::abs(f / divider - target) / target);
            }
          }
        }
      }
      EXPECT_LT(best, 0.003) << target;
    }
  }
}

struct PairsCase {
  const char* name;
  int family;
  int fw;
  int rate;
  Bytes command;
  std::vector<Setting> counted;  // the settings the reply counts, in order
};

TEST(SimOscillatorTest, EachProcedureCountsItsPairsAgainstTheHostRate) {
  const PairsCase cases[] = {
      {"first measurement, families 45-52",
       45,
       0x72,
       2400,
       {0x00, 0x02, 0x00, 0x00, 0x80, 0x00},
       {{0x00, 0}, {0x80, 0}}},
      {"family 51 reports half",
       51,
       0x72,
       2400,
       {0x00, 0x02, 0x00, 0x00, 0x80, 0x00},
       {{0x00, 0}, {0x80, 0}}},
      {"second measurement, families 45-52 in quarter steps",
       45,
       0x72,
       1200,
       PairsCommand({{26, 0},
                     {26, 1},
                     {26, 2},
                     {26, 3},
                     {27, 0},
                     {27, 1},
                     {27, 2},
                     {27, 3},
                     {28, 0},
                     {28, 1},
                     {28, 2},
                     {28, 3}}),
       {{26, 0},
        {26, 1},
        {26, 2},
        {26, 3},
        {27, 0},
        {27, 1},
        {27, 2},
        {27, 3},
        {28, 0},
        {28, 1},
        {28, 2},
        {28, 3}}},
      {"family 44, range first",
       44,
       0x72,
       2400,
       {0x00, 0x08, 0, 0x00, 0, 0x7F, 1, 0x00, 1, 0x7F, 2, 0x00, 2, 0x7F, 3, 0x00, 3, 0x7F},
       {{0x00, 0}, {0x7F, 0}, {0x00, 1}, {0x7F, 1}, {0x00, 2}, {0x7F, 2}, {0x00, 3}, {0x7F, 3}}},
      {"family 44, nine trims of one range",
       44,
       0x72,
       4800,
       PairsCommand(
           {{1, 0}, {1, 16}, {1, 32}, {1, 48}, {1, 64}, {1, 80}, {1, 96}, {1, 112}, {1, 127}}),
       {{0, 1}, {16, 1}, {32, 1}, {48, 1}, {64, 1}, {80, 1}, {96, 1}, {112, 1}, {127, 1}}},
      // Twelve pairs declared as eleven; the last trim goes out as 00.
      {"families 26-43, four ranges",
       29,
       0x72,
       2400,
       {0x00, 0x0B, 0x00, 0xC0, 0x80, 0xC0, 0xFF, 0xC0, 0x00, 0x80, 0x80, 0x80, 0xFF,
        0x80, 0x00, 0x40, 0x80, 0x40, 0xFF, 0x40, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00},
       {{0x00, 0xC0},
        {0x80, 0xC0},
        {0xFF, 0xC0},
        {0x00, 0x80},
        {0x80, 0x80},
        {0xFF, 0x80},
        {0x00, 0x40},
        {0x80, 0x40},
        {0xFF, 0x40},
        {0x00, 0x00},
        {0x80, 0x00}}},
      {"families 53 and above before 7.4",
       53,
       0x73,
       9600,
       {0x00, 0x05, 0x00, 0x00, 0x80, 0x00, 0x00, 0x80, 0x80, 0x80, 0xFF, 0x00},
       {{0x00, 0x00}, {0x80, 0x00}, {0x00, 0x80}, {0x80, 0x80}, {0xFF, 0x00}}},
      {"families 53 and above from 7.4",
       53,
       0x74,
       1200,
       {0x00, 0x08, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x10, 0xFF, 0x10, 0x00, 0x20, 0xFF, 0x20, 0x00,
        0x30, 0xFF, 0x30},
       {{0x00, 0x00},
        {0xFF, 0x00},
        {0x00, 0x10},
        {0xFF, 0x10},
        {0x00, 0x20},
        {0xFF, 0x20},
        {0x00, 0x30},
        {0xFF, 0x30}}},
  };
  OscillatorModel model;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SimChip chip(c.family, c.fw);
    chip.Resynchronise(&model, c.rate);
    const TrimProcedure procedure = TrimProcedureOf(chip.traits());
    const auto replies = chip.Send(c.command);
    ASSERT_EQ(replies.size(), 1u);
    const Bytes& reply = replies[0].payload;
    ASSERT_EQ(reply.size(), 2 + 2 * c.counted.size()) << HexText(reply);
    EXPECT_EQ(reply[0], 0x00);
    EXPECT_EQ(reply[1], c.counted.size());
    EXPECT_TRUE(replies[0].measurement);
    EXPECT_EQ(replies[0].await_sync, MeasureSyncByte(procedure));
    // H x count / 2 for families 26-52, H x count above; families 51 and 52
    // count half the oscillator.
    const double per_count =
        procedure == TrimProcedure::kTwoBands || procedure == TrimProcedure::kFourBands
            ? c.rate
            : c.rate / 2.0;
    const double doubled = c.family == 51 ? 2 : 1;
    for (std::size_t i = 0; i < c.counted.size(); ++i) {
      const double f =
          *model.oscillator().Frequency(procedure, c.counted[i].range, c.counted[i].trim);
      EXPECT_NEAR(per_count * CountAt(reply, 2 + 2 * i) * doubled, f, per_count * doubled / 2 + 1)
          << "pair " << i;
    }
    EXPECT_TRUE(chip.Notes().empty());
  }
}

TEST(SimOscillatorTest, FamiliesTwentyFiveAndTwentyEightCountGroupsOfTheSixtyFiveCommand) {
  OscillatorModel model;
  for (int rate : {2400, 9600}) {
    SCOPED_TRACE(rate);
    SimChip chip(28, 0x70);
    chip.Resynchronise(&model, rate);
    // Target 11,059,200 Hz: L = S = 1 (range byte 58), Q u w R = 00 80 80 FF;
    // the timing byte of the host's rate for a target above 8.4 MHz.
    const std::uint8_t timing = rate == 2400 ? 8 : 6;
    const std::vector<Setting> first = {{0x00, 0x58}, {0x80, 0x58}, {0x80, 0x58},
                                        {0xFF, 0x58}, {0x00, 0x58}, {0x80, 0x58}};
    std::vector<Setting> second;
    for (int i = 0; i <= 10; ++i) second.push_back({70 + i, 0x58});
    for (const auto& groups : {first, second}) {
      const Bytes command = GroupsCommand(chip.Status(), timing, groups);
      ASSERT_EQ(command.size(), groups.size() == 6 ? 36u : 56u);
      const auto replies = chip.Send(command);
      ASSERT_EQ(replies.size(), 1u);
      const Bytes& reply = replies[0].payload;
      ASSERT_EQ(reply.size(), command.size()) << HexText(reply);
      EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 12),
                Bytes(command.begin(), command.begin() + 12));
      EXPECT_EQ(replies[0].await_sync, 0x7F);
      for (std::size_t g = 0; g < groups.size(); ++g) {
        const std::size_t at = 12 + 4 * g;
        EXPECT_EQ(reply[at], groups[g].range) << g;
        EXPECT_EQ(reply[at + 1], groups[g].trim) << g;
        const double f =
            *model.oscillator().Frequency(TrimProcedure::kGroups, groups[g].range, groups[g].trim);
        // One count moves the figure by H / 1200 * D.
        EXPECT_NEAR(GroupsFrequency(CountAt(reply, at + 2), rate), f, rate / 1200.0 * 2068 / 2 + 1)
            << g;
      }
    }
    EXPECT_TRUE(chip.Notes().empty());
  }
}

TEST(SimOscillatorTest, MeasurementsTheChipCannotTakeAreRefused) {
  const Bytes status28 = SimChip(28, 0x70).Status();
  const std::vector<Setting> one_group = {{0x80, 0x58}};
  struct Case {
    const char* name;
    int family;
    int fw;
    Bytes command;
  } const cases[] = {
      {"two pairs declared, three sent",
       45,
       0x72,
       {0x00, 0x02, 0x00, 0x00, 0x80, 0x00, 0xFF, 0x00}},
      {"a spare pair outside families 26-43", 45, 0x72, {0x00, 0x01, 0x00, 0x00, 0x80, 0x00}},
      {"no pairs", 45, 0x72, {0x00, 0x00}},
      {"an odd byte", 45, 0x72, {0x00, 0x01, 0x00, 0x00, 0x80}},
      {"quarter step 4 of families 45-52", 45, 0x72, {0x00, 0x01, 0x10, 0x04}},
      {"trim 80 of a 7-bit range", 44, 0x72, {0x00, 0x01, 0x00, 0x80}},
      {"range 20 of families 26-43", 29, 0x72, {0x00, 0x01, 0x10, 0x20}},
      {"band 40 before 7.4", 53, 0x73, {0x00, 0x01, 0x10, 0x40}},
      {"range 40 from 7.4", 53, 0x74, {0x00, 0x01, 0x10, 0x40}},
      {"00 to families 25 and 28", 28, 0x72, {0x00, 0x01, 0x00, 0x58}},
      {"65 to families 45 and above", 45, 0x72, GroupsCommand(status28, 8, one_group)},
      {"65 whose bytes 1-7 are not status bytes 51-57", 28, 0x70,
       GroupsCommand(Bytes(60, 0x00), 8, one_group)},
      {"65 with a timing byte of another rate", 28, 0x70, GroupsCommand(status28, 255, one_group)},
      {"65 range byte without its low bits 18", 28, 0x70,
       GroupsCommand(status28, 8, {{0x80, 0x59}})},
      {"65 group count wrong", 28, 0x70,
       [&] {
         Bytes p = GroupsCommand(status28, 8, one_group);
         p[11] = 2;
         return p;
       }()},
      {"65 group not ending 02 00", 28, 0x70,
       [&] {
         Bytes p = GroupsCommand(status28, 8, one_group);
         p[14] = 0x03;
         return p;
       }()},
  };
  OscillatorModel model;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SimChip chip(c.family, c.fw);
    chip.Resynchronise(&model);
    EXPECT_EQ(chip.Ask(c.command), Bytes{kRefused});
    EXPECT_FALSE(chip.Notes().empty());
  }
}

TEST(SimOscillatorTest, TheShapesShowInTheCounts) {
  struct Case {
    const char* name;
    int family;
    int fw;
    int range;
    int top_trim;
    bool range_first;
  } const cases[] = {
      {"families 45-52", 45, 0x72, 0x00, 255, false}, {"family 44", 44, 0x72, 0, 127, true},
      {"families 26-43", 29, 0x72, 0x80, 255, false}, {"53 before 7.4", 53, 0x73, 0x80, 255, false},
      {"53 from 7.4", 53, 0x74, 0x20, 255, false},
  };
  for (const auto& c : cases) {
    for (const char* shape_name : {"normal", "narrow", "flat", "reversed"}) {
      SCOPED_TRACE(std::string(c.name) + ", " + shape_name);
      const auto shape = OscillatorShapeNamed(shape_name);
      ASSERT_TRUE(shape);
      OscillatorModel model({0, 0, *shape});
      SimChip chip(c.family, c.fw);
      chip.Resynchronise(&model);
      Bytes command = {kMeasure, 16};
      for (int i = 0; i < 16; ++i) {
        const auto trim = static_cast<std::uint8_t>(i * c.top_trim / 15);
        const auto range = static_cast<std::uint8_t>(c.range);
        command.push_back(c.range_first ? range : trim);
        command.push_back(c.range_first ? trim : range);
      }
      const Bytes reply = chip.Ask(command);
      ASSERT_EQ(reply.size(), 34u);
      for (std::size_t i = 1; i < 16; ++i) {
        const int before = CountAt(reply, 2 * i);
        const int count = CountAt(reply, 2 + 2 * i);
        if (*shape == OscillatorShape::kFlat) {
          EXPECT_EQ(count, before) << i;
        }
        if (*shape == OscillatorShape::kReversed) {
          EXPECT_LT(count, before) << i;
        }
        if (*shape == OscillatorShape::kNormal || *shape == OscillatorShape::kNarrow) {
          EXPECT_GT(count, before) << i;
        }
      }
      const double spread = static_cast<double>(CountAt(reply, 32)) / CountAt(reply, 2);
      if (*shape == OscillatorShape::kNarrow) {
        EXPECT_LT(spread, 1.1);
      }
      if (*shape == OscillatorShape::kNormal) {
        EXPECT_GT(spread, 1.3);
      }
    }
  }
  EXPECT_FALSE(OscillatorShapeNamed("wobbly"));
}

// The chip's clock as its status reply gives it to the host.
enum class ClockFigure { kCount, kVariant4Count, kGroupF4Count, kNone };

double ClockInStatus(ClockFigure figure, const Bytes& status, int rate) {
  const int count = CountAt(status, 13);
  switch (figure) {
    case ClockFigure::kCount:
      return static_cast<double>(count) * rate;
    case ClockFigure::kVariant4Count:
      return (262144.0 - 4 * count) * rate;
    case ClockFigure::kGroupF4Count:
      return (65536.0 - count) * rate * 4;
    case ClockFigure::kNone:
      break;
  }
  return 0;
}

struct TrimCase {
  const char* name;
  int family;
  int fw;
  Bytes measure;
  std::function<Bytes(const SimChip&)> write;
  OscillatorSetting programmed;
  std::map<int, std::uint8_t> status;  // status reply positions afterwards
  ClockFigure figure;
};

TEST(SimOscillatorTest, AProgrammedTrimSetsTheChipsClockAndShowsInTheNextStatusReply) {
  // 12,000,000 Hz, the frequency the host reached, high byte first.
  const std::uint8_t a3 = 0x00, a2 = 0xB7, a1 = 0x1B, a0 = 0x00;
  auto block40 = [=](std::uint8_t x2, std::uint8_t b29, std::uint8_t b30) {
    return [=](const SimChip& c) {
      return Concat(
          c.Guarded({0x04, 0, 0}),
          Block(40, {{24, a3}, {25, a2}, {26, a1}, {27, a0}, {28, x2}, {29, b29}, {30, b30}}));
    };
  };
  auto block64 = [=](std::map<std::size_t, std::uint8_t> bytes) {
    bytes.insert({{23, a3}, {25, a2}, {27, a1}, {29, a0}});
    return [=](const SimChip& c) { return Concat(c.Guarded({0x04, 0, 0}), Block(64, bytes)); };
  };
  const Bytes status28 = SimChip(28, 0x70).Status();
  const Bytes status25 = SimChip(25, 0x72).Status();
  const TrimCase cases[] = {
      {"families 45-52: trim, quarter steps, divider",
       45,
       0x72,
       PairsCommand({{0x40, 0x02}}),
       block40(0x40, 0x02, 0x02),
       {0x40, 0x02, 2},
       {{1, a3}, {2, a2}, {3, a1}, {4, a0}, {28, 0x40}, {29, 0x02}, {30, 0x02}},
       ClockFigure::kCount},
      // X3 = 8D: high band, divider 3, quarter step 1.
      {"53 before 7.4: band, divider",
       53,
       0x73,
       PairsCommand({{0x35, 0x81}}),
       block40(0x35, 0x81, 0x03),
       {0x35, 0x81, 3},
       {{1, a3}, {28, 0x35}},
       ClockFigure::kCount},
      // X3 = 09: divider 2, range 1 (selector 10).
      {"53 from 7.4: range, divider",
       53,
       0x74,
       PairsCommand({{0x90, 0x10}}),
       block40(0x90, 0x10, 0x02),
       {0x90, 0x10, 2},
       {{4, a0}, {28, 0x90}},
       ClockFigure::kCount},
      // X3 = 46: locked to 48 MHz, divider 1, range 2.
      {"family 70 locked to 48 MHz",
       70,
       0x74,
       PairsCommand({{0x50, 0x20}}),
       block40(0x50, 0x60, 0x01),
       {0x50, 0x20, 1, true},
       {},
       ClockFigure::kCount},
      {"family 44: range and 7-bit trim",
       44,
       0x72,
       PairsCommand({{1, 0x30}}),
       block64({{56, 0x00}, {57, 0x01}, {58, 0x30}}),
       {0x30, 1},
       {{29, 0x00}, {30, 0x01}, {31, 0x30}},
       ClockFigure::kCount},
      // X3 | 3F = BF: range 80; the trim shows as O3.
      {"families 26-43, protocol variant 4",
       29,
       0x72,
       PairsCommand({{0x77, 0x80}}),
       block64({{59, 0x77}, {60, 0xBF}}),
       {0x77, 0x80},
       {{26, 0x77}},
       ClockFigure::kVariant4Count},
      {"families 25 and 28 before 7.1: 8D",
       28,
       0x70,
       GroupsCommand(status28, 8, {{0x60, 0x58}}),
       [](const SimChip&) {
         Bytes p(20, 0xFF);
         p[0] = 0x8D, p[4] = 0x58, p[5] = 0x60;
         return p;
       },
       {0x60, 0x58},
       {{26, 0x58}, {27, 0x60}},
       ClockFigure::kNone},
      {"family 25 from 7.2: block",
       25,
       0x72,
       GroupsCommand(status25, 8, {{0x60, 0x58}}),
       block64({{59, 0x60}, {60, 0x7F}}),
       {0x60, 0x58},
       {{4, 0x7F}, {5, 0x60}},
       ClockFigure::kGroupF4Count},
  };
  OscillatorModel model;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (bool measured : {true, false}) {
      SCOPED_TRACE(measured ? "measured" : "not measured");
      SimChip chip(c.family, c.fw);
      chip.Resynchronise(&model);
      if (measured) {
        ASSERT_NE(chip.Ask(c.measure), Bytes{kRefused}) << FirstNote(chip);
      }
      const Bytes reply = chip.Ask(c.write(chip));
      ASSERT_NE(reply, Bytes{kRefused}) << FirstNote(chip);
      EXPECT_TRUE(chip.Notes().empty());
      EXPECT_EQ(chip.memory.trim, c.programmed);
      const double clock = measured ? *model.ClockOf(chip.traits(), c.programmed) : kClock;
      EXPECT_NEAR(chip.memory.clock, clock, 0.5);
      if (measured && c.programmed.locked_48mhz) {
        EXPECT_EQ(chip.memory.clock, 48000000);
      }

      chip.Resynchronise(&model);
      const Bytes status = chip.Status();
      for (const auto& [position, byte] : c.status) {
        EXPECT_EQ(status[static_cast<std::size_t>(position)], byte) << "status byte " << position;
      }
      if (c.figure != ClockFigure::kNone) {
        EXPECT_NEAR(ClockInStatus(c.figure, status, kHandshakeRate), clock, 4 * kHandshakeRate);
      }
    }
  }
}

TEST(SimOscillatorTest, ASettingTheOscillatorDoesNotHaveLeavesTheClock) {
  OscillatorModel model;
  SimChip chip(45, 0x72);
  chip.Resynchronise(&model);
  ASSERT_EQ(chip.Ask(PairsCommand({{0x40, 0x00}})).size(), 4u);
  // Divider 0.
  const Bytes write = Concat(chip.Guarded({0x04, 0, 0}), Block(40, {{28, 0x40}, {30, 0x00}}));
  EXPECT_EQ(chip.Ask(write), (Bytes{0x04, 0x54}));
  EXPECT_EQ(chip.memory.clock, kClock);
  EXPECT_FALSE(chip.Notes().empty());
}

// The clock range code of the switch command for families 26-43 (Hz -> code).
std::uint8_t RangeCode(double f) {
  const double limits[] = {1e6, 2e6, 3e6, 6e6, 12e6, 20e6, 24e6};
  std::uint8_t code = 0x87;
  for (double limit : limits) {
    if (f < limit) return code;
    --code;
  }
  return 0x80;
}

TEST(SimOscillatorTest, AfterAMeasurementTheSwitchRunsAtTheTrimmedClock) {
  OscillatorModel model;
  {
    SCOPED_TRACE("families 26-43: 01 with trim byte 0 and range byte 1");
    const OscillatorSetting setting = {0x60, 0x40};
    SimChip measured(29, 0x72);  // baud generator 1: F / 4 / reload
    measured.Resynchronise(&model);
    const double f = *model.ClockOf(measured.traits(), setting);
    const int reload = static_cast<int>(f / 4 / 115200 + 0.5);
    const int word = 65536 - reload;
    const Bytes command = {0x01,
                           0x60,
                           0x40,
                           static_cast<std::uint8_t>(word >> 8),
                           static_cast<std::uint8_t>(word),
                           0x00,
                           0x00,
                           RangeCode(f)};
    ASSERT_EQ(measured.Ask(PairsCommand({{0x60, 0x40}})).size(), 4u);
    const auto replies = measured.Send(command);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].payload, Bytes{0x01}) << FirstNote(measured);
    EXPECT_NEAR(replies[0].rate_after, f / 4 / reload, 1);
    // Untrimmed, the chip runs at its own clock, for which the command is wrong.
    SimChip untrimmed(29, 0x72);
    untrimmed.Resynchronise(&model);
    EXPECT_EQ(untrimmed.Ask(command), Bytes{kRefused});
  }
  {
    SCOPED_TRACE("families 26-43: the trim the status shows, in range 40, keeps the clock");
    SimChip chip(33, 0x72);  // protocol variant 3, baud generator 1
    chip.Resynchronise(&model);
    ASSERT_EQ(chip.Ask(PairsCommand({{0x60, 0x40}})).size(), 4u);
    const std::uint8_t own = chip.Status()[4];
    // 11,059,200 / 4 / 24 = 115,200 baud: the chip's own clock.
    const Bytes keep = {0x01, own, 0x40, 0xFF, 0xE8, 0x00, 0x00, RangeCode(kClock)};
    EXPECT_EQ(chip.Ask(keep), Bytes{0x01}) << FirstNote(chip);
    chip.Resynchronise(&model);
    ASSERT_EQ(chip.Ask(PairsCommand({{0x60, 0x40}})).size(), 4u);
    const Bytes other = {0x01, own, 0x00, 0xFF, 0xE8, 0x00, 0x00, RangeCode(kClock)};
    EXPECT_EQ(chip.Ask(other), Bytes{kRefused}) << "another range runs at another clock";
  }
  {
    SCOPED_TRACE("families 25 and 28 before 7.1: 8E with range 58 and trim byte 0");
    SimChip chip(28, 0x70);
    chip.Resynchronise(&model);
    const double f = *model.ClockOf(chip.traits(), {0x80, 0x58});
    ASSERT_LT(f, 20e6);
    ASSERT_EQ(chip.Ask(GroupsCommand(chip.Status(), 8, {{0x80, 0x58}})).size(), 16u);
    // 28,800 baud: q = F / 28,800, r = q / 100; byte 3 = r + 1, byte 4 = -(q / (r + 1)).
    const int q = static_cast<int>(f) / 28800;
    const int r = q / 100;
    const int step = q / (r + 1);
    const int word = static_cast<int>(65536 - f * 0.00083333335);
    const Bytes command = {0x8E,
                           0x58,
                           0x80,
                           static_cast<std::uint8_t>(r + 1),
                           static_cast<std::uint8_t>(-step),
                           0x64,
                           static_cast<std::uint8_t>(word >> 8),
                           static_cast<std::uint8_t>(word),
                           0x83,
                           0x20,
                           0xFF,
                           0x00};
    const auto replies = chip.Send(command);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].payload, Bytes{0x0E}) << FirstNote(chip);
    EXPECT_NEAR(replies[0].rate_after, f / ((r + 1) * step), 1);
  }
}

}  // namespace
}  // namespace fw::sim::test
