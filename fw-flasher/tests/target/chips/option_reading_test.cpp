// The option report in its three parts: reading a record changes nothing,
// describing it changes nothing, and applying it makes exactly the changes the
// reading names; the report after an option write reads the options it is
// handed, and leaves them in the receive buffer.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "isp/link/isp_link.h"
#include "isp/report_after_programming.h"
#include "target/chips/chip_table.h"
#include "target/chips/option_lines.h"
#include "target/chips/option_reading.h"
#include "tests/support/chip_finder.h"
#include "tests/support/string_log.h"

namespace fw {
namespace {

// What a report may change in the link.
struct LinkState {
  std::vector<std::uint8_t> status;
  std::vector<std::uint8_t> receive;
  int measured = 0;
  int adjusted = 0;
  bool laid_out = false;
  bool operator==(const LinkState&) const = default;
};

LinkState StateOf(const IspLink& link) {
  return {{std::begin(link.target.status_record), std::end(link.target.status_record)},
          {std::begin(link.framing.receive_buffer), std::end(link.framing.receive_buffer)},
          link.clock.measured_frequency,
          link.clock.adjusted_frequency,
          link.target.status_laid_out};
}

class OptionReadingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    link.outputs.echo = nullptr;
    link.outputs.log_sink = &log;
    link.request.language = 0;
  }
  void Chip(int index, int fw, bool option_capable = true) {
    ASSERT_GT(index, 0);
    const ChipRecord& r = ChipTable()[static_cast<std::size_t>(index)];
    link.target.chip_index = index;
    link.target.protocol_variant = ProtocolVariant(r);
    std::snprintf(link.target.chip_name, sizeof link.target.chip_name, "%s", r.name);
    link.target.fw_version = fw;
    link.target.fw_letter = 'C';
    link.target.option_capable_firmware = option_capable;
    // A status reply of distinct bytes, also in the receive buffer.
    for (int k = 0; k < TargetIdentity::kStatusRecordSize; ++k) {
      link.target.status_record[k] = static_cast<std::uint8_t>(0x40 + k);
      link.framing.receive_buffer[k] = static_cast<std::uint8_t>(0x40 + k);
    }
  }

  IspLink link;
  test::StringLog log;
};

