#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "isp/link/isp_link.h"
#include "target/chips/chip_table.h"
#include "target/chips/report_options.h"
#include "tests/support/string_log.h"

namespace fw {
namespace {

// First record of a family, optionally a high-voltage part.
int ChipOf(int family, bool high_voltage = false, std::uint32_t need_flags = 0) {
  const auto table = ChipTable();
  for (std::size_t i = 1; i < table.size(); ++i) {
    const ChipRecord& r = table[i];
    if (FamilyCode(r) == family && IsHighVoltage(r) == high_voltage &&
        (r.flags & need_flags) == need_flags && r.sub_model == 0 && r.id != 0xF55F) {
      return static_cast<int>(i);
    }
  }
  ADD_FAILURE() << "no record for family " << family;
  return 0;
}

class ReportOptionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    link.outputs.echo = nullptr;
    link.outputs.log_sink = &log;
    link.request.language = 0;
  }
  void Chip(int family, bool high_voltage = false, int fw = 0x72, std::uint32_t need_flags = 0) {
    link.target.chip_index = ChipOf(family, high_voltage, need_flags);
    const ChipRecord& r = ChipTable()[static_cast<std::size_t>(link.target.chip_index)];
    link.target.protocol_variant = ProtocolVariant(r);
    std::snprintf(link.target.chip_name, sizeof link.target.chip_name, "%s", r.name);
    link.target.fw_version = fw;
    link.target.fw_letter = 'C';
  }
  void Count(int k, int value) {
    link.target.status_record[k] = static_cast<std::uint8_t>(value >> 8);
    link.target.status_record[k + 1] = static_cast<std::uint8_t>(value);
  }
  // Back to the defaults, with the test's outputs and English.
  void Reset() {
    link.Reinitialise();
    link.outputs.echo = nullptr;
    link.request.language = 0;
  }
  bool Logged(const std::string& line) const { return log.text.find(line) != std::string::npos; }
  std::string Run() {
    log.text.clear();
    ReportOptions(link);
    return log.text;
  }

  IspLink link;
  test::StringLog log;
};

TEST_F(ReportOptionsTest, GroupAClassicCountAndExactReport) {
  Chip(1, false, 0x66);
  link.target.fw_letter = 'A';
  Count(3, 10000);
  link.target.status_record[19] = 0x00;  // every option bit clear
  Run();
  EXPECT_EQ(link.clock.measured_frequency, 41142857);
  EXPECT_EQ(log.text,
            "  . Current clock frequency: 41.143MHz\r\n"
            "  . System use 6T(double speed) mode\r\n"
            "  . Oscillator gain is LOW\r\n"
            "  . Can stop WatchDog only after power-down if WatchDog timer is running\r\n"
            "  . Internal XRAM is DISABLE\r\n"
            "  . ALE pin behaves as I/O pin (P4.5)\r\n"
            "  . P1.0 and P1.1 need to be low for next download\r\n"
            "  . Erase user EEPROM area at next download\r\n"
            "\r\n"
            "  MCU type: " +
                std::string(link.target.chip_name) +
                "\r\n"
                "  F/W version: 6.6A\r\n"
                "\r\n");
}

TEST_F(ReportOptionsTest, TailWithBuildNumberAndTrimFigures) {
  Chip(53);
  link.target.fw_build = 5;
  link.clock.frequency_adjusted = 1;
  link.clock.adjusted_frequency = 24000000;
  link.request.set_frequency = 24000000;
  link.clock.trim_error = 0.125f;
  Run();
  EXPECT_TRUE(Logged("  F/W version: 7.2.5C\r\n"));
  EXPECT_TRUE(
      Logged("\r\n  . Set frequency: 24.000MHz\r\n  . Adjusted frequency: 24.000MHz\r\n"
             "  . Trim error: 0.125%\r\n\r\n"));
  link.clock.adjusted_frequency = 0;
  Run();
  EXPECT_FALSE(Logged("Set frequency"));
}

struct GroupCase {
  const char* name;
  int family;
  bool high_voltage;
  int fw;
  int protocol_variant;                               // -1: the record's
  std::vector<std::pair<int, std::uint8_t>> status;   // S[k] = v
  std::vector<std::pair<int, std::uint8_t>> receive;  // R[k] = v
  int expected_frequency;
  std::vector<const char*> lines;
  std::vector<const char*> absent;
};

