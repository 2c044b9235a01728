// The option write: its payload by family and firmware, the replies of each
// protocol variant, the repeat bound, and the new-password exchanges.
#include <gtest/gtest.h>

#include <array>
#include <memory>

#include "isp/program_options.h"
#include "target/chips/option_block.h"
#include "tests/support/chip_link.h"

namespace fw {
namespace {

using test::Bytes;

class OptionWriteTest : public ::testing::Test {
 protected:
  void Fresh(int family, int fw, int build = 0) {
    chip = std::make_unique<test::ChipLink>();
    chip->Identify(test::FirstChipOf(family), fw);
    chip->link.target.fw_build = build;
    chip->link.target.guard = {0x46, 0xB9};
    for (int k = 0; k < 16; ++k) opt()[k] = static_cast<std::uint8_t>(0xF0 + k);
    chip->link.clock.measured_frequency = 11059200;  // 00 A8 C0 00
    chip->link.clock.trim_bytes = {0x01, 0x02, 0x5B, 0xB7};
  }
  std::uint8_t* opt() { return chip->link.image.option_bytes.data(); }
  Bytes Sent(int n) const {
    return {chip->link.framing.send_buffer, chip->link.framing.send_buffer + n};
  }
  // Bytes of length n: 0xFF except the named positions.
  static Bytes With(Bytes b, int at, std::uint8_t value) {
    b[static_cast<std::size_t>(at)] = value;
    return b;
  }
  static Bytes Layout(int n, std::initializer_list<std::pair<int, std::uint8_t>> named) {
    Bytes b(static_cast<std::size_t>(n), 0xFF);
    for (const auto& [at, v] : named) b[static_cast<std::size_t>(at)] = v;
    return b;
  }
  std::unique_ptr<test::ChipLink> chip;
};

TEST_F(OptionWriteTest, PayloadByFamilyAndFirmware) {
  constexpr std::uint8_t f3 = 0x00, f2 = 0xA8, f1 = 0xC0, f0 = 0x00;
  // Families 7-10 and 17-20 before 7.2; byte 5 only on family 7.
  const Bytes family7to10 = Layout(33, {{0, 0x8D},
                                        {1, 0xF0},
                                        {2, 0xF1},
                                        {3, 0xF6},
                                        {6, f3},
                                        {7, f2},
                                        {8, f1},
                                        {9, f0},
                                        {10, 0xF4},
                                        {12, 0xF0},
                                        {13, 0xF1},
                                        {18, 0xF6},
                                        {26, f3},
                                        {27, f2},
                                        {28, f1},
                                        {29, f0}});
  struct Case {
    const char* name;
    int family, fw;
    Bytes payload;
  } const cases[] = {
      {"families 1-5 before 7.2: bit 1 of opt[1] cleared",
       3,
       0x71,
       {0x8D, 0xF1 & ~0x02, 0xFF, 0xF6, 0xFF}},
      {"families 1-5 from 7.2", 15, 0x72, {0x04, 0x00, 0x00, 0x46, 0xB9, 0xF1 & ~0x02}},
      {"family 6", 6, 0x71, {0x8D, 0x40}},
      {"families 7-10 from 7.2",
       9,
       0x72,
       {0x04, 0x00, 0x00, 0x46, 0xB9, f3, f2, f1, f0, 0xFE, 0xF1, 0xF0, 0xF4}},
      {"family 7 before 7.2", 7, 0x71, With(family7to10, 5, 0xF4)},
      {"family 19 before 7.2: no byte 5", 19, 0x71, family7to10},
      {"families 11-14 from 7.2",
       11,
       0x72,
       {0x04, 0x00, 0x00, 0x46, 0xB9, f3, f2, f1, f0, 0xFE, 0xF2, 0xF1, 0xF0}},
      {"families 11-14 before 7.2", 21, 0x71,
       Layout(21, {{0, 0x8D},
                   {1, 0xF0},
                   {2, 0xF1},
                   {3, 0xF2},
                   {9, 0xFE},
                   {17, f3},
                   {18, f2},
                   {19, f1},
                   {20, f0}})},
      {"families 25 and 28 before 7.1", 28, 0x70,
       Layout(20, {{0, 0x8D}, {1, 0xE0}, {2, 0xF6}, {3, 0xF2}, {4, 0xB7}, {5, 0x5B}, {13, 0xFE}})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh(c.family, c.fw);
    const int n = BuildOptionWrite(chip->link);
    EXPECT_EQ(Sent(n), c.payload);
    EXPECT_EQ(Sent(64), [&] {
      Bytes filled = c.payload;
      filled.resize(64, 0xFF);
      return filled;
    }()) << "the rest of the first 64 bytes is 0xFF";
  }
}

TEST_F(OptionWriteTest, BitChangesStayInTheOptionBytes) {
  Fresh(6, 0x71);
  opt()[1] = 0xFF;
  EXPECT_EQ(BuildOptionWrite(chip->link), 2);
  EXPECT_EQ(Sent(2), (Bytes{0x8D, 0x48}));
  EXPECT_EQ(opt()[1], 0x48);

  Fresh(2, 0x71);
  opt()[1] = 0xFF;
  BuildOptionWrite(chip->link);
  EXPECT_EQ(Sent(5), (Bytes{0x8D, 0xFD, 0xFF, 0xF6, 0xFF}));
  EXPECT_EQ(opt()[1], 0xFD);

  Fresh(10, 0x71);
  BuildOptionWrite(chip->link);
  EXPECT_EQ(opt()[14], 0xF6);
}

TEST_F(OptionWriteTest, FamiliesWithTheOptionBlock) {
  struct Case {
    const char* name;
    int family, fw;
    Bytes head;
    int block_at, block_size;
  } const cases[] = {
      {"before 7.2: 04 00 00", 30, 0x71, {0x04, 0x00, 0x00}, 3, 64},
      {"family 28 at 7.1", 28, 0x71, {0x04, 0x00, 0x00}, 3, 64},
      {"from 7.2 with the guard bytes", 53, 0x72, {0x04, 0x00, 0x00, 0x46, 0xB9}, 5, 40},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh(c.family, c.fw);
    const int n = BuildOptionWrite(chip->link);
    EXPECT_EQ(n, c.block_at + c.block_size);
    EXPECT_EQ(Sent(c.block_at), c.head);
    std::array<std::uint8_t, kOptionBlockSize> block{};
    BuildOptionBlock(chip->link, block);
    EXPECT_TRUE(
        std::equal(block.begin(), block.end(), chip->link.framing.send_buffer + c.block_at));
  }
}

class ProgramOptionsTest : public OptionWriteTest {
 protected:
  // Replies in order; afterwards each command is taken as a newer chip takes it.
  void Replies(std::vector<Bytes> replies) {
    chip->port.answer = [replies,
                         at = std::size_t{0}](const Bytes& p) mutable -> std::optional<Bytes> {
      if (at < replies.size()) return replies[at++];
      return Bytes{static_cast<std::uint8_t>(p[0] & 0x0F), 0x54};
    };
  }
  std::vector<std::uint8_t> Codes() const {
    std::vector<std::uint8_t> codes;
    for (const Bytes& p : chip->port.payloads) codes.push_back(p[0]);
    return codes;
  }
  void NewPassword(bool present, std::string text) {
    chip->link.request.password_present = present;
    std::copy(text.begin(), text.end(), chip->link.request.new_password.bytes.begin());
    chip->link.request.new_password.length = static_cast<int>(text.size());
  }
};

TEST_F(ProgramOptionsTest, RepliesOfEachVariant) {
  struct Case {
    const char* name;
    int family, fw;
    std::vector<Bytes> replies;
    StepResult result;
    std::vector<std::uint8_t> commands;
  } const cases[] = {
      {"variant 0 takes 8D, then 50 -> 10", 6, 0x71, {{0x8D}, {0x10}}, kStepOk, {0x8D, 0x50}},
      {"variant 0 takes 80 too", 1, 0x71, {{0x80}, {0x10}}, kStepOk, {0x8D, 0x50}},
      {"variant 0 asked again twice",
       1,
       0x71,
       {{0x81}, {0x81}, {0x8D}, {0x10}},
       kStepOk,
       {0x8D, 0x8D, 0x8D, 0x50}},
      {"variant 0 without the 10", 1, 0x71, {{0x8D}, {0x11}}, kStepRefused, {0x8D, 0x50}},
      {"variant 1 takes 50", 5, 0x71, {{0x50}}, kStepOk, {0x8D}},
      {"variant 2 refuses 8D", 10, 0x71, {{0x8D}}, kStepRefused, {0x8D}},
      {"variant 3: 0D 54", 11, 0x71, {{0x0D, 0x54}}, kStepOk, {0x8D}},
      {"variant 3 without 54", 11, 0x71, {{0x0D, 0x00}}, kStepRefused, {0x8D}},
      {"variant 3, 04 54", 30, 0x72, {{0x04, 0x54}}, kStepOk, {0x04}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh(c.family, c.fw);
    Replies(c.replies);
    EXPECT_EQ(ProgramOptions(chip->link), c.result);
    EXPECT_EQ(Codes(), c.commands);
    EXPECT_EQ(chip->port.bad_packets, 0);
  }
}

TEST_F(ProgramOptionsTest, RepeatsAreBounded) {
  Fresh(1, 0x71);
  chip->port.answer = [](const Bytes&) -> std::optional<Bytes> { return Bytes{0x81}; };
  EXPECT_EQ(ProgramOptions(chip->link), kStepRefused);
  EXPECT_EQ(chip->port.payloads.size(), 1u + kMaxOptionRepeats);
  EXPECT_TRUE(chip->Logged("asked for the same data 8 times"));
}

TEST_F(ProgramOptionsTest, NewPasswordExchanges) {
  struct Case {
    const char* name;
    int fw, build;
    bool present;
    std::string password;
    std::vector<std::uint8_t> commands;
  } const cases[] = {
      {"7.2: the password first", 0x72, 0, true, "new", {0x07, 0x04}},
      {"7.2: the password command even when empty", 0x72, 1, true, "", {0x07, 0x04}},
      {"7.3 build 2: the options first", 0x73, 2, true, "new", {0x04, 0x07}},
      {"7.4: the options first", 0x74, 0, true, "new", {0x04, 0x07}},
      {"7.4 with an empty password: options only", 0x74, 0, true, "", {0x04}},
      {"no password", 0x74, 0, false, "new", {0x04}},
      {"no password at 7.2", 0x72, 0, false, "new", {0x04}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh(53, c.fw, c.build);
    NewPassword(c.present, c.password);
    // The chip answers 07 with its code (7.2) or 07 54, and the options 04 54.
    Replies({});
    ASSERT_EQ(ProgramOptions(chip->link), kStepOk) << chip->log.text;
    EXPECT_EQ(Codes(), c.commands);
    for (const Bytes& p : chip->port.payloads) {
      if (p[0] != 0x07) continue;
      Bytes expected = {0x07, 0x00, 0x00, 0x46, 0xB9};
      expected.insert(expected.end(), c.password.begin(), c.password.end());
      EXPECT_EQ(p, expected);
    }
    // The send buffer still holds the option write for the report that follows.
    EXPECT_EQ(Sent(5), (Bytes{0x04, 0x00, 0x00, 0x46, 0xB9}));
  }
}

TEST_F(ProgramOptionsTest, NewPasswordRefused) {
  // 7.2: the password command must be answered with its own code.
  Fresh(53, 0x72);
  NewPassword(true, "new");
  Replies({{0x04}});
  EXPECT_EQ(ProgramOptions(chip->link), kStepRefused);
  EXPECT_EQ(Codes(), (std::vector<std::uint8_t>{0x07}));

  // 7.4: the options must be answered with 04 before the password goes.
  Fresh(53, 0x74);
  NewPassword(true, "new");
  Replies({{0x07, 0x54}});
  EXPECT_EQ(ProgramOptions(chip->link), kStepRefused);
  EXPECT_EQ(Codes(), (std::vector<std::uint8_t>{0x04}));

  // 7.4: and the password's own reply needs 54.
  Fresh(53, 0x74);
  NewPassword(true, "new");
  Replies({{0x04}, {0x07, 0x00}});
  EXPECT_EQ(ProgramOptions(chip->link), kStepRefused);
  EXPECT_EQ(Codes(), (std::vector<std::uint8_t>{0x04, 0x07}));
}

}  // namespace
}  // namespace fw
