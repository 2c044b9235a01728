// TrimClock over an in-memory line to a small responder that answers the
// measurement commands: what goes out (commands, sync bytes), the result codes,
// the log lines and the clock figures left in the link.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "isp/link/isp_link.h"
#include "isp/trim_clock.h"
#include "target/chips/chip_table.h"
#include "tests/support/scripted_port.h"
#include "tests/support/string_log.h"

namespace fw {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The chip's side of the line: takes the packets the link writes, lets `answer`
// build the reply payload (none: the chip stays silent) and sends it framed
// after a few empty reads, so that the link's sync bytes show meanwhile.
class MeasuringChip : public test::ScriptedPort {
 public:
  std::function<std::optional<Bytes>(const Bytes& payload)> answer;
  bool wide = false;  // 16-bit checksums

  int Read(std::uint8_t* buffer, int n) override {
    const int got = quiet_reads_ > 0 ? 0 : ScriptedPort::Read(buffer, n);
    if (got == 0) {
      if (quiet_reads_ > 0) --quiet_reads_;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));  // a read waits on a real line
    }
    return got;
  }

  int Write(const std::uint8_t* buffer, int n) override {
    ScriptedPort::Write(buffer, n);
    const Bytes bytes(buffer, buffer + n);
    // A packet: 46 B9 6A 00 length payload checksum 16.
    if (n >= 7 && bytes[0] == 0x46 && bytes[1] == 0xB9 && bytes[2] == 0x6A) {
      const int payload_size = bytes[4] - (wide ? 6 : 5);
      const Bytes payload(bytes.begin() + 5, bytes.begin() + 5 + payload_size);
      commands.push_back(payload);
      sync_before_reply.emplace_back();
      if (auto reply = answer(payload)) Send(*reply);
    } else if (!sync_before_reply.empty()) {
      sync_before_reply.back().insert(sync_before_reply.back().end(), bytes.begin(), bytes.end());
    }
    return n;
  }

  std::vector<Bytes> commands;
  std::vector<Bytes> sync_before_reply;  // raw bytes written while each reply was awaited

 private:
  void Send(const Bytes& payload) {
    const int length = static_cast<int>(payload.size()) + (wide ? 6 : 5);
    unsigned sum = 0x68 + 0x00 + static_cast<unsigned>(length);
    for (std::uint8_t b : payload) sum += b;
    Bytes frame{0x46, 0xB9, 0x68, 0x00, static_cast<std::uint8_t>(length)};
    frame.insert(frame.end(), payload.begin(), payload.end());
    if (wide) frame.push_back(static_cast<std::uint8_t>(sum >> 8));
    frame.push_back(static_cast<std::uint8_t>(sum));
    frame.push_back(0x16);
    Arrive(frame);
    quiet_reads_ = 3;
  }

  int quiet_reads_ = 0;
};

// Reply code 00, n, and one count per declared pair from the front of a table.
std::function<std::optional<Bytes>(const Bytes&)> FromTable(std::deque<std::vector<int>> table) {
  return [table](const Bytes& command) mutable -> std::optional<Bytes> {
    if (table.empty()) return std::nullopt;
    Bytes reply{0x00, command[1]};
    for (int count : table.front()) {
      reply.push_back(static_cast<std::uint8_t>(count >> 8));
      reply.push_back(static_cast<std::uint8_t>(count));
    }
    table.pop_front();
    return reply;
  };
}

// Frequency of a setting: trim first, then the range selector as sent.
using Oscillator = std::function<double(int trim, int range)>;

// Answers any measurement from an oscillator: count commands (pairs trim,
// range; range first for family 44) with H × count (/ 2 where halved), and the
// 0x65 command with its groups echoed and counted.
std::function<std::optional<Bytes>(const Bytes&)> FromOscillator(Oscillator osc, int baud,
                                                                 bool halved, bool range_first) {
  return [=](const Bytes& c) -> std::optional<Bytes> {
    Bytes reply;
    auto count = [&reply](double v) {
      const auto n = static_cast<int>(std::clamp<double>(std::lround(v), 0, 65535));
      reply.push_back(static_cast<std::uint8_t>(n >> 8));
      reply.push_back(static_cast<std::uint8_t>(n));
    };
    if (c[0] == 0x65) {
      reply.assign(c.begin(), c.begin() + 12);
      for (std::size_t at = 12; at + 4 <= c.size(); at += 4) {
        reply.push_back(c[at]);
        reply.push_back(c[at + 1]);
        count((osc(c[at + 1], c[at]) / 2063 - 6) * 1200 / baud);
      }
      return reply;
    }
    reply = {0x00, c[1]};
    for (int i = 0; i < c[1]; ++i) {
      const int a = c[2 + 2 * i], b = c[3 + 2 * i];
      count((range_first ? osc(b, a) : osc(a, b)) * (halved ? 2 : 1) / baud);
    }
    return reply;
  };
}

