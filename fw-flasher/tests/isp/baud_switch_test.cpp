// The baud switch: clock range codes, the rate search, the switch bytes of each
// generator rule, and the exchange of each protocol variant.
#include <gtest/gtest.h>

#include <memory>

#include "isp/baud_generator.h"
#include "isp/prepare_link.h"
#include "isp/switch_baud.h"
#include "tests/support/chip_link.h"

namespace fw {
namespace {

using test::Bytes;

TEST(ClockRangeCodeTest, ByFamilyAndFrequency) {
  struct Case {
    int family, frequency;
    std::uint8_t code;
  } const cases[] = {
      {1, 5999999, 0x83},   {1, 6000000, 0x82},   {16, 11999999, 0x82}, {15, 12000000, 0x81},
      {6, 23999999, 0x81},  {6, 24000000, 0x80},  {11, 999999, 0x87},   {11, 1000000, 0x86},
      {29, 1999999, 0x86},  {29, 2000000, 0x85},  {0, 2999999, 0x85},   {0, 3000000, 0x84},
      {52, 5999999, 0x84},  {52, 6000000, 0x83},  {7, 11999999, 0x83},  {7, 12000000, 0x82},
      {17, 19999999, 0x82}, {17, 20000000, 0x81}, {44, 23999999, 0x81}, {44, 24000000, 0x80},
      {53, 11059200, 0x8B}, {53, 11500000, 0x8C}, {70, 0, 0x80},        {70, 90000000, 0xBF},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ClockRangeCode(c.family, c.frequency), c.code) << c.family << " " << c.frequency;
  }
}

class BaudPlanTest : public ::testing::Test {
 protected:
  BaudSwitchPlan Plan(int family, int generator, int frequency, int highest, int handshake = 2400,
                      int fw = 0x72) {
    chip = std::make_unique<test::ChipLink>();
    chip->Identify(test::FirstChipOf(family), fw);
    chip->link.target.baud_generator_variant = generator;
    chip->link.clock.measured_frequency = frequency;
    chip->link.request.highest_baud = highest;
    chip->link.request.handshake_baud = handshake;
    chip->link.clock.trim_bytes = {0xA1, 0xA2, 0, 0};
    return PlanBaudSwitch(chip->link);
  }
  std::unique_ptr<test::ChipLink> chip;
};

TEST_F(BaudPlanTest, SwitchBytesOfEachGeneratorRule) {
  struct Inputs {
    int family, generator, frequency, highest, handshake, fw;
  };
  struct Case {
    const char* name;
    Inputs in;
    std::uint8_t command;
    Bytes bytes;
    int rate;
  } const cases[] = {
      {"8-bit reload at 115,200",
       {8, 2, 11059200, 115200, 2400, 0x71},
       0x8F,
       {0xC0, 0xFA, 0x3F, 12, 40, 0x83},
       115200},
      {"8-bit reload at 9,600",
       {8, 2, 11059200, 9600, 2400, 0x71},
       0x8F,
       {0xC0, 0xB8, 0x3F, 144, 40, 0x83},
       9600},
      // 22.1184 MHz / 4,800 / 16 = 288 is too much for 8 bits: the clock / 32.
      {"8-bit reload, slower generator clock",
       {11, 2, 22118400, 4800, 57600, 0x71},
       0x8F,
       {0x40, 0x70, 0xBF, 254, 250, 0x81},
       4800},
      {"16-bit reload",
       {12, 3, 11059200, 115200, 9600, 0x71},
       0x8F,
       {0xFF, 0xFD, 0x00, 6, 160, 0x83},
       115200},
      // Bytes 6-7: 65536 - 11,059,200 / 1200 = 0xDC00.
      {"families 25 and 28 before 7.1, below 20 MHz",
       {28, 1, 11059200, 115200, 2400, 0x70},
       0x8E,
       {0x58, 0xA1, 0x04, 0xA0, 0x64, 0xDC, 0x00, 0x83, 0x20, 0xFF, 0x00},
       28800},
      {"families 25 and 28 before 7.1, from 20 MHz, highest 0",
       {28, 1, 22118400, 0, 2400, 0x70},
       0x8E,
       {0x98, 0xA1, 0x04, 0xA0, 0x64, 0xB8, 0x00, 0x81, 0x20, 0xFF, 0x00},
       57600},
      {"plain divider: never above 38,400",
       {30, 0, 11059200, 115200, 2400, 0x72},
       0x01,
       {0xA1, 0xA2, 0xFE, 0xE0, 0xFE, 0x50, 0x83},
       38400},
      {"quarter clock",
       {33, 1, 11059200, 115200, 2400, 0x72},
       0x01,
       {0xA1, 0xA2, 0xFF, 0xE8, 0x00, 0x00, 0x83},
       115200},
      // 6 MHz / 57,600 = 104.2: divisor 104.
      {"quarter clock of a family from 53",
       {56, 1, 24000000, 57600, 2400, 0x72},
       0x01,
       {0xA1, 0xA2, 0xFF, 0x98, 0x00, 0x00, 0x98},
       57600},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Inputs& in = c.in;
    const BaudSwitchPlan plan =
        Plan(in.family, in.generator, in.frequency, in.highest, in.handshake, in.fw);
    ASSERT_EQ(plan.failure, BaudSwitchPlan::Failure::kNone);
    EXPECT_EQ(plan.command, c.command);
    EXPECT_EQ(plan.bytes, c.bytes);
    EXPECT_EQ(plan.rate, c.rate);
  }
}

// Bytes 6-7 of the 8E command, 65536 - F x 0.00083333335, taken as the rate
// search takes its figures, in single precision: 0.00083333335 is 1/1200 as a
// float, and its float product with F rounds to F / 1200 at the crystal clocks
// that 1200 divides (in double or a fused multiply-add the word would come out
// one lower there).
TEST_F(BaudPlanTest, ClockWordOfThe8ECommandInSinglePrecision) {
  struct Case {
    int frequency;
    std::uint16_t word;
  } const cases[] = {
      {11059200, 0xDC00},
      {22118400, 0xB800},
      {18432000, 0xC400},
      {24000000, 0xB1E0},
      // 20,000,000 / 1200 = 16,666.67: the word truncates 48,869.33.
      {20000000, 0xBEE5},
      {6000000, 0xEC78},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.frequency);
    const BaudSwitchPlan plan = Plan(25, 0, c.frequency, 0, 2400, 0x70);
    ASSERT_EQ(plan.command, 0x8E);
    ASSERT_GE(plan.bytes.size(), 7u);
    EXPECT_EQ(plan.bytes[5] << 8 | plan.bytes[6], c.word)
        << std::hex << (plan.bytes[5] << 8 | plan.bytes[6]);
  }
}

