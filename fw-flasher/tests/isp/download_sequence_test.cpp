// The trim decision, the report after programming, and the two sequences as
// their steps follow each other, against a chip that takes every command.
#include <gtest/gtest.h>

#include <memory>

#include "isp/download_sequence.h"
#include "isp/report_after_programming.h"
#include "isp/trim_decision.h"
#include "target/chips/report_options.h"
#include "tests/support/chip_link.h"

namespace fw {
namespace {

using test::Bytes;

class SequenceTest : public ::testing::Test {
 protected:
  void Fresh(int family, int fw, int pv = -1) {
    chip = std::make_unique<test::ChipLink>();
    chip->Identify(test::FirstChipOf(family), fw, pv);
    chip->link.request.baud_pause_override = 1;
    chip->link.image.option_bytes[15] = 0x00;
    // A status reply: internal oscillator not running, trim byte 0x77, clock
    // count 4,608 (11,059,200 Hz at 2,400 baud).
    std::uint8_t* r = chip->link.framing.receive_buffer;
    r[4] = 0x77;
    r[7] = 0x00;
    r[13] = 0x12;
    r[14] = 0x00;
    std::copy_n(r, 64, chip->link.target.status_record);
    chip->link.target.reply_length_byte = 60;
  }
  // A newer boot loader that takes every command; `refuse` is answered 00 00.
  void TakeEverything(std::uint8_t refuse = 0xEE) {
    chip->port.answer = [refuse](const Bytes& p) -> std::optional<Bytes> {
      if (p[0] == refuse) return Bytes{0x00, 0x00};
      return Bytes{static_cast<std::uint8_t>(p[0] & 0x0F), 0x54};
    };
  }
  void InternalClock(bool runs, bool wanted) {
    chip->link.framing.receive_buffer[7] = runs ? 0x01 : 0x00;
    chip->link.image.option_bytes[0] = wanted ? 0xFF : 0xFE;
  }
  std::vector<std::uint8_t> Codes() const {
    std::vector<std::uint8_t> codes;
    for (const Bytes& p : chip->port.payloads) codes.push_back(p[0]);
    return codes;
  }
  std::unique_ptr<test::ChipLink> chip;
};

TEST_F(SequenceTest, TrimDecisionTakesTheChipsOwnTrim) {
  Fresh(30, 0x72);
  InternalClock(true, false);
  const TrimDecision d = DecideTrim(chip->link);
  EXPECT_EQ(d.result, kStepOk);
  EXPECT_FALSE(d.clock_source_changes);
  EXPECT_EQ(chip->link.clock.trim_bytes, (std::array<std::uint8_t, 4>{0x77, 0x40, 0x77, 0x40}));
  EXPECT_EQ(chip->link.clock.adjusted_frequency, 11059200);
  EXPECT_EQ(chip->link.clock.measured_frequency, 11059200);
  EXPECT_TRUE(chip->port.payloads.empty());

  Fresh(30, 0x72);
  InternalClock(false, false);
  chip->link.request.frequency_override = true;
  chip->link.clock.measured_frequency = 24000000;
  DecideTrim(chip->link);
  EXPECT_EQ(chip->link.clock.adjusted_frequency, 11059200);
  EXPECT_EQ(chip->link.clock.measured_frequency, 24000000) << "the project fixes it";
}

// Families 25 and 28 under protocol variant 4: the report laid the status out
// anew and put FF over the high byte of the clock count; the chip's clock is
// the one the report took from the count, not FF80 x 2,400 Hz.
TEST_F(SequenceTest, TrimDecisionTakesTheReportsClockFromALaidOutStatus) {
  Fresh(25, 0x72);
  ASSERT_EQ(chip->link.target.protocol_variant, 4);
  std::uint8_t* s = chip->link.target.status_record;
  s[13] = 0xFB;  // 65536 - 1,152: 11,059,200 Hz at 2,400 baud
  s[14] = 0x80;
  std::copy_n(s, 64, chip->link.framing.receive_buffer);
  ReportOptions(chip->link);
  InternalClock(true, false);
  const TrimDecision d = DecideTrim(chip->link);
  EXPECT_EQ(d.result, kStepOk);
  EXPECT_EQ(chip->link.clock.adjusted_frequency, 11059200);
  EXPECT_EQ(chip->link.clock.measured_frequency, 11059200);
}

TEST_F(SequenceTest, TrimDecisionNotesAChangeOfClockSource) {
  Fresh(30, 0x72);
  InternalClock(false, true);
  const TrimDecision d = DecideTrim(chip->link);
  EXPECT_EQ(d.result, kStepOk);
  EXPECT_TRUE(d.clock_source_changes);
  EXPECT_EQ(chip->link.clock.trim_bytes, (std::array<std::uint8_t, 4>{}));
}

TEST_F(SequenceTest, TrimDecisionGoesOnWithoutTrimOnVariant4) {
  Fresh(29, 0x72);
  ASSERT_EQ(chip->link.target.protocol_variant, 4);
  InternalClock(true, true);
  const TrimDecision d = DecideTrim(chip->link);
  EXPECT_EQ(d.result, kStepOk);
  EXPECT_FALSE(d.clock_source_changes);
  EXPECT_EQ(chip->link.clock.trim_bytes, (std::array<std::uint8_t, 4>{}));
  EXPECT_TRUE(chip->log.text.empty());
}

TEST_F(SequenceTest, TrimDecisionTrimsAnInternalClock) {
  for (const auto& [family, runs] : {std::pair{30, true}, {45, false}}) {
    SCOPED_TRACE(family);
    Fresh(family, 0x72);
    InternalClock(runs, true);
    // The trim's first measurement goes out; a wrong reply to it ends the download.
    chip->port.answer = [](const Bytes&) -> std::optional<Bytes> { return Bytes{0x01}; };
    const TrimDecision d = DecideTrim(chip->link);
    EXPECT_EQ(d.result, kStepRefused);
    ASSERT_EQ(chip->port.payloads.size(), 1u);
    EXPECT_EQ(chip->port.payloads[0][0], 0x00) << "a measurement command";
  }
}

TEST_F(SequenceTest, SkippedTrimIsDecidedAgainAsAChangeOfClockSource) {
  Fresh(30, 0x72);
  InternalClock(true, true);
  // Every setting measures the same: the oscillator's span is too narrow to trim.
  chip->port.answer = [](const Bytes&) -> std::optional<Bytes> {
    Bytes reply = {0x00, 0x00};
    for (int i = 0; i < 12; ++i) reply.insert(reply.end(), {0x10, 0x00});
    return reply;
  };
  const TrimDecision d = DecideTrim(chip->link);
  EXPECT_EQ(d.result, kStepOk);
  EXPECT_TRUE(d.clock_source_changes);
  EXPECT_TRUE(chip->Logged(" Skipped !!!")) << chip->log.text;
  // The status reply is back in the receive buffer, marked as on the external clock.
  const std::uint8_t* r = chip->link.framing.receive_buffer;
  EXPECT_EQ(r[7], 0x00);
  EXPECT_EQ(r[4], 0x77);
  EXPECT_EQ(r[64], 60) << "the reply length byte after the 64 status bytes";
  // It goes on at its own trim and clock, as a chip not asked to trim does.
  const std::array<std::uint8_t, 4> own = {0x77, 0x40, 0x77, 0x40};
  EXPECT_EQ(chip->link.clock.trim_bytes, own);
  const int count = r[13] * 256 + r[14];
  EXPECT_EQ(chip->link.clock.adjusted_frequency, count * chip->link.request.handshake_baud);
  EXPECT_EQ(chip->link.clock.measured_frequency, chip->link.clock.adjusted_frequency);
}

TEST_F(SequenceTest, ReportAfterProgrammingOfTheNewerSequence) {
  struct Case {
    const char* name;
    int family, fw;
    std::vector<std::pair<int, int>> rx_from_tx;  // receive position <- send position
    int adjusted_at;
  } const cases[] = {
      {"before 7.2", 30, 0x71, {{5, 64}, {6, 65}, {7, 66}, {12, 34}, {37, 58}}, 8},
      {"7.2, below family 45", 30, 0x72, {{5, 66}, {6, 67}, {7, 68}, {12, 36}, {37, 60}}, 8},
      {"7.2, family 45 up",
       53,
       0x72,
       {{9, 37}, {10, 41}, {11, 42}, {12, 40}, {13, 41}, {14, 42}, {15, 43}, {16, 44}},
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh(c.family, c.fw);
    for (int k = 0; k < 80; ++k) chip->link.framing.send_buffer[k] = static_cast<std::uint8_t>(k);
    chip->link.clock.adjusted_frequency = 0x01020304;
    ReportProgrammedOptions(chip->link, WrittenOptions::kAsSent);
    const std::uint8_t* rx = chip->link.framing.receive_buffer;
    Bytes expected(64, 0xFF);
    for (const auto& [to, from] : c.rx_from_tx)
      expected[static_cast<std::size_t>(to)] = static_cast<std::uint8_t>(from);
    for (int i = 0; i < 4; ++i)
      expected[static_cast<std::size_t>(c.adjusted_at + i)] = static_cast<std::uint8_t>(i + 1);
    EXPECT_EQ(Bytes(rx, rx + 64), expected);
    EXPECT_TRUE(chip->Logged("H/W Option upgrade to:"));
  }
  Fresh(30, 0x72);
  chip->link.request.quiet_information = true;
  ReportProgrammedOptions(chip->link, WrittenOptions::kAsSent);
  EXPECT_FALSE(chip->Logged("H/W Option upgrade to:"));
}

TEST_F(SequenceTest, NewerSequenceOnVariant4EndsWithoutOptions) {
  Fresh(29, 0x72);
  InternalClock(true, false);
  chip->link.image.image_length = 512;
  chip->link.image.image_source[0] = 0x12;
  TakeEverything();
  ASSERT_EQ(RunNewerSequence(chip->link), kStepOk) << chip->log.text;
  // Baud switch, erase, one block; no option write.
  EXPECT_EQ(Codes(), (std::vector<std::uint8_t>{0x01, 0x03, 0x02}));
  EXPECT_EQ(chip->log.text.substr(chip->log.text.size() - 5), "]\r\n\r\n");
}

TEST_F(SequenceTest, NewerSequenceWithUserKeyAndOptions) {
  Fresh(30, 0x72);
  InternalClock(false, false);
  chip->link.image.image_length = 512;
  chip->link.image.image_source[0] = 0x12;
  chip->link.request.user_key_present = true;
  TakeEverything();
  ASSERT_EQ(RunNewerSequence(chip->link), kStepOk) << chip->log.text;
  EXPECT_EQ(Codes(),
            (std::vector<std::uint8_t>{0x01, 0x05, 0x03, 0x26, 0x06, 0x06, 0x06, 0x32, 0x04}));
  EXPECT_TRUE(chip->Logged("H/W Option upgrade to:"));
}

TEST_F(SequenceTest, ChangeOfClockSourceDoesNotCount) {
  Fresh(30, 0x72);
  InternalClock(false, true);
  chip->link.image.image_length = 512;
  TakeEverything();
  EXPECT_EQ(RunNewerSequence(chip->link), kStepFailedLogged);
  EXPECT_EQ(Codes().back(), 0x04) << "the options are written first";
  EXPECT_TRUE(chip->Logged("Re-power-on to enable the change of the clock source !"));
}

TEST_F(SequenceTest, FirstFailureEndsTheSequence) {
  Fresh(30, 0x72);
  InternalClock(false, false);
  chip->link.image.image_length = 512;
  TakeEverything(0x03);
  EXPECT_EQ(RunNewerSequence(chip->link), kStepRefused);
  EXPECT_EQ(Codes(), (std::vector<std::uint8_t>{0x01, 0x05, 0x03}));
}

TEST_F(SequenceTest, ClassicSequenceSkipsOptionsTheFirmwareCannotTake) {
  const auto table = ChipTable();
  int needing = -1;
  for (std::size_t i = 1; i < table.size(); ++i) {
    if (FamilyCode(table[i]) == 11 &&
        (table[i].flags & chip_flags::kOptionsNeedCapableFirmware) != 0) {
      needing = static_cast<int>(i);
      break;
    }
  }
  ASSERT_GT(needing, 0);
  for (const bool capable : {false, true}) {
    SCOPED_TRACE(capable);
    chip = std::make_unique<test::ChipLink>();
    chip->Identify(needing, 0x72);
    chip->link.request.baud_pause_override = 1;
    chip->link.image.option_bytes[15] = 0x00;
    chip->link.target.option_capable_firmware = capable;
    chip->link.image.image_length = 512;
    chip->link.image.image_source[0] = 0x12;
    TakeEverything();
    ASSERT_EQ(RunClassicSequence(chip->link), kStepOk) << chip->log.text;
    EXPECT_EQ(Codes().back(), capable ? 0x04 : 0x32);
    EXPECT_EQ(chip->Logged("H/W Option upgrade to:"), capable);
  }
}

TEST_F(SequenceTest, UnsupportedVersionIsRefused) {
  Fresh(9, 0x57);
  EXPECT_EQ(RunDownloadSequence(chip->link), kStepRefused);
  EXPECT_TRUE(chip->port.payloads.empty());
  EXPECT_TRUE(chip->Logged("This version of the chip is not supported now ."));
}

}  // namespace
}  // namespace fw