TEST_F(OptionReadingTest, ReadingAndDescribingChangeNothingApplyingChangesWhatTheReadingNames) {
  struct Case {
    const char* name;
    int chip;
    int fw;
    bool option_capable;
    std::vector<int> status_written;  // positions, in order
    std::vector<int> reply_written;
    bool stores_measured, stores_adjusted;
  } const cases[] = {
      {"F, protocol variant 4: the layout and O1 inverted",
       test::FirstChipOf(25, 4),
       0x72,
       true,
       {1, 2, 3, 13, 2},
       {1, 2, 3, 7, 13},
       true,
       true},
      {"F, other variants: O1 inverted in the status record",
       test::FirstChipOf(28, 3),
       0x70,
       true,
       {24},
       {},
       false,
       false},
      {"G, protocol variant 4: the layout",
       test::FirstChipOf(29, 4),
       0x72,
       true,
       {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 37},
       {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 37},
       true,
       true},
      {"C without capable firmware: the default option bytes",
       test::FindChip([](const ChipRecord& r) {
         return FamilyCode(r) == 7 && (r.flags & chip_flags::kOptionsNeedCapableFirmware) != 0;
       }),
       0x60,
       false,
       {23, 24, 25, 26, 27, 28, 29},
       {},
       true,
       false},
      {"I: the clock alone", test::FirstChipOf(45), 0x72, true, {}, {}, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    link.Reinitialise();
    link.outputs.echo = nullptr;
    link.request.language = 0;
    Chip(c.chip, c.fw, c.option_capable);
    log.text.clear();
    const LinkState before = StateOf(link);

    const OptionReading reading = ReadOptions(link, ReceivedOptions(link));
    EXPECT_EQ(StateOf(link), before) << "reading";
    const std::vector<std::string> lines = DescribeOptions(link, reading);
    EXPECT_EQ(StateOf(link), before) << "describing";
    EXPECT_GT(lines.size(), 4u);
    EXPECT_EQ(log.text, "") << "nothing is logged until the lines are";

    std::vector<int> status_at, reply_at;
    for (const ByteWrite& w : reading.status_writes) status_at.push_back(w.at);
    for (const ByteWrite& w : reading.reply_writes) reply_at.push_back(w.at);
    EXPECT_EQ(status_at, c.status_written);
    EXPECT_EQ(reply_at, c.reply_written);
    EXPECT_EQ(reading.measured_frequency.has_value(), c.stores_measured);
    EXPECT_EQ(reading.adjusted_frequency.has_value(), c.stores_adjusted);

    ApplyOptionReading(link, reading);
    LinkState expected = before;
    for (const ByteWrite& w : reading.status_writes) expected.status[w.at] = w.value;
    for (const ByteWrite& w : reading.reply_writes) expected.receive[w.at] = w.value;
    if (reading.measured_frequency) expected.measured = *reading.measured_frequency;
    if (reading.adjusted_frequency) expected.adjusted = *reading.adjusted_frequency;
    expected.laid_out = reading.lays_out_status;
    EXPECT_EQ(StateOf(link), expected);
    // The reading's copy of the record is the record as the lines read it.
    EXPECT_EQ(std::vector<std::uint8_t>(reading.status.begin(), reading.status.end()),
              expected.status);
  }
}

TEST_F(OptionReadingTest, AFixedFrequencyKeepsTheMeasuredOneWhereTheGroupAllowsIt) {
  for (const auto& [family, kept] : {std::pair{30, true}, {45, false}}) {
    SCOPED_TRACE(family);
    Chip(test::FirstChipOf(family), 0x72);
    link.request.frequency_override = true;
    link.clock.measured_frequency = 12345;
    const OptionReading reading = ReadOptions(link, ReceivedOptions(link));
    ApplyOptionReading(link, reading);
    EXPECT_EQ(link.clock.measured_frequency == 12345, kept);
  }
}

TEST_F(OptionReadingTest, QuietDescriptionIsOneEmptyLineAfterTheFrequencyShownFirst) {
  link.request.quiet_information = true;
  Chip(test::FirstChipOf(25, 4), 0x72);
  const OptionReading reading = ReadOptions(link, ReceivedOptions(link));
  ApplyOptionReading(link, reading);
  ASSERT_TRUE(reading.adjusted_frequency_first);
  const std::vector<std::string> lines = DescribeOptions(link, reading);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind("  . Current frequency: ", 0), 0u) << lines[0];
  EXPECT_EQ(lines[1], "\r\n");

  Chip(test::FirstChipOf(45), 0x72);
  EXPECT_EQ(DescribeOptions(link, ReadOptions(link, ReceivedOptions(link))),
            std::vector<std::string>{"\r\n"});
}

// The USB writer's flow hands the report its layout: the report reads that,
// whatever the receive buffer held, and leaves it in the receive buffer for
// what reads a status reply there.
TEST_F(OptionReadingTest, ReportAfterProgrammingReadsTheLayoutItIsHanded) {
  Chip(test::FirstChipOf(45), 0x74);
  link.framing.send_buffer[0] = 0x04;  // the option write went out
  StatusBytes laid_out;
  laid_out.fill(0xFF);
  laid_out[1] = 0x00;  // IRC frequency 11.0592 MHz
  laid_out[2] = 0xA8;
  laid_out[3] = 0xC0;
  laid_out[4] = 0x00;
  laid_out[15] = 0x00;  // watchdog byte: prescaler 2
  std::fill_n(link.framing.receive_buffer, 64, 0x11);
  ReportProgrammedOptions(link, laid_out);
  EXPECT_NE(log.text.find("  . IRC frequency: 11.059MHz\r\n"), std::string::npos) << log.text;
  EXPECT_NE(log.text.find("  . Watch-Dog-Timer pre-scalar : 2\r\n"), std::string::npos);
  EXPECT_EQ(
      std::vector<std::uint8_t>(link.framing.receive_buffer, link.framing.receive_buffer + 64),
      std::vector<std::uint8_t>(laid_out.begin(), laid_out.end()));
}

}  // namespace
}  // namespace fw