int FirstOfFamily(int family) {
  const auto table = ChipTable();
  for (std::size_t i = 1; i < table.size(); ++i) {
    if (FamilyCode(table[i]) == family) return static_cast<int>(i);
  }
  return -1;
}

class TrimClockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    link.outputs.echo = nullptr;
    link.outputs.log_sink = &log;
    link.request.language = kLanguageEnglish;
    link.port = &chip;
    link.running = true;
  }
  void ForChip(int family, int version, int protocol_variant = 3) {
    link.target.chip_index = FirstOfFamily(family);
    ASSERT_GE(link.target.chip_index, 0) << "no chip of family " << family;
    link.target.fw_version = version;
    link.target.protocol_variant = protocol_variant;
    chip.wide = protocol_variant != 0;
  }
  bool Logged(const std::string& text) const { return log.text.find(text) != std::string::npos; }

  MeasuringChip chip;
  IspLink link;
  test::StringLog log;
};

TEST_F(TrimClockTest, FamiliesBelow25TakeNoTrim) {
  ForChip(24, 0x72);
  link.request.set_frequency = 0;  // not even looked at
  EXPECT_EQ(TrimClock(link), kStepOk);
  EXPECT_TRUE(chip.commands.empty());
  EXPECT_TRUE(log.text.empty());
  EXPECT_FALSE(link.clock.frequency_adjusted);
}

TEST_F(TrimClockTest, SetFrequencyAtOrBelowZeroIsRefusedBeforeAnythingIsSent) {
  for (int frequency : {0, -11059200}) {
    SCOPED_TRACE(frequency);
    log.text.clear();
    ForChip(45, 0x72);
    link.request.set_frequency = frequency;
    EXPECT_EQ(TrimClock(link), kStepRefused);
    EXPECT_TRUE(chip.commands.empty());
    EXPECT_TRUE(Logged(std::to_string(frequency) + " Hz")) << log.text;
    EXPECT_FALSE(Logged("Adjusting frequency"));
  }
}

TEST_F(TrimClockTest, Procedure2FromATableOfCounts) {
  ForChip(45, 0x72);
  link.request.handshake_baud = 10000;  // a halved count of 2,000 is 10 MHz
  link.clock.trim_bytes[0] = 0x12;      // not a byte this procedure sets
  std::vector<int> grid;
  for (int trim = 12; trim <= 14; ++trim) {
    for (int range = 0; range < 4; ++range)
      grid.push_back(2000 + 16 * (trim - 12) + 4 * range + 200);
  }
  chip.answer = FromTable({{2000, 4000}, grid});

  ASSERT_EQ(TrimClock(link), kStepOk) << log.text;
  ASSERT_EQ(chip.commands.size(), 2u);
  EXPECT_EQ(chip.commands[0], (Bytes{0x00, 0x02, 0x00, 0x00, 0x80, 0x00}));
  EXPECT_EQ(chip.commands[1], (Bytes{0x00, 0x0C, 12, 0,  12, 1,  12, 2,  12, 3,  13, 0,  13,
                                     1,    13,   2,  13, 3,  14, 0,  14, 1,  14, 2,  14, 3}));
  // Sync bytes 0xFE went out while each reply was awaited.
  for (const Bytes& sync : chip.sync_before_reply) {
    ASSERT_FALSE(sync.empty());
    EXPECT_EQ(sync, Bytes(sync.size(), 0xFE));
  }
  // The counts rise by 4 per range and 16 per trim from 2,200 at trim 12:
  // closest to 11,059,200 Hz is 2,212 (11,060,000 Hz), trim 12 range 3.
  EXPECT_EQ(link.clock.adjusted_frequency, 11060000);
  EXPECT_EQ(link.clock.trim_bytes[2], 12);
  EXPECT_EQ(link.clock.trim_bytes[3], (1 << 2) | 3);
  EXPECT_EQ(link.clock.trim_bytes[0], 0x12);
  EXPECT_EQ(link.clock.trim_bytes[1], 0);
  EXPECT_TRUE(link.clock.frequency_adjusted);
  EXPECT_NEAR(link.clock.trim_error, 800.0 / 11059200 * 100, 1e-5);
  EXPECT_EQ(link.clock.measured_frequency, 22118400);  // procedure 2 leaves F alone
  EXPECT_EQ(link.framing.send_buffer[1], 0x0C);        // the last command was built there
  EXPECT_TRUE(Logged("Adjusting frequency ...\t\t\t[0.")) << log.text;
  EXPECT_TRUE(Logged("\"]\r\nAdjusted frequency: 11.060MHz (0.007%)\r\n")) << log.text;
}