TEST_F(BaudPlanTest, NoRateOrUnknownGenerator) {
  struct Case {
    const char* name;
    int family, generator, frequency, highest;
    BaudSwitchPlan::Failure failure;
  } const cases[] = {
      {"clock too slow for the divider's lower limit", 30, 0, 1000, 115200,
       BaudSwitchPlan::Failure::kNoRateFits},
      {"no clock", 33, 1, 0, 115200, BaudSwitchPlan::Failure::kNoRateFits},
      {"8-bit reload with no highest rate", 8, 2, 11059200, 0,
       BaudSwitchPlan::Failure::kNoRateFits},
      {"families 1-24 have no plain divider", 11, 0, 11059200, 115200,
       BaudSwitchPlan::Failure::kUnknownGenerator},
      {"newer families have no 8-bit reload", 30, 2, 11059200, 115200,
       BaudSwitchPlan::Failure::kUnknownGenerator},
      {"variant 7", 53, 7, 11059200, 115200, BaudSwitchPlan::Failure::kUnknownGenerator},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Plan(c.family, c.generator, c.frequency, c.highest).failure, c.failure);
  }
}

TEST(RateSearchTest, TooSmallDivisorsAreSkipped) {
  // 1 MHz / 16: the fast rates would need a divisor below 1.
  const auto chosen = SearchRate(1000000, {1.0f / 16, std::nullopt, 255.0f}, 115200);
  ASSERT_TRUE(chosen);
  EXPECT_EQ(chosen->rate, 4800);
  EXPECT_EQ(chosen->divisor, 13);
}

