// The option block in each family's layout, byte for byte: every byte the
// layout does not name stays 0xFF.
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <string>
#include <vector>

#include "isp/link/isp_link.h"
#include "target/chips/chip_table.h"
#include "target/chips/option_block.h"
#include "tests/support/chip_finder.h"

namespace fw {
namespace {

// First record of a family, with or without flag bit 2; family 0 is the placeholder.
int ChipOfFamily(int family, bool with_bit2) {
  if (family == 0) return 0;
  return test::FindChip([&](const ChipRecord& r) {
    return FamilyCode(r) == family && ((r.flags & chip_flags::kOptionBlockBit) != 0) == with_bit2;
  });
}

using Layout = std::map<int, std::uint8_t>;

std::array<std::uint8_t, kOptionBlockSize> Expected(const Layout& named) {
  std::array<std::uint8_t, kOptionBlockSize> block;
  block.fill(0xFF);
  for (const auto& [at, value] : named) block[static_cast<std::size_t>(at)] = value;
  return block;
}

class OptionBlockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int k = 0; k < 16; ++k) q()[k] = static_cast<std::uint8_t>(0x10 + k);
    q()[14] = 0x1E;
    q()[16] = 0xF8;  // option flag bits 0-2 clear
    q()[17] = 0x71;
    q()[18] = 0x72;
    link.clock.adjusted_frequency = 11059200;  // 00 A8 C0 00
    link.clock.trim_bytes = {0x01, 0x02, 0x5B, 0xB7};
    link.target.status_record[29] = 0xC3;
    link.target.status_record[32] = 0x99;
    link.request.option_extra_value = 0x1234;
  }
  std::uint8_t* q() { return link.image.option_bytes.data(); }
  int Build(int chip_index, std::array<std::uint8_t, kOptionBlockSize>& block) {
    link.target.chip_index = chip_index;
    return BuildOptionBlock(link, block);
  }

  IspLink link;
};

// Bytes 3, 4, 6, 7 and 22, which every layout has.
Layout Common() { return {{3, 0x10}, {4, 0x71}, {6, 0x10}, {7, 0x72}, {22, 0x00}}; }

Layout With(Layout base, const Layout& more) {
  for (const auto& [at, value] : more) base[at] = value;
  return base;
}

TEST_F(OptionBlockTest, LayoutOfEachFamilyGroup) {
  // K = (Q14 | FC) with bit 2 cleared (flag bit 0 clear) = FA; most layouts send K ^ 02.
  const Layout spread = With(Common(), {{23, 0x00}, {25, 0xA8}, {27, 0xC0}, {29, 0x00}});
  const Layout packed =
      With(Common(), {{24, 0x00}, {25, 0xA8}, {26, 0xC0}, {27, 0x00}, {28, 0x5B}, {32, 0xF8}});
  const Layout options_at_36 = {{36, 0x10}, {37, 0x11}, {38, 0x12}};
  const Layout from_53 = With(With(packed, options_at_36), {{30, 0x0D}, {31, 0x1D}, {35, 0x15}});
  struct Case {
    const char* name;
    std::vector<int> families;
    bool bit2;
    int fw;
    int size;
    Layout named;
  } const cases[] = {
      {"family 44",
       {44},
       false,
       0x72,
       64,
       With(spread, {{31, 0xF8},
                     {32, 0x34},
                     {56, 0xCB},
                     {57, 0x03},
                     {58, 0x5B},
                     {59, 0x99},
                     {60, 0x13},
                     {61, 0x12},
                     {62, 0x11},
                     {63, 0x11}})},
      {"families 45-52 without bit 2: no fourth option byte",
       {45, 52},
       false,
       0x72,
       40,
       With(With(packed, options_at_36), {{29, 0x03}, {30, 0x2D}, {39, 0xFF}})},
      {"families 45-52 with bit 2",
       {45},
       true,
       0x72,
       40,
       With(With(packed, options_at_36), {{29, 0x03}, {30, 0x2D}, {39, 0x13}})},
      {"families 53 up before 7.4", {53}, true, 0x73, 40, With(from_53, {{29, 0x83}, {39, 0x13}})},
      {"families 53 up from 7.4: trim range in bits 4-5",
       {53, 66},
       false,
       0x74,
       40,
       With(from_53, {{29, 0xB0}, {39, 0xFF}})},
      {"families below 44, and 0",
       {30, 43, 0},
       false,
       0x72,
       64,
       With(spread, {{31, 0xF8},
                     {32, 0x34},
                     {55, 0x18},
                     {59, 0x5B},
                     {60, 0xBF},
                     {61, 0x12},
                     {62, 0x11},
                     {63, 0x10}})},
      {"families 25 and 28: K itself, inverted bits, no extra value",
       {25, 28},
       false,
       0x71,
       64,
       With(spread,
            {{31, 0xFA}, {55, 0x18}, {59, 0x5B}, {60, 0xBF}, {61, 0x12}, {62, 0x16}, {63, 0x80}})},
  };
  for (const Case& c : cases) {
    for (const int family : c.families) {
      SCOPED_TRACE(std::string(c.name) + ", family " + std::to_string(family));
      const int chip = ChipOfFamily(family, c.bit2);
      ASSERT_GE(chip, 0);
      link.target.fw_version = c.fw;
      std::array<std::uint8_t, kOptionBlockSize> block{};
      EXPECT_EQ(Build(chip, block), c.size);
      EXPECT_EQ(block, Expected(c.named));
    }
  }
}

TEST_F(OptionBlockTest, OptionFlagsSetLeaveTheirBytesAndKeepBit2OfK) {
  q()[16] = 0xFF;
  std::array<std::uint8_t, kOptionBlockSize> block{};
  Build(ChipOfFamily(30, false), block);
  EXPECT_EQ(block[3], 0x00);
  EXPECT_EQ(block[6], 0x00);
  EXPECT_EQ(block[31], 0xFC);  // (1E | FC) = FE, bit 2 kept, XOR 02
}

TEST_F(OptionBlockTest, NewPasswordClearsBit3OfThePasswordByte) {
  struct Case {
    const char* name;
    bool present;
    int new_length;
    std::uint8_t byte22, byte31;
  } const cases[] = {
      {"no password", false, 0, 0x00, 0xF8},
      {"a password with an empty new one keeps bit 3", true, 0, 0x00, 0xF8},
      {"a new password clears bit 3", true, 6, 0x06, 0xF0},
      {"a new length without the password flag", false, 6, 0x06, 0xF8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    link.request.password_present = c.present;
    link.request.new_password.length = c.new_length;
    std::array<std::uint8_t, kOptionBlockSize> block{};
    Build(ChipOfFamily(44, false), block);
    EXPECT_EQ(block[22], c.byte22);
    EXPECT_EQ(block[31], c.byte31);
  }
}

TEST_F(OptionBlockTest, Family44FrequencyEdgeCase) {
  // Adjusted frequency 11,059,200 spreads to 00 A8 C0 00 at 23, 25, 27, 29.
  std::array<std::uint8_t, kOptionBlockSize> block{};
  Build(ChipOfFamily(44, false), block);
  EXPECT_EQ(block[23], 0x00);
  EXPECT_EQ(block[25], 0xA8);
  EXPECT_EQ(block[27], 0xC0);
  EXPECT_EQ(block[29], 0x00);
  for (int at : {0, 1, 2, 5, 8, 21, 24, 26, 28, 30, 33, 55}) EXPECT_EQ(block[at], 0xFF) << at;
}

}  // namespace
}  // namespace fw