TEST_F(TrimClockTest, EveryProcedureWithItsSyncByteAndReplyCode) {
  struct Case {
    const char* name;
    int family, version;
    std::uint8_t sync, command;
    bool halved, range_first;
    Oscillator osc;
    bool replaces_f;
  } const cases[] = {
      {"1", 25, 0x70, 0x7F, 0x65, false, false,
       [](int t, int r) { return r == 0x58 ? 8e6 + 25000.0 * t : 16e6 + 50000.0 * t; }, true},
      {"2", 46, 0x72, 0xFE, 0x00, true, false,
       [](int t, int r) { return 10e6 + 78125.0 * t + 20000.0 * r; }, false},
      {"3", 44, 0x72, 0xFE, 0x00, true, true,
       [](int t, int r) { return 4e6 * (r + 1) + 60000.0 * t; }, false},
      {"4", 29, 0x72, 0xFE, 0x00, true, false,
       [](int t, int r) {
         const double base = r == 0xC0 ? 4e6 : r == 0x80 ? 8e6 : r == 0x40 ? 16e6 : 32e6;
         return base + base / 250 * t;
       },
       true},
      {"5", 53, 0x73, 0x66, 0x00, false, false,
       [](int t, int r) { return (r & 0x80 ? 20e6 : 10e6) + 80000.0 * t + 20000.0 * (r & 3); },
       false},
      {"6", 60, 0x74, 0xFE, 0x00, false, false,
       [](int t, int r) {
         const double base = 5e6 * (1 << (r >> 4));
         return base + base / 250 * t;
       },
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("procedure ") + c.name);
    link.Reinitialise();
    link.request.language = kLanguageEnglish;
    chip = MeasuringChip{};
    ForChip(c.family, c.version);
    link.request.handshake_baud = c.family == 25 ? 2400 : 4800;
    chip.answer = FromOscillator(c.osc, link.request.handshake_baud, c.halved, c.range_first);

    ASSERT_EQ(TrimClock(link), kStepOk) << log.text;
    ASSERT_GE(chip.commands.size(), 2u);
    for (const Bytes& command : chip.commands) EXPECT_EQ(command[0], c.command);
    for (const Bytes& sync : chip.sync_before_reply) {
      ASSERT_FALSE(sync.empty());
      EXPECT_EQ(sync, Bytes(sync.size(), c.sync));
    }
    EXPECT_TRUE(link.clock.frequency_adjusted);
    // Each model oscillator is fine enough to land within 1 %.
    EXPECT_LT(std::fabs(link.clock.trim_error), 1.0f);
    EXPECT_EQ(link.clock.measured_frequency != 22118400, c.replaces_f);
  }
}

TEST_F(TrimClockTest, ReplyFailures) {
  struct Case {
    const char* name;
    std::function<std::optional<Bytes>(const Bytes&)> answer;
    StepResult expected;
    const char* logged;
  } const cases[] = {
      {"wrong reply code", [](const Bytes&) { return Bytes{0x01, 0x02, 0x00, 0x10, 0x00, 0x20}; },
       kStepRefused, nullptr},
      // The second count's low byte is missing; the checksum after it is no count.
      {"a count short",
       [](const Bytes&) {
         return Bytes{0x00, 0x02, 0x00, 0x10, 0x00};
       },
       kStepRefused, "too short"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    log.text.clear();
    chip = MeasuringChip{};
    ForChip(45, 0x72);
    chip.answer = c.answer;
    EXPECT_EQ(TrimClock(link), c.expected);
    if (c.logged != nullptr) {
      EXPECT_TRUE(Logged(c.logged)) << log.text;
    }
    EXPECT_FALSE(link.clock.frequency_adjusted);
  }
}

TEST_F(TrimClockTest, SilenceTimesOutAfterProcedure1sTwoSeconds) {
  ForChip(25, 0x70);
  chip.answer = [](const Bytes&) { return std::nullopt; };
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(TrimClock(link), kStepTimedOut);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(2000));
  EXPECT_LT(waited, std::chrono::milliseconds(4000));
  ASSERT_EQ(chip.sync_before_reply.size(), 1u);
  EXPECT_FALSE(chip.sync_before_reply[0].empty());
  EXPECT_EQ(chip.sync_before_reply[0], Bytes(chip.sync_before_reply[0].size(), 0x7F));
}