TEST(RateSearchTest, SlowestRateTheGeneratorHoldsIsTheFloor) {
  // 22.1184 MHz / 16 = 1,382,400: divisors below 255 from 9,600 up; asking for
  // 2,400 still gives 9,600.
  const auto chosen = SearchRate(22118400, {1.0f / 16, std::nullopt, 255.0f}, 2400);
  ASSERT_TRUE(chosen);
  EXPECT_EQ(chosen->rate, 9600);
  EXPECT_EQ(chosen->divisor, 144);
}

class SwitchBaudTest : public ::testing::Test {
 protected:
  void Fresh(int family, int fw, int frequency = 11059200) {
    chip = std::make_unique<test::ChipLink>();
    chip->Identify(test::FirstChipOf(family), fw);
    chip->link.clock.measured_frequency = frequency;
    chip->link.request.highest_baud = 115200;
    chip->link.request.baud_pause_override = 1;
    chip->port.SetLine(LineSettings{});  // the handshake rate
  }
  // The chip answers with `codes` in order, then with the code of the command.
  void Answer(std::vector<std::uint8_t> codes) {
    chip->port.answer = [codes,
                         at = std::size_t{0}](const Bytes& p) mutable -> std::optional<Bytes> {
      if (at < codes.size()) return Bytes{codes[at++]};
      return Bytes{p[0]};
    };
  }
  std::vector<int> Rates() const {
    std::vector<int> rates;
    for (const LineSettings& l : chip->port.lines_set) rates.push_back(l.baud);
    rates.erase(rates.begin());  // the one the test set
    return rates;
  }
  std::vector<std::uint8_t> Codes() const {
    std::vector<std::uint8_t> codes;
    for (const Bytes& p : chip->port.payloads) codes.push_back(p[0]);
    return codes;
  }
  std::unique_ptr<test::ChipLink> chip;
};

