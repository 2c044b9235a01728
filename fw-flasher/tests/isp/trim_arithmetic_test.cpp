// The trim procedures' arithmetic on measured frequencies, including the spans
// that cannot be divided by and the estimates that leave the trim range.
#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <vector>

#include "isp/trim/procedure_1.h"
#include "isp/trim/procedure_3.h"
#include "isp/trim/procedure_4.h"
#include "isp/trim/procedure_5.h"
#include "isp/trim/procedure_6.h"
#include "isp/trim/trim_arithmetic.h"

namespace fw::trim {
namespace {

TEST(TrimArithmetic, ProcedureByFamilyAndFirmware) {
  struct Case {
    int family, version, procedure;
  } const cases[] = {
      {0, 0x72, 0},  {24, 0x72, 0}, {25, 0x70, 1}, {28, 0x71, 1}, {26, 0x72, 4},
      {27, 0x72, 4}, {29, 0x72, 4}, {43, 0x72, 4}, {44, 0x72, 3}, {45, 0x72, 2},
      {52, 0x72, 2}, {53, 0x73, 5}, {53, 0x74, 6}, {70, 0x73, 5}, {255, 0x80, 6},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.family);
    EXPECT_EQ(TrimProcedureNumber(c.family, c.version), c.procedure);
  }
  EXPECT_EQ(MakeTrimProcedure(TrimInputs{.family_code = 24}), nullptr);
}

TEST(TrimArithmetic, CountCommandOrderAndDeclaredCount) {
  const TrimPair pairs[] = {{0x10, 0x01}, {0x7F, 0x02}};
  EXPECT_EQ(CountCommand(pairs, PairOrder::kTrimFirst),
            (std::vector<std::uint8_t>{0x00, 0x02, 0x10, 0x01, 0x7F, 0x02}));
  EXPECT_EQ(CountCommand(pairs, PairOrder::kRangeFirst, 1),
            (std::vector<std::uint8_t>{0x00, 0x01, 0x01, 0x10, 0x02, 0x7F}));
}

TEST(TrimArithmetic, ReplyFrequenciesAre64BitAndNeedEveryCount) {
  const std::vector<std::uint8_t> reply{0x00, 0x02, 0xFF, 0xFF, 0x00, 0x03};
  // 115200 × 65535 passes 32 bits.
  EXPECT_EQ(ReplyFrequencies(reply, 2, 115200, CountScale::kWhole),
            (std::vector<Frequency>{7549632000LL, 345600}));
  EXPECT_EQ(ReplyFrequencies(reply, 2, 115200, CountScale::kHalf),
            (std::vector<Frequency>{3774816000LL, 172800}));
  EXPECT_EQ(ReplyFrequencies(reply, 3, 115200, CountScale::kWhole), std::nullopt);
}

TEST(TrimArithmetic, ClosestIndexTakesTheFirstOfEqualDistances) {
  const Frequency values[] = {90, 110, 105, 95};
  EXPECT_EQ(ClosestIndex(values, 100), 2u);
  EXPECT_EQ(ClosestIndex(values, 120), 1u);
  const Frequency tie[] = {90, 110};
  EXPECT_EQ(ClosestIndex(tie, 100), 0u);
}

TEST(TrimArithmetic, DividerAndCentre) {
  struct Case {
    const char* name;
    Frequency low, high, target;
    std::optional<DividerCentre> expected;
  } const cases[] = {
      // (11,059,200 - 10,000,000) / 78,125 = 13.
      {"10 to 20 MHz for 11.0592 MHz", 10000000, 20000000, 11059200, DividerCentre{1, 13, 13}},
      {"estimate 0 centres on 1", 11059200, 20000000, 11059200, DividerCentre{1, 0, 1}},
      {"estimate above 255 is 255, centre 254", 1000000, 1012800, 11059200,
       DividerCentre{1, 255, 254}},
      // 2 × T = 22,118,400: (22,118,400 - 20,000,000) / 156,250 = 13.
      {"twice the target reaches the range", 20000000, 40000000, 11059200,
       DividerCentre{2, 13, 13}},
      {"no divider up to 63: 63 and 0", 80000000, 90000000, 1000000, DividerCentre{63, 0, 1}},
      {"products beyond 32 bits", 3000000000LL, 4000000000LL, 2000000000,
       DividerCentre{2, 128, 128}},
      {"span of 127 Hz cannot be divided", 10000000, 10000127, 11059200, std::nullopt},
      {"flat span", 10000000, 10000000, 11059200, std::nullopt},
      {"reversed span", 20000000, 10000000, 11059200, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto got = EstimateDividerCentre(c.low, c.high, c.target);
    ASSERT_EQ(got.has_value(), c.expected.has_value());
    if (!got) continue;
    EXPECT_EQ(got->divider, c.expected->divider);
    EXPECT_EQ(got->estimate, c.expected->estimate);
    EXPECT_EQ(got->centre, c.expected->centre);
  }
}

TEST(TrimArithmetic, Procedure1Window) {
  struct Case {
    const char* name;
    Frequency s0;
    int t0;
    Frequency s1;
    int t1;
    Frequency target;
    std::optional<int> expected;
  } const cases[] = {
      // slope 10,000 Hz a trim: M = T + 0 - s0 = 1,280,000, y = 128 - 5.
      {"interpolated less 5", 10000000, 0, 12560000, 256, 11280000, 123},
      // slope 20,000, M = 11,000,000 + 2,560,000 - 12,000,000 = 1,560,000, y = 78 - 5.
      {"from a pair at 128 and 255", 12000000, 128, 14540000, 255, 11000000, 73},
      {"below the range: 0", 10000000, 0, 12560000, 256, 9000000, 0},
      {"above the range: 244", 10000000, 0, 12560000, 256, 20000000, 244},
      // An oscillator that falls as the trim rises interpolates the same way:
      // slope -15,625, M = 11,000,000 - 12,000,000, y = 64 - 5.
      {"falling with the trim", 12000000, 0, 10000000, 128, 11000000, 59},
      // slope -20,000, M = 13,000,000 - 2,560,000 - 14,540,000, y = 205 - 5.
      {"falling, from a pair at 128 and 255", 14540000, 128, 12000000, 255, 13000000, 200},
      {"falling, target above the range: 0", 12000000, 0, 10000000, 128, 20000000, 0},
      {"falling, target below the range: 244", 12000000, 0, 10000000, 128, 1000000, 244},
      // Equal measurements give no slope to divide by.
      {"equal trims", 10000000, 128, 12000000, 128, 11000000, std::nullopt},
      {"flat", 10000000, 0, 10000000, 128, 11000000, std::nullopt},
      {"beyond the int range", 0, 0, 1, 255, 100000000000LL, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Procedure1WindowStart(c.s0, c.t0, c.s1, c.t1, c.target), c.expected);
  }
}

TEST(TrimArithmetic, Procedure1CountsByHandshakeRate) {
  EXPECT_EQ(Procedure1Frequency(2400, 2662), (2400 * 2662 / 1200 + 6) * 2063);
  EXPECT_EQ(Procedure1Frequency(115200, 56), (115200 * 56 / 1200 + 6) * 2101);
  EXPECT_EQ(Procedure1Frequency(1200, 100), (100 + 6) * 2061);
  // 115200 × 65535 passes 32 bits; so does the result.
  EXPECT_EQ(Procedure1Frequency(115200, 65535), (115200LL * 65535 / 1200 + 6) * 2101);
}

TEST(TrimArithmetic, Procedure3RangeAndWindow) {
  const Frequency ends[] = {4000000,  8000000,  7000000,  14000000,
                            13000000, 26000000, 25000000, 50000000};
  EXPECT_EQ(Procedure3Range(ends, 6000000), 0);
  EXPECT_EQ(Procedure3Range(ends, 8000000), 1);
  EXPECT_EQ(Procedure3Range(ends, 30000000), 3);
  EXPECT_EQ(Procedure3Range(ends, 60000000), 3);

  // Nine trims 0, 16, ..., 112, 127 at 100 kHz a trim from 10 MHz.
  std::vector<Frequency> across;
  for (int t : {0, 16, 32, 48, 64, 80, 96, 112, 127}) across.push_back(10000000 + 100000LL * t);
  struct Case {
    const char* name;
    std::vector<Frequency> across;
    Frequency target;
    std::optional<int> expected;
  } const cases[] = {
      // j = 3 (14.8 MHz > 14.4 MHz), s = (14.4 - 13.2) × 16 / 1.6 = 12 ... trims 40..48.
      {"inside", across, 14400000, 40},
      {"below the first: shifted up to 0", across, 9000000, 0},
      // j = 1, s = 0: 0 + 16 - 20 = -4 would wrap to trim 252; the window is 0..8.
      {"at trim 0: shifted up to 0", across, 10000000, 0},
      // j = 8, s = (22.65 - 21.2) × 16 / 1.5 = 15: 15 + 128 - 20 = 123 would end at
      // 131, past the 7-bit trim; the window is 119..127.
      {"near the top: shifted down to 119", across, 22650000, 119},
      {"beyond the top: 119", across, 99000000, 119},
      {"flat segment", std::vector<Frequency>(9, 12000000), 11000000, std::nullopt},
      {"falling segment",
       {10000000, 9000000, 8000000, 7000000, 6000000, 5000000, 4000000, 3000000, 2000000},
       11000000,
       std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Procedure3WindowStart(c.across, c.target), c.expected);
  }
}

TEST(TrimArithmetic, Procedure4Span) {
  auto coarse = [](Frequency p0, Frequency p9, Frequency p10) {
    std::vector<Frequency> p(12, 0);
    p[0] = p0;
    p[9] = p9;
    p[10] = p10;
    p[11] = 2 * p10 - p9;
    return p;
  };
  // p11 = 2 × 40 - 30 = 50 MHz.
  EXPECT_EQ(Procedure4CheckSpan(coarse(20000000, 30000000, 40000000)), Procedure4Span::kTooNarrow);
  EXPECT_EQ(Procedure4CheckSpan(coarse(10000000, 30000000, 40000000)), Procedure4Span::kUsable);
  EXPECT_EQ(Procedure4CheckSpan(coarse(0, 30000000, 40000000)), Procedure4Span::kUnusable);
  EXPECT_EQ(Procedure4CheckSpan(coarse(-5, 30000000, 40000000)), Procedure4Span::kUnusable);
}

TEST(TrimArithmetic, Procedure4Locate) {
  // Four ranges (C0, 80, 40, 00), trims 00, 80, FF: 4-6-8, 8-12-16, 16-24-32, 32-48-64 MHz.
  const std::vector<Frequency> p{4000000,  6000000,  8000000,  8000000,  12000000, 16000000,
                                 16000000, 24000000, 32000000, 32000000, 48000000, 64000000};
  struct Case {
    const char* name;
    std::vector<Frequency> p;
    Frequency target;
    std::optional<int> first_trim;
    std::uint8_t range;
  } const cases[] = {
      // Segment 0: (5 - 4) × 128 / 2 = 64, window 61..66.
      {"lower half", p, 5000000, 61, 0xC0},
      // Segment 1: (7 - 6) × 127 / 2 + 128 = 191, window 188..193.
      {"upper half", p, 7000000, 188, 0xC0},
      // Segment 3: (11.0592 - 8) × 128 / 4 = 97, window 94..99.
      {"segment 3 in range 80", p, 11059200, 94, 0x80},
      {"below everything: at least 3", p, 1000000, 0, 0xC0},
      {"top half of the last range: at most 253", p, 63900000, 250, 0x00},
      {"above the extrapolated end: at most 253", p, 90000000, 250, 0x00},
      {"flat segment", std::vector<Frequency>(12, 10000000), 9000000, std::nullopt, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto got = Procedure4Locate(c.p, c.target);
    ASSERT_EQ(got.has_value(), c.first_trim.has_value());
    if (!got) continue;
    EXPECT_EQ(got->first_trim, *c.first_trim);
    EXPECT_EQ(got->range, c.range);
  }
}

TEST(TrimArithmetic, Procedure5HighRange) {
  // p4 < T chooses the high range even when T < p0.
  const Frequency high_top_below[] = {20000000, 30000000, 5000000, 9000000, 10000000};
  EXPECT_EQ(Procedure5HighRange(high_top_below, 11059200), 1);
  const Frequency low_fits[] = {10000000, 20000000, 5000000, 9000000, 30000000};
  EXPECT_EQ(Procedure5HighRange(low_fits, 11059200), 0);
  // Below the low range and p4 under twice the target.
  const Frequency below_low[] = {12000000, 20000000, 5000000, 9000000, 20000000};
  EXPECT_EQ(Procedure5HighRange(below_low, 11059200), 1);
  const Frequency below_low_wide[] = {12000000, 20000000, 5000000, 9000000, 30000000};
  EXPECT_EQ(Procedure5HighRange(below_low_wide, 11059200), 0);
}

TEST(TrimArithmetic, Procedure6Locate) {
  // Ranges 0-3 span 5-10, 10-20, 20-40, 40-80 MHz (trims 0 and 255).
  const std::vector<Frequency> ends{5000000,  10000000, 10000000, 20000000,
                                    20000000, 40000000, 40000000, 80000000};
  struct Case {
    const char* name;
    std::vector<Frequency> ends;
    Frequency target;
    std::optional<Procedure6Estimate> expected;
  } const cases[] = {
      // Range 1: (11,059,200 - 10,000,000) / (10,000,000 / 256) = 27, window 20..31.
      {"range 1", ends, 11059200, Procedure6Estimate{1, 1, 20}},
      // 3 MHz lies in no range; 6 MHz in range 0: 1,000,000 / 19,531 = 51.
      {"a multiple of the target", ends, 3000000, Procedure6Estimate{2, 0, 44}},
      // 50 × 100 kHz reaches range 0 at its start; the multiple is reported as 15.
      {"multiple above 15 is 15", ends, 100000, Procedure6Estimate{15, 0, 0}},
      // Past the last range: estimate 255, window shifted to 244..255.
      {"above every range", ends, 90000000, Procedure6Estimate{1, 3, 244}},
      // Range 0 at 19,531 Hz a trim: 4,925,000 / 19,531 = 252. A centre of 252
      // would end the window at 256, the byte 0: it is 251, window 244..255.
      {"estimate 252: centre 251", ends, 9925000, Procedure6Estimate{1, 0, 244}},
      {"estimate 250 is the centre", ends, 9885000, Procedure6Estimate{1, 0, 243}},
      // Every multiple up to 63 lies below all ranges: estimate 0 in range 0.
      {"no multiple fits",
       {1000, 1001, 2000, 2001, 3000, 3001, 1000000000, 2000000000},
       7,
       Procedure6Estimate{15, 0, 0}},
      {"flat range", {5000000, 5000000, 0, 0, 0, 0, 0, 0}, 5000000, std::nullopt},
      {"range narrower than 256 Hz", {5000000, 5000255, 0, 0, 0, 0, 0, 0}, 5000000, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto got = Procedure6Locate(c.ends, c.target);
    ASSERT_EQ(got.has_value(), c.expected.has_value());
    if (!got) continue;
    EXPECT_EQ(got->multiple, c.expected->multiple);
    EXPECT_EQ(got->range, c.expected->range);
    EXPECT_EQ(got->first_trim, c.expected->first_trim);
  }
}

TEST(TrimArithmetic, Nominal48MHz) {
  struct Case {
    const char* name;
    int family, target, adjusted;
    int expected_adjusted;
    bool bit6;
  } const cases[] = {
      {"family 70 missed by 1 %", 70, 48000000, 47500000, 48000000, true},
      {"family 61 missed", 61, 48100000, 47000000, 48000000, true},
      {"within 0.5 %: kept", 70, 48000000, 47900000, 47900000, false},
      {"target not near 48 MHz", 70, 24000000, 23000000, 23000000, false},
      {"other family", 62, 48000000, 47500000, 47500000, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TrimChoice choice;
    choice.adjusted_frequency = c.adjusted;
    choice.trim_bytes[3] = 0x05;
    ApplyNominal48MHz(c.family, c.target, choice);
    EXPECT_EQ(choice.adjusted_frequency, c.expected_adjusted);
    EXPECT_EQ(*choice.trim_bytes[3], c.bit6 ? 0x45 : 0x05);
  }
}

}  // namespace
}  // namespace fw::trim
