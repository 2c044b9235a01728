// The trim values of a download through the USB writer, chosen from the
// factory values in the status reply by family, firmware and set frequency.
#include <gtest/gtest.h>

#include <array>
#include <map>

#include "target/chips/factory_trim.h"

namespace fw {
namespace {

// A status reply whose bytes all differ from their neighbours, with the
// chip's own oscillator setting in bytes 1 to 7.
std::array<std::uint8_t, 64> Status(const std::map<int, std::uint8_t>& bytes = {}) {
  std::array<std::uint8_t, 64> s{};
  for (std::size_t k = 0; k < s.size(); ++k) s[k] = static_cast<std::uint8_t>(0x40 + k);
  s[1] = 0x00, s[2] = 0xA8, s[3] = 0xC0, s[4] = 0x00;  // 11,059,200 Hz
  s[5] = 0x9C;                                         // trim
  s[6] = 0x35;                                         // low trim bits
  s[7] = 0x02;                                         // range
  for (const auto& [at, value] : bytes) s[static_cast<std::size_t>(at)] = value;
  return s;
}

// Trim bytes that fall at each base of tables 1 and 3 (20, 22.1184, 24, 27,
// 30, 33.1776, 35, 36.864 MHz): ranges 2, 3, 3, 4, 4, 5, 5, 6.
const std::map<int, std::uint8_t> kFallingTrims = {{42, 0x80}, {25, 0x70}, {26, 0x90}, {43, 0x50},
                                                   {44, 0x60}, {45, 0x10}, {46, 0x20}, {47, 0x05}};

constexpr int kOwnFrequency = 11059200;

struct Case {
  const char* name;
  int family;
  int fw_version;
  int build;
  int set_frequency;
  std::map<int, std::uint8_t> bytes;
  FactoryTrim expected;
};

TEST(FactoryTrimTest, ByFamilyFirmwareAndSetFrequency) {
  // The chip's own setting, packed as each table packs it.
  const FactoryTrim own_plain = {0x9C, 0x35 + 4 * 2, kOwnFrequency};
  const FactoryTrim own_table1 = {0x9C, (2 << 2) + 3, kOwnFrequency};
  const FactoryTrim own_tables23 = {0x9C, (2 << 2) + 0x35, kOwnFrequency};
  const Case cases[] = {
      {"family below 45: bytes 38 and 39 whatever the frequency",
       30,
       0x74,
       0,
       11059200,
       {{38, 0x12}, {39, 0x34}, {8, 0x01}, {9, 0x6E}, {10, 0x36}, {11, 0x00}},
       {0x12, 0x34, 24000000}},
      {"table 1: 11.0592 MHz from 22.1184 MHz, whose range is 3",
       50,
       0x74,
       0,
       11059200,
       {{42, 0x80}, {25, 0x70}},
       {0x70, 3 + 4 * 2, 11059200}},
      {"table 1: 0.37 % above 11.0592 MHz still matches",
       50,
       0x74,
       0,
       11100000,
       {{42, 0x80}, {25, 0x70}},
       {0x70, 3 + 4 * 2, 11059200}},
      {"table 1: 1.3 % above matches nothing", 50, 0x74, 0, 11200000, {}, own_table1},
      {"table 1: a later firmware too",
       60,
       0x75,
       0,
       24000000,
       kFallingTrims,
       {0x90, 3 + 4, 24000000}},
      {"table 1: the ranges count every falling trim byte",
       50,
       0x74,
       0,
       36864000,
       kFallingTrims,
       {0x05, 6 + 4, 36864000}},
      {"table 1: 18.432 MHz is 36.864 MHz halved",
       50,
       0x74,
       0,
       18432000,
       kFallingTrims,
       {0x05, 6 + 8, 18432000}},
      {"table 1: 7 MHz is 35 MHz divided by 5",
       50,
       0x74,
       0,
       7000000,
       kFallingTrims,
       {0x20, 5 + 20, 7000000}},
      {"table 1: 0.5 % off is no longer a match", 50, 0x74, 0, 20100000, {}, own_table1},
      {"table 1: just inside 0.5 %", 50, 0x74, 0, 20099999, kFallingTrims, {0x80, 2 + 4, 20000000}},
      {"table 1: no frequency set", 50, 0x74, 0, 0, {}, own_table1},
      {"table 2: 7 MHz is not in it", 50, 0x73, 12, 7000000, {}, own_tables23},
      {"table 2: 18.432 MHz is a base of its own",
       50,
       0x73,
       12,
       18432000,
       {{42, 0x61}},
       {0x61, 4, 18432000}},
      {"table 2: 20 MHz has its trim byte at 43",
       52,
       0x73,
       13,
       5000000,
       {{43, 0x62}},
       {0x62, 16, 5000000}},
      {"table 2: 27 MHz at 44", 50, 0x73, 12, 9000000, {{44, 0x63}}, {0x63, 12, 9000000}},
      {"table 3: 7 MHz from 35 MHz, with the high code bit",
       53,
       0x73,
       12,
       7000000,
       {{46, 0x64}},
       {0x64, 128 + 20, 7000000}},
      {"table 3: bases below 27 MHz without it",
       60,
       0x73,
       12,
       11059200,
       {{25, 0x65}},
       {0x65, 8, 11059200}},
      {"table 3: 9 MHz from 27 MHz",
       60,
       0x73,
       12,
       9000000,
       {{43, 0x66}},
       {0x66, 128 + 12, 9000000}},
      {"table 3: no match packs as table 2", 60, 0x73, 12, 3000000, {}, own_tables23},
      {"7.3 before build 12: the chip's setting", 50, 0x73, 11, 11059200, {}, own_plain},
      {"7.2: the chip's setting", 50, 0x72, 0, 11059200, {}, own_plain},
      {"the chip's setting wraps in its byte",
       50,
       0x72,
       0,
       11059200,
       {{6, 0xFF}, {7, 0x40}},
       {0x9C, 0xFF, kOwnFrequency}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto s = Status(c.bytes);
    const FactoryTrim trim = ChooseFactoryTrim(s, c.family, c.fw_version, c.build, c.set_frequency);
    EXPECT_EQ(trim.trim_byte_2, c.expected.trim_byte_2);
    EXPECT_EQ(trim.trim_byte_3, c.expected.trim_byte_3);
    EXPECT_EQ(trim.adjusted_frequency, c.expected.adjusted_frequency);
  }
}

TEST(FactoryTrimTest, AStatusReplyTooShortGivesNothing) {
  const auto s = Status();
  const FactoryTrim trim =
      ChooseFactoryTrim(std::span(s).first(kFactoryTrimStatusBytes - 1), 50, 0x74, 0, 11059200);
  EXPECT_EQ(trim.trim_byte_2, 0);
  EXPECT_EQ(trim.trim_byte_3, 0);
  EXPECT_EQ(trim.adjusted_frequency, 0);
}

}  // namespace
}  // namespace fw