TEST_F(TrimClockTest, StopEndsTheWait) {
  ForChip(53, 0x74);
  chip.answer = [this](const Bytes&) {
    link.running = false;
    return std::nullopt;
  };
  EXPECT_EQ(TrimClock(link), kStepStopped);
}

TEST_F(TrimClockTest, InBoardModeNoSyncBytesGoOut) {
  ForChip(53, 0x74, 0);
  link.board.mode = true;
  chip.wide = true;
  chip.answer = FromOscillator(
      [](int t, int r) {
        const double base = 5e6 * (1 << (r >> 4));
        return base + base / 250 * t;
      },
      link.request.handshake_baud, false, false);
  EXPECT_EQ(TrimClock(link), kStepOk) << log.text;
  for (const Bytes& sync : chip.sync_before_reply) EXPECT_TRUE(sync.empty());
}

TEST_F(TrimClockTest, OscillatorsThatCannotBeTrimmedLeaveTheClockAlone) {
  struct Case {
    const char* name;
    int family, version;
    int baud;
    std::deque<std::vector<int>> counts;
    bool unusable_line;  // besides " Skipped !!!"
  } const cases[] = {
      // Procedure 4's own limit: 10, 15 and 20 MHz extrapolate to 25 MHz;
      // (25 - 10) / 10 < 2.
      {"span too narrow", 29, 0x72, 100000, {{200, 0, 0, 0, 0, 0, 0, 0, 0, 300, 400}}, false},
      {"procedure 4, p0 of 0", 29, 0x72, 100000, {{0, 0, 0, 0, 0, 0, 0, 0, 0, 300, 400}}, true},
      {"procedure 2, flat", 45, 0x72, 100000, {{2000, 2000}}, true},
      // A halved count is 50 Hz at 100 baud: a span of 100 Hz.
      {"procedure 2, span under 128 Hz", 45, 0x72, 100, {{2000, 2002}}, true},
      {"procedure 5, falling", 53, 0x73, 100000, {{3000, 2000, 3000, 2000, 1000}}, true},
      {"procedure 6, flat", 53, 0x74, 100000, {std::vector<int>(8, 2000)}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    log.text.clear();
    chip = MeasuringChip{};
    ForChip(c.family, c.version);
    link.request.handshake_baud = c.baud;
    link.clock.trim_bytes[2] = 0x33;
    link.clock.adjusted_frequency = 0;
    chip.answer = FromTable(c.counts);
    EXPECT_EQ(TrimClock(link), kStepFailedLogged);
    EXPECT_EQ(chip.commands.size(), 1u);
    EXPECT_TRUE(Logged("Adjusting frequency ... Skipped !!!")) << log.text;
    EXPECT_EQ(Logged("oscillator could not be trimmed"), c.unusable_line) << log.text;
    EXPECT_EQ(link.clock.trim_bytes[2], 0x33);
    EXPECT_EQ(link.clock.adjusted_frequency, 0);
    EXPECT_FALSE(link.clock.frequency_adjusted);
  }
}

TEST_F(TrimClockTest, ChineseLog) {
  link.request.language = kLanguageChinese;
  ForChip(45, 0x72);
  link.request.handshake_baud = 10000;
  chip.answer = FromTable({{2000, 4000}, std::vector<int>(12, 2212)});
  ASSERT_EQ(TrimClock(link), kStepOk);
  EXPECT_TRUE(Logged("开始调节频率 ...")) << log.text;
  EXPECT_TRUE(Logged("调节后的频率: 11.060MHz (0.007%)\r\n")) << log.text;
}

}  // namespace
}  // namespace fw