TEST_F(ReportOptionsTest, EveryGroupFrequencyAndLines) {
  const std::vector<GroupCase> cases = {
      {"A fw 7.2: count(13) x baud x 12, O0 = S[1]",
       3,
       false,
       0x72,
       -1,
       {{13, 0x01}, {14, 0x80}, {1, 0x11}},
       {},
       384 * 2400 * 12,
       {"  . Current clock frequency: 11.059MHz\r\n", "  . System use 12T mode\r\n",
        "  . Oscillator gain is HIGH\r\n", "  . Erase user EEPROM area at next download\r\n"},
       {}},
      {"B: O0 bit 3 selects 6T",
       6,
       false,
       0x60,
       -1,
       {{3, 0x0A}, {4, 0x80}, {19, 0x08}},
       {},
       2688 * 2400 * 12 / 7,
       {"  . System use 6T(double speed) mode\r\n"},
       {"12T"}},
      {"C fw 7.2: options at S[5..8], high-voltage LVD",
       7,
       true,
       0x72,
       -1,
       {{13, 0x11}, {14, 0x80}, {7, 0x02}, {6, 0x27}, {5, 0x03}, {8, 0x40}},
       {},
       0x1180 * 2400,
       {"  . Current system clock source is external crystal oscillator\r\n",
        "  . Thresh voltage level of the built-in LVD : 3.3 V\r\n",
        "  . Hardware do not enable Watch-Dog-Timer\r\n",
        "  . Watch-Dog-Timer pre-scalar : 256\r\n",
        "  . Watch-Dog-Timer stop count in idle mode\r\n",
        "  . Program can NOT modify the Watch-Dog-Timer scalar\r\n",
        "  . Do not detect the level of P1.0 and P1.1 next download\r\n"},
       {}},
      {"C other part, LVD second entry",
       8,
       false,
       0x72,
       -1,
       {{8, 0x00}},
       {},
       0,
       {"  . Thresh voltage level of the built-in LVD : 2.4 V\r\n"},
       {}},
      {"D: RESET2 and power-on delay",
       10,
       false,
       0x72,
       -1,
       {{7, 0x40}, {8, 0x00}},
       {},
       0,
       {"  . Oscillator gain is HIGH\r\n",
        "  . MCU will reset when the level on RESET2 pin is under 1.33V\r\n",
        "  . Power-on reset, use the extra power-on delay\r\n"},
       {"Thresh voltage"}},
      {"E family 11: RESET2 line, SERIAL",
       11,
       false,
       0x72,
       -1,
       {{8, 0x00}},
       {},
       0,
       {"  . RESET pin behaves as IO pin\r\n",
        "  . MCU will reset when the level on RESET2 pin is under 1.33V\r\n"},
       {"Waiting for oscillator"}},
      {"E family 13: LVD and oscillator wait",
       13,
       true,
       0x72,
       -1,
       {{8, 0x70}},
       {},
       0,
       {"  . Thresh voltage level of the built-in LVD : 3.7 V\r\n",
        "  . Waiting for oscillator stable : 32768\r\n"},
       {}},
      {"E family 24 other part",
       24,
       false,
       0x72,
       -1,
       {{8, 0x10}},
       {},
       0,
       {"  . Thresh voltage level of the built-in LVD : 2.4 V\r\n",
        "  . Waiting for oscillator stable : 8192\r\n"},
       {}},
      {"G family 33 raw options, O5 = 0: last entry",
       33,
       false,
       0x72,
       -1,
       {},
       {{6, 0x00}, {7, 0x00}},
       -1,
       {"  . Thresh voltage level of the built-in LVD : 4.61 V\r\n",
        "  . Current system clock source is external crystal oscillator\r\n",
        "  . P1.0 output LOW level after reset\r\n"},
       {"CPU-Core"}},
      {"G family 33, O5 = 0F: first entry",
       33,
       false,
       0x72,
       -1,
       {},
       {{6, 0x0F}},
       -1,
       {"  . Thresh voltage level of the built-in LVD : 2.19 V\r\n"},
       {}},
      {"G family 32: core voltage index and pin",
       32,
       false,
       0x72,
       3,
       {},
       {{37, 0x03}, {7, 0x08}},
       -1,
       {"  . CPU-Core supply level : 2.38 V\r\n", "  . P3.3 output HIGH level after reset\r\n"},
       {}},
      {"G family 30: eight-entry LVD, IRC frequency",
       30,
       true,
       0x72,
       -1,
       {},
       {{6, 0x05}, {7, 0x01}, {8, 0x01}, {9, 0x6E}, {10, 0x36}, {11, 0x00}},
       -1,
       {"  . Thresh voltage level of the built-in LVD : 3.43 V\r\n",
        "  . Current system clock source is internal IRC oscillator\r\n",
        "  . Current frequency: 24.000MHz\r\n", "  . Oscillator gain is LOW\r\n"},
       {}},
      {"G IRC field all FF is unadjusted",
       30,
       false,
       0x72,
       -1,
       {},
       {{7, 0x01}, {8, 0xFF}, {9, 0xFF}, {10, 0xFF}, {11, 0xFF}},
       -1,
       {"  . IRC is unadjusted\r\n"},
       {"Current frequency"}},
      {"H: always stores, IRC and date",
       44,
       false,
       0x72,
       -1,
       {{13, 0x12}, {14, 0x00}, {42, 0x21}, {43, 0x06}, {44, 0x15}},
       {{4, 0x01}, {8, 0xFF}, {9, 0xFF}, {10, 0xFF}, {11, 0xFF}},
       0x1200 * 2400,
       {"  . Current frequency: 11.059MHz\r\n", "  . IRC is unadjusted\r\n",
        "  . Testing time: 2021-6-15\r\n", "  . P2.0 output LOW level after reset\r\n"},
       {}},
      {"I: IRC frequency, wake-up timer, REFV range",
       45,
       false,
       0x72,
       -1,
       {{13, 0x12}, {14, 0x00}, {23, 0x88}, {24, 0xB8}, {35, 0x05}, {36, 0x14}},
       {{1, 0x01}, {2, 0x51}, {3, 0x80}, {4, 0x00}, {11, 0x01}},
       0x1200 * 2400,
       {"  . IRC frequency: 22.118MHz\r\n", "  . Wakeup Timer frequency: 35.000KHz\r\n",
        "  . Thresh voltage level of the built-in LVD : 2.70 V\r\n",
        "  . Reference voltage: 1300 mV (Range: 1270~1410mV)\r\n", "  . TXD is independent IO\r\n"},
       {"WARNING"}},
      {"J: emulation over a COM pin pair",
       61,
       false,
       0x72,
       -1,
       {},
       {{15, 0x00}, {12, 0xE0}},
       0,
       {"  . ICE function is enabled\r\n", "  . ICE using COM port [P4.3/P4.4]\r\n",
        "  . Reference voltage: 0 mV (Range: 1100~1300mV)\r\n",
        "  WARNING: reference voltage is out of range !!!\r\n"},
       {"TXD"}},
      {"J: emulation over USB",
       61,
       false,
       0x72,
       -1,
       {},
       {{15, 0x00}, {12, 0x00}},
       0,
       {"  . Enable USB-ICE function\r\n"},
       {"COM port"}},
      {"J: emulation off",
       61,
       false,
       0x72,
       -1,
       {},
       {{15, 0x80}},
       0,
       {"  . ICE function is disabled\r\n"},
       {"ICE function is enabled"}},
      {"K: fewer lines",
       70,
       false,
       0x72,
       -1,
       {},
       {{11, 0x03}},
       0,
       {"  . Thresh voltage level of the built-in LVD : 1.90 V\r\n"},
       {"P3.2 and P3.3", "EEPROM area", "485", "password"}},
      {"L family 62: no gain line",
       62,
       false,
       0x72,
       -1,
       {},
       {{11, 0x00}},
       0,
       {"  . Thresh voltage level of the built-in LVD : 3.00 V\r\n"},
       {"Oscillator gain"}},
      {"L family 53: gain line",
       53,
       false,
       0x72,
       -1,
       {},
       {},
       0,
       {"  . Oscillator gain is LOW\r\n"},
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Reset();
    Chip(c.family, c.high_voltage, c.fw);
    if (c.protocol_variant >= 0) link.target.protocol_variant = c.protocol_variant;
    for (auto [k, v] : c.status) link.target.status_record[k] = v;
    for (auto [k, v] : c.receive) link.framing.receive_buffer[k] = v;
    Run();
    if (c.expected_frequency >= 0) {
      EXPECT_EQ(link.clock.measured_frequency, c.expected_frequency);
    }
    for (const char* line : c.lines)
      EXPECT_TRUE(Logged(line)) << line << "\n--- log:\n" << log.text;
    for (const char* text : c.absent) EXPECT_FALSE(Logged(text)) << text;
    EXPECT_TRUE(Logged("  MCU type: " + std::string(link.target.chip_name) + "\r\n"));
  }
}

TEST_F(ReportOptionsTest, FrequencyArithmeticWrapsIn32Bits) {
  Chip(44);
  link.request.handshake_baud = 115200;
  Count(13, 0xFFFF);
  Run();
  // 65535 x 115200 = 7,549,632,000 wraps to -1,040,302,592.
  EXPECT_EQ(link.clock.measured_frequency, -1040302592);

  // Group A classic: the wrapped product is divided by 7 toward zero.
  Chip(1, false, 0x60);
  link.request.handshake_baud = 115200;
  Count(3, 0xFFFF);
  Run();
  const std::int32_t wrapped = static_cast<std::int32_t>(0xFFFFu * 115200u * 12u);
  EXPECT_EQ(link.clock.measured_frequency, wrapped / 7);
}

TEST_F(ReportOptionsTest, OverrideKeepsMeasuredFrequencyExceptWhereAlwaysStored) {
  struct Case {
    int family;
    int protocol_variant;
    bool overwritten;
  } const cases[] = {{1, -1, false},  {6, -1, false}, {7, -1, false}, {10, -1, false},
                     {11, -1, false}, {27, 4, false}, {25, 4, true},  {44, -1, true},
                     {45, -1, true},  {61, -1, true}, {70, -1, true}, {53, -1, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.family);
    Reset();
    Chip(c.family);
    if (c.protocol_variant >= 0) link.target.protocol_variant = c.protocol_variant;
    link.request.frequency_override = 1;
    link.clock.measured_frequency = 12345;
    Count(3, 100);
    Count(13, 100);
    Run();
    EXPECT_EQ(link.clock.measured_frequency != 12345, c.overwritten);
  }
}

TEST_F(ReportOptionsTest, QuietLogsOneEmptyLineButStillStores) {
  Chip(45);
  link.request.quiet_information = 1;
  Count(13, 0x1000);
  EXPECT_EQ(Run(), "\r\n");
  EXPECT_EQ(link.clock.measured_frequency, 0x1000 * 2400);

  // Group F under variant 4 logs its frequency first, and still rewrites the bytes.
  Chip(25);
  ASSERT_EQ(link.target.protocol_variant, 4);
  link.request.quiet_information = 1;
  Count(13, 65536 - 2304);
  link.target.status_record[49] = 0xAB;
  EXPECT_EQ(Run(), "  . Current frequency: 22.118MHz\r\n\r\n");
  EXPECT_EQ(link.clock.measured_frequency, 2304 * 2400 * 4);
  EXPECT_EQ(link.target.status_record[1], 0xAB);
}

TEST_F(ReportOptionsTest, GroupFVariant4Normalisation) {
  for (int fw : {0x72, 0x70}) {
    SCOPED_TRACE(fw);
    Reset();
    Chip(25, false, fw);
    link.request.frequency_override = 1;
    Count(13, 65536 - 1000);
    for (int k = 39; k <= 49; ++k) link.target.status_record[k] = static_cast<std::uint8_t>(k);
    Run();
    const std::uint8_t* s = link.target.status_record;
    const std::uint8_t* r = link.framing.receive_buffer;
    EXPECT_EQ(link.clock.measured_frequency, 1000 * 2400 * 4) << "stored despite the override";
    EXPECT_EQ(link.clock.adjusted_frequency, 1000 * 2400 * 4);
    const int b1 = fw >= 0x72 ? 49 : 41, b2 = fw >= 0x72 ? 48 : 40, b3 = fw >= 0x72 ? 47 : 39;
    EXPECT_EQ(s[1], b1);
    EXPECT_EQ(s[2], b2 ^ 0x07) << "O1 inverted in place";
    EXPECT_EQ(s[3], b3);
    EXPECT_EQ(r[1], b1);
    EXPECT_EQ(r[2], b2);
    EXPECT_EQ(r[3], b3);
    EXPECT_EQ(r[7], b1);
    EXPECT_EQ(s[13], 0xFF);
    EXPECT_EQ(r[13], 0xFF);
  }
}

// The layout overwrites the clock count. The report after the option write (the
// classic sequence of family 25) then shows the clock the trim reached instead
// of reading the overwritten count (which would give 1.229 MHz here).
TEST_F(ReportOptionsTest, Variant4LayoutIsMadeOnceADownload) {
  Chip(25, false, 0x70);
  Count(13, 65536 - 1152);  // 11,059,200 Hz at 2,400 baud
  Run();
  ASSERT_EQ(link.clock.adjusted_frequency, 11059200);
  link.clock.adjusted_frequency = 11049552;
  link.clock.measured_frequency = 22968750;
  link.clock.frequency_adjusted = true;
  link.clock.trim_error = -0.087f;
  link.framing.send_buffer[0] = 0x8D;
  const std::string second = Run();
  EXPECT_NE(second.find("  . Current frequency: 11.050MHz\r\n"), std::string::npos) << second;
  EXPECT_NE(second.find("  . Adjusted frequency: 11.050MHz\r\n"), std::string::npos) << second;
  EXPECT_EQ(link.clock.adjusted_frequency, 11049552);
  EXPECT_EQ(link.clock.measured_frequency, 22968750);
  EXPECT_EQ(link.target.status_record[13], 0xFF);

  Reset();
  Chip(27, false, 0x72);
  Count(13, (262144 - 4608) / 4);
  link.target.status_record[49] = 0x01;  // O6: runs from the internal oscillator
  Run();
  const std::vector<std::uint8_t> laid_out(link.target.status_record,
                                           link.target.status_record + 38);
  ASSERT_EQ(link.clock.measured_frequency, 11059200);
  link.clock.measured_frequency = 11070000;
  Run();
  EXPECT_EQ(std::vector<std::uint8_t>(link.target.status_record, link.target.status_record + 38),
            laid_out);
  EXPECT_EQ(link.clock.measured_frequency, 11070000);
  EXPECT_EQ(link.clock.adjusted_frequency, 11059200);
  EXPECT_TRUE(Logged("  . Current frequency: 11.059MHz")) << log.text;
}

TEST_F(ReportOptionsTest, GroupFInversionSelectsEntryOfBitsAsReceived) {
  for (bool hv : {true, false}) {
    SCOPED_TRACE(hv);
    Reset();
    Chip(28, hv);
    ASSERT_NE(link.target.protocol_variant, 4);
    link.target.status_record[24] = 0x05;  // O1
    Run();
    EXPECT_TRUE(Logged(std::string("  . Thresh voltage level of the built-in LVD : ") +
                       (hv ? "4.05 V" : "2.61 V")));
    EXPECT_EQ(link.target.status_record[24], 0x02);
  }
  // After an option write (request 8D) the options are read from the reply.
  Reset();
  Chip(28);
  link.framing.send_buffer[0] = 0x8D;
  link.framing.receive_buffer[11] = 0x07;
  Run();
  EXPECT_TRUE(Logged("LVD : 3.08 V"));
  EXPECT_EQ(link.framing.receive_buffer[11], 0x00);
}

TEST_F(ReportOptionsTest, GroupGVariant4Normalisation) {
  for (int fw : {0x72, 0x71}) {
    SCOPED_TRACE(fw);
    Reset();
    Chip(27, false, fw);
    ASSERT_EQ(link.target.protocol_variant, 4);
    const int count = (262144 - 4608) / 4;
    Count(13, count);
    for (int k = 23; k <= 49; ++k)
      link.target.status_record[k] = static_cast<std::uint8_t>(0x80 + k);
    Run();
    const std::uint8_t* s = link.target.status_record;
    const std::uint8_t* r = link.framing.receive_buffer;
    const int n = 262144 - 4 * count;
    const int f = n * 2400;
    EXPECT_EQ(link.clock.measured_frequency, f);
    EXPECT_EQ(link.clock.adjusted_frequency, f);
    for (int p = 1; p <= 4; ++p) EXPECT_EQ(s[p], 0x80 + 22 + p);
    for (int p = 5; p <= 7; ++p) EXPECT_EQ(s[p], 0x80 + (fw >= 0x72 ? 42 : 34) + p);
    EXPECT_EQ(s[37], fw >= 0x72 ? 0x80 + 41 : 0xF8);
    EXPECT_EQ(s[8] << 24 | s[9] << 16 | s[10] << 8 | s[11], f);
    EXPECT_EQ(s[12], 0xFF);
    EXPECT_EQ(s[13] << 8 | s[14], n & 0xFFFF);
    for (int p : {1, 5, 8, 12, 13, 37}) EXPECT_EQ(r[p], s[p]) << p;
  }
}

TEST_F(ReportOptionsTest, DefaultOptionBytesWithoutCapableFirmware) {
  Chip(8, true, 0x60, chip_flags::kOptionsNeedCapableFirmware);
  link.target.option_capable_firmware = 0;
  Run();
  const std::uint8_t expected_c[] = {0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xBF};
  EXPECT_EQ(0, std::memcmp(link.target.status_record + 23, expected_c, 7));
  EXPECT_TRUE(Logged("  . Thresh voltage level of the built-in LVD : 3.7 V\r\n"));

  Reset();
  Chip(12, true, 0x60, chip_flags::kOptionsNeedCapableFirmware);
  Run();
  const std::uint8_t expected_e[] = {0xBF, 0xFF, 0xFF, 0xFF, 0xFE};
  EXPECT_EQ(0, std::memcmp(link.target.status_record + 23, expected_e, 5));

  // Capable firmware keeps what the chip reported.
  Reset();
  Chip(8, true, 0x60, chip_flags::kOptionsNeedCapableFirmware);
  link.target.option_capable_firmware = 1;
  Run();
  EXPECT_EQ(link.target.status_record[23], 0x00);
}

TEST_F(ReportOptionsTest, PendingOptionsComeFromTheRequest) {
  Chip(7, false, 0x72);
  link.framing.send_buffer[0] = 0x8D;
  link.framing.send_buffer[11] = 0x00;  // O0: bit 1 clear -> IRC
  link.framing.send_buffer[12] = 0x40;  // O6
  link.clock.measured_frequency = 1234;
  Run();
  EXPECT_EQ(link.clock.measured_frequency, 1234) << "no frequency with new options pending";
  EXPECT_TRUE(Logged("internal IRC oscillator"));
  // F8 was addressed to the board: not options.
  link.framing.send_buffer[0] = 0xF8;
  Count(13, 100);
  Run();
  EXPECT_EQ(link.clock.measured_frequency, 100 * 2400);
}

// After an option write the classic sequence reads the options from the chip's
// reply: bytes past the end of that reply belong to an older frame.
TEST_F(ReportOptionsTest, OptionsPastTheEndOfTheReplyAreNotReported) {
  struct Case {
    const char* name;
    int family;
    int fw;
    int last;  // the last reply byte the group reads
  } const cases[] = {
      {"group A", 1, 0x70, 10},  {"group B", 6, 0x70, 10},  {"group C", 8, 0x71, 16},
      {"group D", 10, 0x71, 16}, {"group E", 11, 0x71, 14}, {"group F", 28, 0x70, 22},
  };
  const std::string not_reported = "  . The MCU did not report its new options back\r\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const bool quiet : {false, true}) {
      for (const int reply_payload : {0, 2, c.last, c.last + 1}) {
        SCOPED_TRACE(testing::Message() << "quiet " << quiet << ", reply of " << reply_payload);
        Reset();
        Chip(c.family, false, c.fw);
        link.request.quiet_information = quiet;
        link.framing.send_buffer[0] = 0x8D;
        std::memset(link.framing.receive_buffer, 0x00, 64);
        log.text.clear();
        ReportOptions(link, reply_payload);
        const std::string tail = "\r\n  MCU type: " + std::string(link.target.chip_name);
        const std::size_t options_end = log.text.find(tail);
        if (quiet) {
          EXPECT_EQ(log.text, "\r\n");
        } else if (reply_payload <= c.last) {
          EXPECT_EQ(log.text.substr(0, options_end), not_reported);
        } else {
          ASSERT_NE(options_end, std::string::npos) << log.text;
          EXPECT_EQ(log.text.find(not_reported), std::string::npos) << log.text;
          EXPECT_GT(options_end, 0u) << "the options the reply carried";
        }
      }
    }
  }
}

