// Downloads with a clock trim over pseudo-terminals into isp-sim's oscillator
// model: one chip of every measuring procedure, trimmed to the set frequency;
// the clock the chip runs at afterwards, the setting its option write
// programmed, and the lines the log reports. Oscillators that cannot be
// trimmed, or not closely enough, end as the download defines.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "isp/serial_download.h"
#include "sim/oscillator_model.h"
#include "tests/support/sim_session.h"

namespace fw {
namespace {

constexpr int kSetFrequency = 11059200;
// The clock the chip runs at before the download: far enough from the set
// frequency that a trim shows.
constexpr int kChipClock = 24000000;
constexpr int kImageLength = 512;
constexpr double kTolerancePercent = 1.0;

// What the chip's option write programmed, as isp-sim reports it.
struct Programmed {
  int trim = -1;
  int range = -1;
  int divider = 1;
  bool locked_48mhz = false;
  bool operator==(const Programmed&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Programmed& p) {
  return out << "trim " << p.trim << ", range " << p.range << ", divider " << p.divider
             << (p.locked_48mhz ? ", locked to 48 MHz" : "");
}

// The setting the trim bytes stand for, as each procedure's chip takes it from
// its option write: trim byte 2 is the trim, trim byte 3 carries range,
// divider and the 48 MHz lock in the procedure's own layout.
using SettingOfTrimBytes = std::function<Programmed(const std::array<std::uint8_t, 4>&)>;

struct TrimDownload {
  const char* name;
  int family;
  int fw;
  SettingOfTrimBytes setting;
};

const TrimDownload kEveryProcedure[] = {
    // Classic sequence: the 8D write carries the range byte and the trim.
    {"procedure 1, family 28 before 7.1", 28, 0x70,
     [](const auto& t) {
       return Programmed{t[2], (t[3] & 0xC0) | 0x18};
     }},
    // Protocol variant 4: the report after the option write shows the trimmed clock.
    {"procedure 1, family 25 before 7.1", 25, 0x70,
     [](const auto& t) {
       return Programmed{t[2], (t[3] & 0xC0) | 0x18};
     }},
    {"procedure 2, family 45", 45, 0x72,
     [](const auto& t) {
       return Programmed{t[2], t[3] & 0x03, t[3] >> 2};
     }},
    // Reports half its oscillator: the counts are doubled below 18 MHz.
    {"procedure 2, family 51", 51, 0x72,
     [](const auto& t) {
       return Programmed{t[2], t[3] & 0x03, t[3] >> 2};
     }},
    {"procedure 3, family 44", 44, 0x72,
     [](const auto& t) {
       return Programmed{t[2], t[3] & 0x03};
     }},
    // The trim decision: the chip runs from its oscillator and the options keep it.
    {"procedure 4, family 30", 30, 0x72,
     [](const auto& t) {
       return Programmed{t[2], t[3] & 0xC0};
     }},
    {"procedure 5, family 53 before 7.4", 53, 0x73,
     [](const auto& t) {
       return Programmed{t[2], t[3] & 0x83, (t[3] >> 2) & 0x0F, (t[3] & 0x40) != 0};
     }},
    {"procedure 6, family 53 from 7.4", 53, 0x74,
     [](const auto& t) {
       return Programmed{t[2], (t[3] & 0x03) << 4, (t[3] >> 2) & 0x0F, (t[3] & 0x40) != 0};
     }},
};

class TrimDownloadTest : public ::testing::Test {
 protected:
  void Start(int family, int fw, sim::OscillatorConfig oscillator = {}, int handshake_baud = 2400) {
    model = std::make_unique<sim::OscillatorModel>(oscillator);
    const int index = test::ChipOfFamily(family);
    ASSERT_GT(index, 0);
    sim::SimChipConfig chip;
    chip.chip_index = index;
    chip.fw_version = fw;
    chip.frequency = kChipClock;
    sim::SimRunConfig run;
    run.measurement = model.get();
    run.on_note = [this](const std::string& note) { notes += note + "\n"; };
    notes.clear();
    session = std::make_unique<test::SimSession>(chip, sim::SimBoardConfig{}, std::move(run));
    session->Open(index);
    IspLink& link = session->link;
    link.image.image_length = kImageLength;
    for (int i = 0; i < kImageLength; ++i) {
      link.image.image_source[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    link.image.option_bytes[0] = 0xFF;   // run from the internal oscillator
    link.image.option_bytes[15] = 0x00;  // no chip parameters at the top
    link.request.highest_baud = 115200;
    link.request.handshake_baud = handshake_baud;
    link.request.set_frequency = kSetFrequency;
  }
  int Run() {
    test::Countdown countdown(session->link, std::chrono::seconds(30));
    return DownloadOnOpenPort(session->link);
  }
  nlohmann::json State() { return nlohmann::json::parse(session->sim().StateJson()); }
  // The chip runs at the setting its option write programmed, that setting is
  // the one the trim chose, and it lies within 1 % of the set frequency. The
  // chip's clock goes to clock.
  void ExpectTrimmedAsChosen(const TrimDownload& c, double& clock) {
    const nlohmann::json state = State();
    ASSERT_FALSE(state["trim"].is_null()) << state.dump(2);
    const Programmed programmed{state["trim"]["trim"], state["trim"]["range"],
                                state["trim"]["divider"], state["trim"]["locked_48mhz"]};
    EXPECT_EQ(programmed, c.setting(session->link.clock.trim_bytes));
    clock = state["clock"];
    EXPECT_NEAR(clock, kSetFrequency, kSetFrequency * kTolerancePercent / 100) << state.dump(2);
  }
  // Message 8015 as the log must show it for the link's figures.
  std::string AdjustedLine() const {
    char line[96];
    std::snprintf(line, sizeof line, "Adjusted frequency: %.3fMHz (%.3f%%)\r\n",
                  session->link.clock.adjusted_frequency / 1e6,
                  static_cast<double>(session->link.clock.trim_error));
    return line;
  }

  std::unique_ptr<sim::OscillatorModel> model;
  std::unique_ptr<test::SimSession> session;
  std::string notes;
};

// At a fast handshake the host measures coarsely (a count stands for some
// 100 kHz at 115,200 baud), and the chip's 24 MHz lies at the edge of a
// clock range.
TEST_F(TrimDownloadTest, EveryProcedureTrimsTheChipToTheSetFrequency) {
  for (const int handshake_baud : {2400, 115200})
    for (const TrimDownload& c : kEveryProcedure) {
      SCOPED_TRACE(c.name + std::string(" at ") + std::to_string(handshake_baud) + " baud");
      Start(c.family, c.fw, {}, handshake_baud);
      ASSERT_EQ(Run(), kStepOk) << session->log.text << notes;
      EXPECT_EQ(notes, "") << "the chip found fault with the host";
      const IspLink& link = session->link;
      ASSERT_TRUE(link.clock.frequency_adjusted) << session->log.text;

      double clock = 0;
      ASSERT_NO_FATAL_FAILURE(ExpectTrimmedAsChosen(c, clock));
      // What the host measured at that setting is what the chip now runs at, as
      // finely as a count resolves it: at most some 1.75 x the handshake rate
      // in Hz (procedure 1), the others the rate or less.
      EXPECT_NEAR(clock, link.clock.adjusted_frequency, 2.0 * handshake_baud);

      EXPECT_LE(std::abs(link.clock.trim_error), kTolerancePercent);
      EXPECT_TRUE(session->Logged("Adjusting frequency ...")) << session->log.text;
      EXPECT_TRUE(session->Logged(AdjustedLine())) << AdjustedLine() << session->log.text;
      EXPECT_TRUE(session->Logged("  Complete !(")) << session->log.text;
      EXPECT_FALSE(session->Logged("Frequerency trim")) << session->log.text;
    }
}

// Procedure 1 interpolates between two measured settings whichever way the
// frequency runs with the trim: an oscillator that falls as the trim rises is
// trimmed like any other.
TEST_F(TrimDownloadTest, ProcedureOneTrimsAnOscillatorThatFallsAsTheTrimRises) {
  sim::OscillatorConfig oscillator;
  oscillator.shape = sim::OscillatorShape::kReversed;
  for (const TrimDownload& c : {kEveryProcedure[0], kEveryProcedure[1]}) {
    SCOPED_TRACE(c.name);
    Start(c.family, c.fw, oscillator);
    ASSERT_EQ(Run(), kStepOk) << session->log.text << notes;
    EXPECT_EQ(notes, "") << "the chip found fault with the host";
    const IspLink& link = session->link;
    ASSERT_TRUE(link.clock.frequency_adjusted) << session->log.text;
    double clock = 0;
    ASSERT_NO_FATAL_FAILURE(ExpectTrimmedAsChosen(c, clock));
    EXPECT_LE(std::abs(link.clock.trim_error), kTolerancePercent);
    EXPECT_TRUE(session->Logged(AdjustedLine())) << AdjustedLine() << session->log.text;
    EXPECT_TRUE(session->Logged("  Complete !(")) << session->log.text;
  }
}

// Oscillators the procedures cannot trim, or not closely enough: each download
// ends with the result defined for it, and the chip keeps the clock it had
// unless a setting was programmed.
TEST_F(TrimDownloadTest, OscillatorsThatCannotBeTrimmedEndAsDefined) {
  using sim::OscillatorShape;
  struct Case {
    const char* name;
    int family;
    int fw;
    OscillatorShape shape;
    int result;
    bool programmed;  // an option write carried a setting
    std::vector<std::string> lines;
  } const cases[] = {
      // The steps are too small to reach the set frequency: the nearest
      // setting is programmed and the download counts, with the trim error.
      {"narrow span, procedure 2",
       45,
       0x72,
       OscillatorShape::kNarrow,
       kStepOk,
       true,
       {"  Program code Complete !(", "  Frequerency trim fail !", "trim error is too large !"}},
      {"narrow span, procedure 6",
       53,
       0x74,
       OscillatorShape::kNarrow,
       kStepOk,
       true,
       {"  Program code Complete !(", "  Frequerency trim fail !", "trim error is too large !"}},
      // No usable span: families 45 and above end the download there.
      {"flat span, procedure 2",
       45,
       0x72,
       OscillatorShape::kFlat,
       kStepFailedLogged,
       false,
       {"Adjusting frequency ... Skipped !!!", "could not be trimmed"}},
      {"reversed span, procedure 5",
       53,
       0x73,
       OscillatorShape::kReversed,
       kStepFailedLogged,
       false,
       {" Skipped !!!", "could not be trimmed"}},
      {"flat span, procedure 6",
       53,
       0x74,
       OscillatorShape::kFlat,
       kStepFailedLogged,
       false,
       {" Skipped !!!", "could not be trimmed"}},
      // Below family 45 the trim decision goes on as for a chip on its
      // external clock, at the chip's own trim and clock, and the download
      // ends with the change of clock source.
      {"narrow span, procedure 4",
       30,
       0x72,
       OscillatorShape::kNarrow,
       kStepFailedLogged,
       true,
       {" Skipped !!!", "Current Baudrate: ", "Programming OPTIONS ... ",
        "Re-power-on to enable the change of the clock source"}},
      {"flat span, procedure 3",
       44,
       0x72,
       OscillatorShape::kFlat,
       kStepFailedLogged,
       true,
       {" Skipped !!!", "could not be trimmed", "Programming OPTIONS ... ",
        "Re-power-on to enable the change of the clock source"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::OscillatorConfig oscillator;
    oscillator.shape = c.shape;
    Start(c.family, c.fw, oscillator);
    EXPECT_EQ(Run(), c.result) << session->log.text << notes;
    for (const std::string& line : c.lines) {
      EXPECT_TRUE(session->Logged(line)) << line << "\n" << session->log.text;
    }
    EXPECT_FALSE(session->Logged("  Complete !(")) << session->log.text;
    const IspLink& link = session->link;
    const nlohmann::json state = State();
    EXPECT_EQ(state["trim"].is_null(), !c.programmed) << state["trim"].dump();
    if (c.result == kStepOk) {
      // Adjusted, but beyond 1 %: the chip runs where the host found it would.
      EXPECT_TRUE(link.clock.frequency_adjusted);
      EXPECT_GT(std::abs(link.clock.trim_error), kTolerancePercent);
      EXPECT_TRUE(session->Logged(AdjustedLine())) << AdjustedLine() << session->log.text;
      const double clock = state["clock"];
      EXPECT_NEAR(clock, link.clock.adjusted_frequency, link.clock.adjusted_frequency * 0.002);
    } else {
      EXPECT_FALSE(link.clock.frequency_adjusted);
      EXPECT_FALSE(session->Logged("Adjusted frequency: ")) << session->log.text;
      if (!c.programmed) {
        EXPECT_EQ(state["clock"], kChipClock);
      }
    }
  }
}

}  // namespace
}  // namespace fw
