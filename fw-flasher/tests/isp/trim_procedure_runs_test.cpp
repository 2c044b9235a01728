// Each trim procedure driven from start to choice by a small oscillator model
// that answers its measurement commands: the commands sent, the choice made,
// and the defined end for spans that cannot be trimmed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "isp/trim/trim_procedure.h"

namespace fw::trim {
namespace {

using Bytes = std::vector<std::uint8_t>;
// Frequency in Hz of a trim value with a range selector.
using Oscillator = std::function<double(int trim, int range)>;

std::uint16_t ClampCount(double count) {
  return static_cast<std::uint16_t>(std::clamp<double>(std::lround(count), 0, 65535));
}

void AppendCount(Bytes& reply, std::uint16_t count) {
  reply.push_back(static_cast<std::uint8_t>(count >> 8));
  reply.push_back(static_cast<std::uint8_t>(count));
}

// Answers "00 n pairs": reply code 00, n, then one count per declared pair.
struct CountAnswer {
  Oscillator osc;
  int baud;
  bool halved;       // the count covers two periods of the handshake rate
  bool range_first;  // pairs sent as (range, trim)
  Bytes operator()(const Bytes& command) const {
    Bytes reply{0x00, command[1]};
    for (int i = 0; i < command[1]; ++i) {
      const int a = command[2 + 2 * i], b = command[3 + 2 * i];
      const double f = range_first ? osc(b, a) : osc(a, b);
      AppendCount(reply, ClampCount(f * (halved ? 2 : 1) / baud));
    }
    return reply;
  }
};

// Answers the 0x65 command: bytes 1-11 echoed, then each group (range, trim)
// echoed with its count, (H × count / 1200 + 6) × D being the frequency.
struct GroupAnswer {
  Oscillator osc;
  int baud;
  double divisor;
  Bytes operator()(const Bytes& command) const {
    Bytes reply(command.begin(), command.begin() + 12);
    for (std::size_t at = 12; at + 4 <= command.size(); at += 4) {
      reply.push_back(command[at]);
      reply.push_back(command[at + 1]);
      AppendCount(reply,
                  ClampCount((osc(command[at + 1], command[at]) / divisor - 6) * 1200 / baud));
    }
    return reply;
  }
};

struct Session {
  std::vector<Measurement> sent;
  TrimStep end;
};

Session Drive(const TrimInputs& inputs, const std::function<Bytes(const Bytes&)>& answer) {
  auto procedure = MakeTrimProcedure(inputs);
  Session run;
  TrimStep step = procedure->Start();
  while (step.status == TrimStatus::kMeasure && run.sent.size() < 10) {
    run.sent.push_back(step.measurement);
    step = procedure->Continue(answer(step.measurement.command));
  }
  run.end = step;
  return run;
}

TrimInputs Inputs(int family, int version, int baud) {
  TrimInputs in;
  in.family_code = family;
  in.fw_version = version;
  in.handshake_baud = baud;
  in.set_frequency = 11059200;
  in.measured_frequency = 22118400;
  return in;
}

Bytes TrimsOf(const Bytes& command, bool range_first = false) {
  Bytes trims;
  for (std::size_t at = 2; at + 1 < command.size(); at += 2) {
    trims.push_back(command[range_first ? at + 1 : at]);
  }
  return trims;
}

Bytes Sequence(int first, int n) {
  Bytes b;
  for (int i = 0; i < n; ++i) b.push_back(static_cast<std::uint8_t>(first + i));
  return b;
}

TEST(TrimProcedureRun, Procedure1GroupsAndInterpolation) {
  TrimInputs in = Inputs(25, 0x70, 2400);
  for (int i = 0; i < 7; ++i) in.status_record[51 + i] = static_cast<std::uint8_t>(0x31 + i);
  // Range byte 0x58: 8 MHz + 25 kHz a trim; 0x98: 16 MHz + 50 kHz a trim.
  const Oscillator osc = [](int trim, int range) {
    return range == 0x58 ? 8e6 + 25000.0 * trim : 16e6 + 50000.0 * trim;
  };
  const Session run = Drive(in, GroupAnswer{osc, 2400, 2063});
  ASSERT_EQ(run.sent.size(), 2u);
  // 11,059,200 Hz: timing entry 7 + 2, groups of the 10-15 MHz row; F >= 20 MHz selects 0x98.
  const Bytes header{0x65, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0xFF, 0xFF, 0x08};
  Bytes first = header;
  first.insert(first.end(),
               {0x06, 0x58, 0x00, 0x02, 0x00, 0x58, 0x80, 0x02, 0x00, 0x58, 0x80, 0x02, 0x00,
                0x58, 0xFF, 0x02, 0x00, 0x98, 0x00, 0x02, 0x00, 0x98, 0x80, 0x02, 0x00});
  EXPECT_EQ(run.sent[0].command, first);
  EXPECT_EQ(run.sent[0].timeout_ms, 2000);
  EXPECT_EQ(run.sent[0].sync_byte, 0x7F);
  EXPECT_EQ(run.sent[0].reply_code, 0x65);
  // Slope from (8,000,314 Hz at 0) and (11,202,090 Hz at 128): trim 122.29, window from 117.
  Bytes second = header;
  second.push_back(11);
  for (int i = 0; i < 11; ++i)
    second.insert(second.end(), {0x58, std::uint8_t(117 + i), 0x02, 0x00});
  EXPECT_EQ(run.sent[1].command, second);
  EXPECT_EQ(run.sent[1].timeout_ms, 4000);

  ASSERT_EQ(run.end.status, TrimStatus::kChosen);
  const TrimChoice& c = run.end.choice;
  EXPECT_EQ(c.adjusted_frequency, (2 * 2675 + 6) * 2063);  // trim 122
  EXPECT_EQ(c.trim_bytes[2], 122);
  EXPECT_EQ(c.trim_bytes[3], 0x58);
  EXPECT_EQ(c.trim_bytes[0], 0x80);  // the trim echoed with the clock count
  EXPECT_EQ(c.trim_bytes[1], std::nullopt);
  EXPECT_EQ(c.measured_frequency, (2 * 5426 + 6) * 2063);  // 22.4 MHz at (98, 80)
}

TEST(TrimProcedureRun, Procedure2CentreFromRangeZero) {
  // H = 10,000: a halved count of 2,000 is 10 MHz, 4,000 is 20 MHz.
  const Oscillator osc = [](int trim, int range) {
    return 10e6 + 78125.0 * trim + 20000.0 * range;
  };
  const Session run = Drive(Inputs(45, 0x72, 10000), CountAnswer{osc, 10000, true, false});
  ASSERT_EQ(run.sent.size(), 2u);
  EXPECT_EQ(run.sent[0].command, (Bytes{0x00, 0x02, 0x00, 0x00, 0x80, 0x00}));
  EXPECT_EQ(run.sent[0].sync_byte, 0xFE);
  EXPECT_EQ(run.sent[0].timeout_ms, 5000);
  // k = 13: trims 12, 13, 14 each in ranges 0-3.
  EXPECT_EQ(run.sent[1].command, (Bytes{0x00, 0x0C, 12, 0,  12, 1,  12, 2,  12, 3,  13, 0,  13,
                                        1,    13,   2,  13, 3,  14, 0,  14, 1,  14, 2,  14, 3}));
  ASSERT_EQ(run.end.status, TrimStatus::kChosen);
  // Trim 13, range 2: 11,015,625 + 40,000, counted in steps of 5 kHz.
  EXPECT_EQ(run.end.choice.adjusted_frequency, 11055000);
  EXPECT_EQ(run.end.choice.trim_bytes[3], (1 << 2) | 2);
  EXPECT_EQ(run.end.choice.trim_bytes[2], 13);
  EXPECT_EQ(run.end.choice.trim_bytes[0], std::nullopt);
  EXPECT_EQ(run.end.choice.measured_frequency, std::nullopt);
}

TEST(TrimProcedureRun, Procedure2DoublesBelow18MHzForFamilies51And52) {
  // Half of the oscillator above: doubled, the same estimate; divider raised to 2.
  const Oscillator osc = [](int trim, int range) {
    return (10e6 + 78125.0 * trim + 20000.0 * range) / 2;
  };
  const Session run = Drive(Inputs(51, 0x72, 10000), CountAnswer{osc, 10000, true, false});
  ASSERT_EQ(run.end.status, TrimStatus::kChosen);
  EXPECT_EQ(TrimsOf(run.sent[1].command)[0], 12);
  // Chosen at 1 × T (11,060,000 doubled), reported divided by 2.
  EXPECT_EQ(run.end.choice.adjusted_frequency, 11060000 / 2);
  EXPECT_EQ(run.end.choice.trim_bytes[3].value_or(0) >> 2, 2);

  const Session undoubled = Drive(Inputs(50, 0x72, 10000), CountAnswer{osc, 10000, true, false});
  ASSERT_EQ(undoubled.end.status, TrimStatus::kChosen);
  // Family 50 takes the counts as they are: 5-10 MHz, k = 6,059,200 / 39,062 = 155.
  EXPECT_EQ(undoubled.end.choice.trim_bytes[3].value_or(0) >> 2, 1);
  EXPECT_EQ(TrimsOf(undoubled.sent[1].command)[0], 154);
}

TEST(TrimProcedureRun, Procedure3RangeAcrossAndWindow) {
  TrimInputs in = Inputs(44, 0x72, 10000);
  in.status_record[29] = 0x0A;
  in.status_record[30] = 0xFE;
  in.status_record[31] = 0xC5;
  // Range q: base[q] + slope[q] a trim over 0..127.
  const Oscillator osc = [](int trim, int range) {
    const double base[] = {4e6, 7e6, 13e6, 25e6}, slope[] = {30000, 55000, 100000, 200000};
    return base[range] + slope[range] * trim;
  };
  const Session run = Drive(in, CountAnswer{osc, 10000, true, true});
  ASSERT_EQ(run.sent.size(), 3u);
  EXPECT_EQ(run.sent[0].command, (Bytes{0x00, 0x08, 0, 0x00, 0, 0x7F, 1, 0x00, 1, 0x7F, 2, 0x00, 2,
                                        0x7F, 3, 0x00, 3, 0x7F}));
  // Range 1 holds 11.06 MHz; across it 0, 16, ..., 112, 127.
  EXPECT_EQ(run.sent[1].command,
            (Bytes{0x00, 0x09, 1, 0, 1, 16, 1, 32, 1, 48, 1, 64, 1, 80, 1, 96, 1, 112, 1, 127}));
  // j = 5 (11.4 MHz at 80), s = 539,200 × 16 / 880,000 = 9: trims 69..77.
  EXPECT_EQ(TrimsOf(run.sent[2].command, true), Sequence(69, 9));
  ASSERT_EQ(run.end.status, TrimStatus::kChosen);
  const TrimChoice& c = run.end.choice;
  EXPECT_EQ(c.adjusted_frequency, 11070000);  // trim 74
  EXPECT_EQ(c.trim_bytes[2], 74);
  EXPECT_EQ(c.trim_bytes[3], 0xA1);
  EXPECT_EQ(c.trim_bytes[0], 0x02);
  EXPECT_EQ(c.trim_bytes[1], 0x45);
}

TEST(TrimProcedureRun, Procedure3WindowBelowTheRangeStartsAtZero) {
  TrimInputs in = Inputs(44, 0x72, 10000);
  in.set_frequency = 3000000;
  const Oscillator osc = [](int trim, int range) { return 4e6 * (range + 1) + 30000.0 * trim; };
  const Session run = Drive(in, CountAnswer{osc, 10000, true, true});
  ASSERT_EQ(run.sent.size(), 3u);
  EXPECT_EQ(TrimsOf(run.sent[2].command, true), Sequence(0, 9));
  ASSERT_EQ(run.end.status, TrimStatus::kChosen);
  EXPECT_EQ(run.end.choice.trim_bytes[2], 0);
}

// Ranges C0, 80, 40, 00 from 4, 8, 16, 32 MHz, doubling over the 256 trims;
// `sag` bends range 80 below its straight line between trims 0 and 128.
Oscillator Procedure4Oscillator(double sag) {
  return [sag](int trim, int range) {
    const double base = range == 0xC0 ? 4e6 : range == 0x80 ? 8e6 : range == 0x40 ? 16e6 : 32e6;
    const double bend = range == 0x80 && trim <= 128 ? sag * trim * (128 - trim) : 0;
    return base + base / 250 * trim - bend;
  };
}

TEST(TrimProcedureRun, Procedure4TwoTargets) {
  const Session run =
      Drive(Inputs(27, 0x72, 2000), CountAnswer{Procedure4Oscillator(0), 2000, true, false});
  ASSERT_EQ(run.sent.size(), 2u);
  // Eleven pairs declared, the twelfth sent with trim 00.
  EXPECT_EQ(run.sent[0].command,
            (Bytes{0x00, 0x0B, 0x00, 0xC0, 0x80, 0xC0, 0xFF, 0xC0, 0x00, 0x80, 0x80, 0x80, 0xFF,
                   0x80, 0x00, 0x40, 0x80, 0x40, 0xFF, 0x40, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00}));
  // T in segment 3: (11.0592 - 8) × 128 / 4.096 = 95; F in segment 6: 95.
  EXPECT_EQ(run.sent[1].command,
            (Bytes{0x00, 0x0C, 92,   0x80, 93,   0x80, 94,   0x80, 95,   0x80, 96,   0x80, 97,
                   0x80, 92,   0x40, 93,   0x40, 94,   0x40, 95,   0x40, 96,   0x40, 97,   0x40}));
  ASSERT_EQ(run.end.status, TrimStatus::kChosen);
  const TrimChoice& c = run.end.choice;
  EXPECT_EQ(c.adjusted_frequency, 11072000);
  EXPECT_EQ(c.trim_bytes[2], 96);
  EXPECT_EQ(c.trim_bytes[3], 0x80);
  EXPECT_EQ(c.measured_frequency, 22144000);
  EXPECT_EQ(c.trim_bytes[0], 96);
  EXPECT_EQ(c.trim_bytes[1], 0x40);
}

TEST(TrimProcedureRun, Procedure4MovesAWindowUpToFourMeasurements) {
  // Bent range: every window stays below T, so the T trims rise by 5 each time.
  const Session run =
      Drive(Inputs(27, 0x72, 2000), CountAnswer{Procedure4Oscillator(300), 2000, true, false});
  ASSERT_EQ(run.sent.size(), 5u);  // the coarse one and four of the windows
  for (int i = 1; i <= 4; ++i) {
    SCOPED_TRACE(i);
    const Bytes trims = TrimsOf(run.sent[static_cast<std::size_t>(i)].command);
    EXPECT_EQ(Bytes(trims.begin(), trims.begin() + 6), Sequence(92 + 5 * (i - 1), 6));
    EXPECT_EQ(Bytes(trims.begin() + 6, trims.end()), Sequence(92, 6));
  }
  ASSERT_EQ(run.end.status, TrimStatus::kChosen);
  // The last window measured (107..112) still lies below T: its top is kept,
  // not a trim that was never measured.
  EXPECT_EQ(run.end.choice.trim_bytes[2], 112);
  EXPECT_EQ(run.end.choice.adjusted_frequency, 11046000);
}

TEST(TrimProcedureRun, Procedure5LowRange) {
  const Oscillator osc = [](int trim, int range) {
    return range & 0x80 ? 20e6 + 160000.0 * trim + 40000.0 * (range & 3)
                        : 10e6 + 80000.0 * trim + 20000.0 * range;
  };
  const Session run = Drive(Inputs(53, 0x73, 1000), CountAnswer{osc, 1000, false, false});
  ASSERT_EQ(run.sent.size(), 2u);
  EXPECT_EQ(run.sent[0].command,
            (Bytes{0x00, 0x05, 0x00, 0x00, 0x80, 0x00, 0x00, 0x80, 0x80, 0x80, 0xFF, 0x00}));
  EXPECT_EQ(run.sent[0].sync_byte, 0x66);
  EXPECT_EQ(TrimsOf(run.sent[1].command), (Bytes{12, 12, 12, 12, 13, 13, 13, 13, 14, 14, 14, 14}));
  ASSERT_EQ(run.end.status, TrimStatus::kChosen);
  EXPECT_EQ(run.end.choice.adjusted_frequency, 11060000);  // trim 13, range 1
  EXPECT_EQ(run.end.choice.trim_bytes[3], 1 * 4 + 1);
  EXPECT_EQ(run.end.choice.trim_bytes[2], 13);
}

TEST(TrimProcedureRun, Procedure6RangeAndMultiple) {
  const Oscillator osc = [](int trim, int range) {
    const double base = 5e6 * (1 << (range >> 4));
    return base + base / 250 * trim;
  };
  const Session run = Drive(Inputs(60, 0x74, 1000), CountAnswer{osc, 1000, false, false});
  ASSERT_EQ(run.sent.size(), 2u);
  EXPECT_EQ(run.sent[0].command, (Bytes{0x00, 0x08, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x10, 0xFF, 0x10,
                                        0x00, 0x20, 0xFF, 0x20, 0x00, 0x30, 0xFF, 0x30}));
  // Range 1 (10-20.2 MHz): k = 1,059,200 / 39,843 = 26, window 19..30.
  EXPECT_EQ(TrimsOf(run.sent[1].command), Sequence(19, 12));
  EXPECT_EQ(run.sent[1].command[3], 0x10);
  ASSERT_EQ(run.end.status, TrimStatus::kChosen);
  EXPECT_EQ(run.end.choice.adjusted_frequency, 11040000);
  EXPECT_EQ(run.end.choice.trim_bytes[3], (1 << 2) | 1);
  EXPECT_EQ(run.end.choice.trim_bytes[2], 26);
}

TEST(TrimProcedureRun, Procedure6ReportsNominal48MHzForFamily70) {
  TrimInputs in = Inputs(70, 0x74, 1000);
  in.set_frequency = 48000000;
  // Nothing reaches 48 MHz: every range runs from 30 to 40 MHz.
  const Oscillator osc = [](int trim, int) { return 30e6 + 39215.0 * trim; };
  const Session run = Drive(in, CountAnswer{osc, 1000, false, false});
  ASSERT_EQ(run.end.status, TrimStatus::kChosen);
  EXPECT_EQ(run.end.choice.adjusted_frequency, 48000000);
  EXPECT_EQ(*run.end.choice.trim_bytes[3] & 0x40, 0x40);
}

// Oscillators that cannot be trimmed end every procedure in its defined way.
TEST(TrimProcedureRun, SpansThatCannotBeTrimmed) {
  struct Procedure {
    const char* name;
    int family, version;
    bool halved, range_first, groups;
  } const procedures[] = {
      {"1", 25, 0x70, false, false, true},  {"2", 45, 0x72, true, false, false},
      {"3", 44, 0x72, true, true, false},   {"4", 27, 0x72, true, false, false},
      {"5", 53, 0x73, false, false, false}, {"6", 53, 0x74, false, false, false},
  };
  struct Span {
    const char* name;
    Oscillator osc;
    TrimStatus procedure4;  // procedure 4 has its own check of the span
    // Procedure 1 interpolates through two measurements whichever way they run.
    TrimStatus procedure1 = TrimStatus::kUnusable;
  } const spans[] = {
      {"flat", [](int, int) { return 8e6; }, TrimStatus::kTooNarrow},
      {"silent oscillator", [](int, int) { return 0.0; }, TrimStatus::kUnusable},
      {"falling with the trim", [](int trim, int) { return 20e6 - 40000.0 * trim; },
       TrimStatus::kTooNarrow, TrimStatus::kChosen},
  };
  for (const auto& p : procedures) {
    for (const auto& s : spans) {
      SCOPED_TRACE(std::string("procedure ") + p.name + ", " + s.name);
      const int baud = 2400;
      const TrimInputs in = Inputs(p.family, p.version, baud);
      std::function<Bytes(const Bytes&)> answer;
      if (p.groups) {
        answer = GroupAnswer{s.osc, baud, 2063};
      } else {
        answer = CountAnswer{s.osc, baud, p.halved, p.range_first};
      }
      const Session run = Drive(in, answer);
      const TrimStatus expected = p.family == 27   ? s.procedure4
                                  : p.family == 25 ? s.procedure1
                                                   : TrimStatus::kUnusable;
      EXPECT_EQ(run.end.status, expected);
    }
    SCOPED_TRACE(std::string("procedure ") + p.name + ", short reply");
    const Session short_reply = Drive(Inputs(p.family, p.version, 2400), [](const Bytes& command) {
      return Bytes{command[0], 0x00, 0x12};
    });
    EXPECT_EQ(short_reply.end.status, TrimStatus::kShortReply);
    EXPECT_EQ(short_reply.sent.size(), 1u);
  }
}

TEST(TrimProcedureRun, TargetsThatCannotBeTrimmedTo) {
  for (int family : {25, 27, 44, 45, 53}) {
    SCOPED_TRACE(family);
    TrimInputs in = Inputs(family, 0x72, 2400);
    in.set_frequency = 0;
    EXPECT_EQ(MakeTrimProcedure(in)->Start().status, TrimStatus::kUnusable);
  }
  // Procedure 4 aims at F too.
  TrimInputs in = Inputs(27, 0x72, 2400);
  in.measured_frequency = -1;
  EXPECT_EQ(MakeTrimProcedure(in)->Start().status, TrimStatus::kUnusable);
}

TEST(TrimProcedureRun, NoMeasurementAfterTheEnd) {
  const Oscillator osc = [](int trim, int range) {
    return 10e6 + 78125.0 * trim + 20000.0 * range;
  };
  auto procedure = MakeTrimProcedure(Inputs(45, 0x72, 10000));
  EXPECT_EQ(procedure->Continue(Bytes{0x00, 0x02, 0x07, 0xD0, 0x0F, 0xA0}).status,
            TrimStatus::kUnusable)
      << "a reply before the first measurement";
  const CountAnswer answer{osc, 10000, true, false};
  TrimStep step = procedure->Start();
  while (step.status == TrimStatus::kMeasure)
    step = procedure->Continue(answer(step.measurement.command));
  ASSERT_EQ(step.status, TrimStatus::kChosen);
  EXPECT_EQ(procedure->Continue(answer(Bytes{0x00, 0x02, 0x00, 0x00, 0x80, 0x00})).status,
            TrimStatus::kUnusable);
}

TEST(TrimProcedureRun, Procedure1ClockBeyondTheIntRangeIsUnusable) {
  // At 115,200 baud a count of 65,535 is 13.2 GHz: not a frequency the link can hold.
  const Oscillator osc = [](int trim, int range) {
    return range == 0x98 && trim == 0x80 ? 1e11 : 8e6 + 25000.0 * trim;
  };
  const Session run = Drive(Inputs(25, 0x70, 115200), GroupAnswer{osc, 115200, 2101});
  EXPECT_EQ(run.sent.size(), 1u);
  EXPECT_EQ(run.end.status, TrimStatus::kUnusable);
}

}  // namespace
}  // namespace fw::trim