TEST_F(ReportOptionsTest, ReferenceVoltageBounds) {
  struct Case {
    int v;
    bool warn;
  } const cases[] = {{1270, false}, {1410, false}, {1269, true}, {1411, true}, {0xFFFF, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.v);
    Chip(45);
    Count(35, c.v);
    Run();
    EXPECT_TRUE(
        Logged("  . Reference voltage: " + std::to_string(c.v) + " mV (Range: 1270~1410mV)\r\n"));
    EXPECT_EQ(Logged("WARNING: reference voltage"), c.warn);
  }
}

TEST_F(ReportOptionsTest, TestDateBounds) {
  struct Case {
    std::uint8_t y, m, d;
    bool logged;
  } const cases[] = {{0x15, 0x01, 0x01, true},  {0x25, 0x12, 0x31, true},
                     {0x14, 0x06, 0x15, false}, {0x26, 0x06, 0x15, false},
                     {0x21, 0x00, 0x15, false}, {0x21, 0x13, 0x15, false},
                     {0x21, 0x06, 0x00, false}, {0x21, 0x06, 0x32, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << int(c.y) << "-" << int(c.m) << "-" << int(c.d));
    Chip(45);
    link.target.status_record[37] = c.y;
    link.target.status_record[38] = c.m;
    link.target.status_record[39] = c.d;
    Run();
    EXPECT_EQ(Logged("Testing time"), c.logged);
  }
  Chip(45);
  link.target.status_record[37] = 0x21, link.target.status_record[38] = 0x10,
  link.target.status_record[39] = 0x05;
  link.request.language = 1;
  Run();
  EXPECT_TRUE(Logged("  . 内部安排测试时间: 2021年10月5日\r\n"));
}