TEST_F(SwitchBaudTest, ExchangeOfEachVariant) {
  struct Case {
    const char* name;
    int family, fw;
    std::vector<std::uint8_t> replies;
    std::vector<std::uint8_t> commands;
    std::vector<int> rates;
  } const cases[] = {
      {"variant 0: try, confirm at the new rate, check five times",
       1,
       0x71,
       {0x8F, 0x8E},
       {0x8F, 0x8E, 0x80, 0x80, 0x80, 0x80, 0x80},
       {115200, 2400, 115200}},
      {"variant 1: confirmed with 84", 5, 0x71, {0x8F, 0x84}, {0x8F, 0x8E}, {115200, 2400, 115200}},
      {"variant 3 before 7.2: the port moves after the reply",
       11,
       0x71,
       {0x8F, 0x0E},
       {0x8F, 0x8E},
       {115200, 2400, 115200}},
      {"7.2 on families 1-24: 01 with bytes 1, 2 and 6", 11, 0x72, {0x01}, {0x01}, {115200}},
      {"newer families", 30, 0x72, {0x01}, {0x01}, {38400}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh(c.family, c.fw);
    if (c.family <= 24) chip->link.target.baud_generator_variant = 2;
    Answer(c.replies);
    ASSERT_EQ(SwitchBaud(chip->link), kStepOk) << chip->log.text;
    EXPECT_EQ(Codes(), c.commands);
    EXPECT_EQ(Rates(), c.rates);
    EXPECT_EQ(chip->link.serial.switched_baud, c.rates.back());
    EXPECT_TRUE(chip->Logged("Current Baudrate: " + std::to_string(c.rates.back()) + "\r\n"));
  }
}

TEST_F(SwitchBaudTest, PayloadsOfTheTwoStepSwitch) {
  Fresh(1, 0x71);
  chip->link.target.baud_generator_variant = 2;
  Answer({0x8F, 0x8E});
  ASSERT_EQ(SwitchBaud(chip->link), kStepOk);
  ASSERT_GE(chip->port.payloads.size(), 3u);
  EXPECT_EQ(chip->port.payloads[0], (Bytes{0x8F, 0xC0, 0xFA, 0x3F, 12, 40, 0x82}));
  EXPECT_EQ(chip->port.payloads[1], (Bytes{0x8E, 0xC0, 0xFA, 0x3F, 12, 40}));
  const std::uint16_t id = chip->chip().id;
  EXPECT_EQ(chip->port.payloads[2],
            (Bytes{0x80, 0x00, 0x00, 0x36, 0x01, static_cast<std::uint8_t>(id >> 8),
                   static_cast<std::uint8_t>(id)}));
}

TEST_F(SwitchBaudTest, NoRateFitsStaysAtTheHandshakeRate) {
  Fresh(30, 0x72, 1000);
  Answer({});
  EXPECT_EQ(SwitchBaud(chip->link), kStepRefused);
  EXPECT_TRUE(chip->port.payloads.empty());
  EXPECT_TRUE(Rates().empty());
  EXPECT_EQ(chip->link.serial.switched_baud, 2400);
  EXPECT_TRUE(
      chip->Logged("No baud rate up to 115200 suits the chip's clock of 0.001MHz; "
                   "staying at 2400 baud"))
      << chip->log.text;
}

TEST_F(SwitchBaudTest, WrongRepliesAndStop) {
  Fresh(11, 0x71);
  chip->link.target.baud_generator_variant = 2;
  Answer({0x8F, 0x0D});
  EXPECT_EQ(SwitchBaud(chip->link), kStepRefused);

  Fresh(11, 0x71);
  chip->link.target.baud_generator_variant = 2;
  Answer({0x80});
  EXPECT_EQ(SwitchBaud(chip->link), kStepRefused);
  EXPECT_EQ(Codes(), (std::vector<std::uint8_t>{0x8F})) << "no confirmation after a wrong try";

  Fresh(30, 0x72);
  chip->link.running = false;
  EXPECT_EQ(SwitchBaud(chip->link), kStepStopped);
}

TEST_F(SwitchBaudTest, PauseBeforeTheRateChangeByHandshakeRate) {
  for (const auto& [handshake, pause] :
       {std::pair{2400, 200}, {1200, 200}, {4800, 100}, {9600, 50}, {19200, 10}}) {
    SCOPED_TRACE(handshake);
    Fresh(5, 0x71);
    chip->link.request.baud_pause_override = 0;
    chip->link.request.handshake_baud = handshake;
    Answer({0x8F, 0x84});
    ASSERT_EQ(SwitchBaud(chip->link), kStepOk);
    // The step's own 10 ms, then one pause before each of the two rate changes
    // that wait for the chip.
    EXPECT_EQ(chip->link.pauses.total_ms, 10 + 2 * pause);
  }
}

TEST(PrepareLinkTest, OnlyVariants1And2) {
  for (const auto& [family, sends] : {std::pair{5, true}, {8, true}, {1, false}, {11, false}}) {
    SCOPED_TRACE(family);
    test::ChipLink chip;
    chip.Identify(test::FirstChipOf(family), 0x71);
    chip.port.answer = [](const Bytes&) -> std::optional<Bytes> { return Bytes{0x8F}; };
    EXPECT_EQ(PrepareLink(chip.link), kStepOk);
    const std::uint16_t id = chip.chip().id;
    const std::vector<Bytes> expected = {{0x50, 0x00, 0x00, 0x36, 0x01,
                                          static_cast<std::uint8_t>(id >> 8),
                                          static_cast<std::uint8_t>(id)}};
    EXPECT_EQ(chip.port.payloads, sends ? expected : std::vector<Bytes>{});
  }
  test::ChipLink chip;
  chip.Identify(test::FirstChipOf(5), 0x71);
  chip.port.answer = [](const Bytes&) -> std::optional<Bytes> { return Bytes{0x8E}; };
  EXPECT_EQ(PrepareLink(chip.link), kStepRefused);
}

}  // namespace
}  // namespace fw
