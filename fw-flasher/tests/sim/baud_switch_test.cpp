// The simulated chip's baud switch: the rate its generator bytes give, and the
// rate each reply goes out at, driven with packets built by hand.
#include <gtest/gtest.h>

#include "tests/sim/sim_chip.h"

namespace fw::sim::test {
namespace {

constexpr std::uint8_t kRefused = ChipSession::kRefused;

TEST(SimBaudTest, OldVariantsTryTheRateThenMoveAndAnswerThere) {
  struct Case {
    const char* name;
    int family;
    Bytes settings;  // bytes 1-5 of 8F and 8E
    std::uint8_t range;
    std::uint8_t confirm;
  } const cases[] = {
      // 11,059,200 / 16 / 6 = 115,200; byte 3 = FF - C0, byte 4 = 2 x 6, byte 5 = 40 at 2,400.
      {"8-bit reload, variant 0", 1, {0xC0, 0xFA, 0x3F, 0x0C, 0x28}, 0x82, 0x8E},
      // 11,059,200 / 32 / 3 = 115,200 with the 16-bit reload 65536 - 3.
      {"16-bit reload, variant 2", 8, {0xFF, 0xFD, 0x00, 0x06, 0x28}, 0x83, 0x84},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SimChip chip(c.family, 0x70);
    const auto trial = chip.Send(Concat(Concat({0x8F}, c.settings), {c.range}));
    ASSERT_EQ(trial.size(), 1u);
    EXPECT_EQ(trial[0].payload, Bytes{0x8F});
    EXPECT_NEAR(trial[0].rate, 115200, 1);
    EXPECT_TRUE(trial[0].await_host);
    EXPECT_EQ(trial[0].rate_after, kHandshakeRate) << "back to the old rate after the trial";

    const auto moved = chip.Send(Concat({0x8E}, c.settings));
    ASSERT_EQ(moved.size(), 1u);
    EXPECT_EQ(moved[0].payload, Bytes{c.confirm});
    EXPECT_NEAR(moved[0].rate, 115200, 1);
    EXPECT_TRUE(moved[0].await_host);
    EXPECT_NEAR(moved[0].rate_after, 115200, 1);
    EXPECT_NEAR(chip.session->rate(), 115200, 1);
  }
  // Variant 0 checks the new rate five times with 80 00 00 36 01 and its id.
  SimChip chip(1, 0x70);
  const std::uint16_t id = chip.traits().id;
  const Bytes check = RateCheck(id);
  EXPECT_EQ(chip.Ask(check), Bytes{0x80});
  Bytes wrong_id = check;
  wrong_id[6] ^= 1;
  EXPECT_EQ(chip.Ask(wrong_id), Bytes{kRefused});
}

TEST(SimBaudTest, NewerVariantsConfirmAtTheOldRateAndMoveAfter) {
  struct Case {
    const char* name;
    int family;
    int fw;
    Bytes command;
    double rate;
    std::uint8_t confirm;
  } const cases[] = {
      {"01 M R C from 7.2, families 1-24", 11, 0x72, {0x01, 0xC0, 0xFA, 0x83}, 115200, 0x01},
      // Generator 1: 11,059,200 / 4 / 24.
      {"generator 1", 45, 0x72, {0x01, 0x00, 0x00, 0xFF, 0xE8, 0x00, 0x00, 0x83}, 115200, 0x01},
      // Generator 0: R = 288, 1.5 R = 432; family 53 gives whole megahertz.
      {"generator 0", 53, 0x72, {0x01, 0x12, 0x34, 0xFE, 0xE0, 0xFE, 0x50, 0x8B}, 38400, 0x01},
      // 11,059,200 / (4 x (256 - A0)) = 28,800; clock word 65536 - 9216.
      {"8E with prescaler, family 28 before 7.1",
       28,
       0x70,
       {0x8E, 0x58, 0x00, 0x04, 0xA0, 0x64, 0xDC, 0x00, 0x83, 0x20, 0xFF, 0x00},
       28800,
       0x0E},
      // A clock measured 2 % high, as a coarse count at a fast handshake gives it:
      // 65536 - 11,280,000 x 0.00083333335.
      {"8E with a clock word 2 % off",
       28,
       0x70,
       {0x8E, 0x58, 0x00, 0x04, 0xA0, 0x64, 0xDB, 0x48, 0x83, 0x20, 0xFF, 0x00},
       28800,
       0x0E},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SimChip chip(c.family, c.fw);
    const auto replies = chip.Send(c.command);
    ASSERT_EQ(replies.size(), 1u) << (chip.Notes().empty() ? "" : chip.Notes().front());
    EXPECT_EQ(replies[0].payload, Bytes{c.confirm});
    EXPECT_EQ(replies[0].rate, kHandshakeRate);
    EXPECT_FALSE(replies[0].await_host);
    EXPECT_NEAR(replies[0].rate_after, c.rate, 1);
  }
}

TEST(SimBaudTest, SettingsThatDoNotFitTheChipAreRefused) {
  struct Case {
    const char* name;
    int family;
    int fw;
    std::vector<Bytes> commands;
  } const cases[] = {
      {"8E without a trial", 8, 0x70, {{0x8E, 0xFF, 0xFD, 0x00, 0x06, 0x28}}},
      {"8E with other settings than the trial",
       8,
       0x70,
       {{0x8F, 0xFF, 0xFD, 0x00, 0x06, 0x28, 0x83}, {0x8E, 0xFF, 0xFC, 0x00, 0x08, 0x28}}},
      {"byte 3 not FF - byte 1", 1, 0x70, {{0x8F, 0xC0, 0xFA, 0x3E, 0x0C, 0x28, 0x82}}},
      {"byte 5 not for 2,400 baud", 1, 0x70, {{0x8F, 0xC0, 0xFA, 0x3F, 0x0C, 0x50, 0x82}}},
      {"no such reload mode", 1, 0x70, {{0x8F, 0xC1, 0xFA, 0x3E, 0x0C, 0x28, 0x82}}},
      {"clock range code for another clock",
       45,
       0x72,
       {{0x01, 0x00, 0x00, 0xFF, 0xE8, 0x00, 0x00, 0x81}}},
      {"second reload word off", 53, 0x72, {{0x01, 0x12, 0x34, 0xFE, 0xE0, 0xFE, 0x60, 0x8B}}},
      {"8F to a 7.2 boot loader", 11, 0x72, {{0x8F, 0xC0, 0xFA, 0x3F, 0x0C, 0x28, 0x83}}},
      // 65536 - 11,610,000 x 0.00083333335: a clock 5 % above the chip's.
      {"8E clock word for another clock",
       28,
       0x70,
       {{0x8E, 0x58, 0x00, 0x04, 0xA0, 0x64, 0xDA, 0x34, 0x83, 0x20, 0xFF, 0x00}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SimChip chip(c.family, c.fw);
    Bytes reply;
    for (const Bytes& command : c.commands) reply = chip.Ask(command);
    EXPECT_EQ(reply, Bytes{kRefused});
    EXPECT_FALSE(chip.Notes().empty());
    EXPECT_EQ(chip.session->rate(), kHandshakeRate);
  }
}

// The host knows the chip's clock only as finely as its counts at the handshake
// rate resolve it: at the edge of a clock range either side's code is taken,
// a code further off is not.
TEST(SimBaudTest, AClockAtARangesEdgeTakesEitherSidesCode) {
  struct Case {
    const char* name;
    int family;
    int fw;
    int clock;
    Bytes command;
    bool taken;
  } const cases[] = {
      // 24,000,000 / 4 / 52: 115,385 baud.
      {"24 MHz named 80", 45, 0x72, 24000000, {0x01, 0, 0, 0xFF, 0xCC, 0, 0, 0x80}, true},
      {"24 MHz named 81", 45, 0x72, 24000000, {0x01, 0, 0, 0xFF, 0xCC, 0, 0, 0x81}, true},
      {"24 MHz named 82", 45, 0x72, 24000000, {0x01, 0, 0, 0xFF, 0xCC, 0, 0, 0x82}, false},
      // 20 MHz with the clock word 65536 - 16,666: below 20 MHz at 28,800 baud
      // (20,000,000 / 7 / 99), or above it at 57,600 (20,000,000 / 4 / 86).
      {"20 MHz named slow",
       28,
       0x70,
       20000000,
       {0x8E, 0x58, 0x00, 0x07, 0x9D, 0x64, 0xBE, 0xE5, 0x83, 0x20, 0xFF, 0x00},
       true},
      {"20 MHz named fast",
       28,
       0x70,
       20000000,
       {0x8E, 0x98, 0x00, 0x04, 0xAA, 0x64, 0xBE, 0xE5, 0x81, 0x20, 0xFF, 0x00},
       true},
      {"20 MHz, bytes 1 and 8 disagree",
       28,
       0x70,
       20000000,
       {0x8E, 0x58, 0x00, 0x07, 0x9D, 0x64, 0xBE, 0xE5, 0x81, 0x20, 0xFF, 0x00},
       false},
      // 11,059,200 Hz is far from 20 MHz: only the slow pair fits.
      {"11 MHz named fast",
       28,
       0x70,
       kClock,
       {0x8E, 0x98, 0x00, 0x02, 0xC0, 0x64, 0xDC, 0x00, 0x81, 0x20, 0xFF, 0x00},
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SimChipConfig config = ConfigOf(c.family, c.fw);
    config.frequency = c.clock;
    SimChip chip(config, {});
    const Bytes reply = chip.Ask(c.command);
    if (c.taken) {
      EXPECT_NE(reply, Bytes{kRefused}) << (chip.Notes().empty() ? "" : chip.Notes().front());
    } else {
      EXPECT_EQ(reply, Bytes{kRefused});
      EXPECT_FALSE(chip.Notes().empty());
    }
  }
}

TEST(SimBaudTest, PrepareAndCloseCarryTheChipId) {
  SimChip chip(5, 0x70);  // variant 1
  const std::uint16_t id = chip.traits().id;
  const auto hi = static_cast<std::uint8_t>(id >> 8);
  const auto lo = static_cast<std::uint8_t>(id);
  EXPECT_EQ(chip.Ask({0x50, 0x00, 0x00, 0x36, 0x01, hi, lo}), Bytes{0x8F});
  EXPECT_EQ(chip.Ask({0x50, 0x00, 0x00, 0x36, 0x02, hi, lo}), Bytes{kRefused});
  EXPECT_EQ(chip.Ask({0x69, 0x00, 0x00, 0x36, 0x01, hi, lo}), Bytes{0x8D});
  EXPECT_TRUE(chip.Send({0x82}).empty()) << "Finish's 82 gets no reply";
}

}  // namespace
}  // namespace fw::sim::test