TEST_F(ReportOptionsTest, GroupGAlternateLayoutForIrcNamesAndId) {
  Chip(31);
  Count(29, 1200);
  Count(35, 1000);
  Run();
  EXPECT_TRUE(Logged("  . Reference voltage: 1000 mV"));
  std::snprintf(link.target.chip_name, sizeof link.target.chip_name, "irc15w");
  Run();
  EXPECT_TRUE(Logged("  . Reference voltage: 1200 mV"));
  // The record with id F55F reads the same layout whatever its name.
  int f55f = -1;
  for (std::size_t i = 1; i < ChipTable().size(); ++i) {
    if (ChipTable()[i].id == 0xF55F) f55f = static_cast<int>(i);
  }
  ASSERT_GT(f55f, 0);
  link.target.chip_index = f55f;
  std::snprintf(link.target.chip_name, sizeof link.target.chip_name, "%s", ChipTable()[f55f].name);
  Run();
  EXPECT_TRUE(Logged("  . Reference voltage: 1200 mV"));
}

TEST_F(ReportOptionsTest, SerialNumberLineOnlyWhenBytesDiffer) {
  Chip(45);
  Run();
  EXPECT_FALSE(Logged("MCU ID"));
  const std::uint8_t serial[7] = {0xF1, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07};
  std::memcpy(link.target.chip_serial, serial, 7);
  Run();
  EXPECT_TRUE(
      Logged("MCU ID : F102030405060"
             "7\r\n"));
  Chip(70);
  Run();
  EXPECT_FALSE(Logged("MCU ID")) << "group K has no serial line";
}

}  // namespace
}  // namespace fw
