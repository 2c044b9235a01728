// Option writes shown by the next status reply, the option step's replies, and
// the download password, driven with packets built by hand.
#include <gtest/gtest.h>

#include <map>

#include "tests/sim/sim_chip.h"

namespace fw::sim::test {
namespace {

constexpr std::uint8_t kRefused = ChipSession::kRefused;
const Bytes kClock = {0x00, 0xA8, 0xC0, 0x00};  // 11,059,200 Hz, high byte first

// The 33-byte 8D write of families 7-10 and 17-20 before 7.2.
Bytes Wide33(bool family7, std::uint8_t o0, std::uint8_t o1, std::uint8_t o14, std::uint8_t o4) {
  Bytes p(33, 0xFF);
  p[0] = 0x8D;
  p[1] = p[12] = o0;
  p[2] = p[13] = o1;
  p[3] = p[18] = o14;
  if (family7) p[5] = o4;
  p[10] = o4;
  for (int i = 0; i < 4; ++i) p[6 + i] = p[26 + i] = kClock[i];
  return p;
}

struct OptionCase {
  const char* name;
  int family;
  int fw;
  std::function<Bytes(const SimChip&)> write;
  Bytes reply_head;                    // first bytes of the reply
  Bytes record_in_reply;               // from reply byte 10, when the reply carries it
  std::map<int, std::uint8_t> status;  // status reply positions afterwards
};

TEST(SimOptionsTest, TheNextStatusReplyShowsWhatWasWritten) {
  const OptionCase cases[] = {
      {"one byte from 7.2",
       1,
       0x72,
       [](const SimChip& c) {
         return Concat(c.Guarded({0x04, 0, 0}), {0x5C});
       },
       {0x04, 0x54},
       {},
       {{1, 0x5C}}},
      {"8D X FF F6 FF, variant 0",
       1,
       0x70,
       [](const SimChip&) {
         return Bytes{0x8D, 0x5C, 0xFF, 0xF6, 0xFF};
       },
       {0x8D},
       {0x5C},
       {{19, 0x5C}}},
      {"8D X, family 6",
       6,
       0x70,
       [](const SimChip&) {
         return Bytes{0x8D, 0x48};
       },
       {0x8D},
       {0x48},
       {{19, 0x48}}},
      {"four bytes from 7.2, families 7-10",
       7,
       0x72,
       [](const SimChip& c) {
         return Concat(Concat(c.Guarded({0x04, 0, 0}), kClock), {0xE1, 0xE2, 0xE3, 0xE4});
       },
       {0x04, 0x54},
       {},
       {{5, 0xE1}, {6, 0xE2}, {7, 0xE3}, {8, 0xE4}}},
      {"33 bytes, variant 1",
       7,
       0x70,
       [](const SimChip&) { return Wide33(true, 0xE3, 0xE2, 0xE1, 0xE4); },
       {0x50},
       {0xE3, 0xE2, 0xE1, 0xFF, 0xFF, 0xFF, 0xE4},
       {{23, 0xE3}, {24, 0xE2}, {25, 0xE1}, {29, 0xE4}}},
      {"21 bytes, variant 3",
       11,
       0x70,
       [](const SimChip&) {
         Bytes p(21, 0xFF);
         p[0] = 0x8D, p[1] = 0xE3, p[2] = 0xE2, p[3] = 0xE1, p[9] = 0xE4;
         for (int i = 0; i < 4; ++i) p[17 + i] = kClock[i];
         return p;
       },
       {0x0D, 0x54},
       {0xE3, 0xE2, 0xE1, 0xFF, 0xE4},
       {{23, 0xE3}, {24, 0xE2}, {25, 0xE1}, {27, 0xE4}}},
      {"four bytes from 7.2, families 11-14",
       11,
       0x72,
       [](const SimChip& c) {
         return Concat(Concat(c.Guarded({0x04, 0, 0}), kClock), {0xE4, 0xE1, 0xE2, 0xE3});
       },
       {0x04, 0x54},
       {},
       {{5, 0xE4}, {6, 0xE1}, {7, 0xE2}, {8, 0xE3}}},
      {"20 bytes, families 25 and 28",
       28,
       0x70,
       [](const SimChip&) {
         Bytes p(20, 0xFF);
         p[0] = 0x8D, p[1] = 0x91, p[2] = 0x92, p[3] = 0x93, p[4] = 0x94, p[5] = 0x95, p[13] = 0x9D;
         return p;
       },
       {0x0D, 0x54},
       {0x91, 0x92, 0x93, 0x94, 0x95, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x9D},
       {{23, 0x91}, {27, 0x95}, {35, 0x9D}}},
      {"64-byte block, families below 44",
       30,
       0x72,
       [](const SimChip& c) {
         return Concat(c.Guarded({0x04, 0, 0}), Block(64, {{3, 0x10},
                                                           {22, 0x00},
                                                           {23, 0x00},
                                                           {25, 0xA8},
                                                           {27, 0xC0},
                                                           {29, 0x00},
                                                           {31, 0xFB},
                                                           {55, 0x88},
                                                           {61, 0xC2},
                                                           {62, 0xC1},
                                                           {63, 0xC0}}));
       },
       {0x04, 0x54},
       {},
       {{5, 0xC2},
        {6, 0xC1},
        {7, 0xC0},
        {8, 0x00},
        {9, 0xA8},
        {10, 0xC0},
        {11, 0x00},
        {12, 0xFB},
        {37, 0x88}}},
      {"64-byte block, family 44",
       44,
       0x72,
       [](const SimChip& c) {
         return Concat(c.Guarded({0x04, 0, 0}), Block(64, {{23, 0x00},
                                                           {25, 0xA8},
                                                           {27, 0xC0},
                                                           {29, 0x00},
                                                           {31, 0xFB},
                                                           {60, 0xC3},
                                                           {61, 0xC2},
                                                           {62, 0xC1},
                                                           {63, 0xC1}}));
       },
       {0x04, 0x54},
       {},
       {{1, 0xC3}, {2, 0xC2}, {3, 0xC1}, {4, 0xC1}, {9, 0xA8}, {12, 0xFB}}},
      {"40-byte block, families 45 and above",
       45,
       0x72,
       [](const SimChip& c) {
         return Concat(c.Guarded({0x04, 0, 0}), Block(40, {{24, 0x00},
                                                           {25, 0xA8},
                                                           {27, 0x00},
                                                           {26, 0xC0},
                                                           {32, 0xF9},
                                                           {36, 0xC0},
                                                           {37, 0xC1},
                                                           {38, 0xC2},
                                                           {39, 0xC3}}));
       },
       {0x04, 0x54},
       {},
       {{1, 0x00},
        {2, 0xA8},
        {3, 0xC0},
        {4, 0x00},
        {9, 0xF9},
        {10, 0xC0},
        {11, 0xC1},
        {12, 0xFF},
        {15, 0xC2},
        {16, 0xC3}}},
      {"40-byte block after 04 00 00 before 7.2",
       53,
       0x71,
       [](const SimChip&) {
         return Concat({0x04, 0, 0}, Block(40, {{35, 0xC5}, {36, 0x5A}}));
       },
       {0x04, 0x54},
       {},
       {{10, 0x5A}, {12, 0xC5}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SimChip chip(c.family, c.fw);
    const Bytes before = chip.Status();
    const Bytes reply = chip.Ask(c.write(chip));
    ASSERT_GE(reply.size(), c.reply_head.size());
    EXPECT_EQ(
        Bytes(reply.begin(), reply.begin() + static_cast<std::ptrdiff_t>(c.reply_head.size())),
        c.reply_head);
    if (!c.record_in_reply.empty()) {
      ASSERT_GE(reply.size(), 10 + c.record_in_reply.size());
      EXPECT_EQ(Bytes(reply.begin() + 10,
                      reply.begin() + 10 + static_cast<std::ptrdiff_t>(c.record_in_reply.size())),
                c.record_in_reply);
    }
    EXPECT_TRUE(chip.Notes().empty());
    // The clock count and identity stay; the options show.
    chip.Resynchronise();
    const Bytes after = chip.Status();
    for (const auto& [position, byte] : c.status) {
      EXPECT_EQ(after[static_cast<std::size_t>(position)], byte) << "status byte " << position;
    }
    EXPECT_EQ(Bytes(after.begin() + 13, after.begin() + 15),
              Bytes(before.begin() + 13, before.begin() + 15));
    // Version and id; byte 19 is an option byte of the oldest layouts.
    for (std::size_t at : {17u, 18u, 20u, 21u}) EXPECT_EQ(after[at], before[at]) << at;
  }
}

TEST(SimOptionsTest, VariantZeroConfirmsWithFiftyAndMayAskAgain) {
  SimFaults faults;
  faults.option_resends = 2;
  SimChip chip(1, 0x70, faults);
  EXPECT_EQ(chip.Ask({0x50}), Bytes{kRefused}) << "50 before a write";
  const Bytes write = {0x8D, 0x7D, 0xFF, 0xF6, 0xFF};
  EXPECT_EQ(chip.Ask(write), Bytes{0x81});
  EXPECT_EQ(chip.Status()[19], 0xFF) << "a write asked for again is not kept";
  EXPECT_EQ(chip.Ask(write), Bytes{0x81});
  EXPECT_EQ(chip.Ask(write)[0], 0x8D);
  const Bytes confirm = chip.Ask({0x50});
  ASSERT_GE(confirm.size(), 11u);
  EXPECT_EQ(confirm[0], 0x10);
  EXPECT_EQ(confirm[10], 0x7D);
}

TEST(SimOptionsTest, WritesOutsideTheLayoutAreRefusedAndKeepNothing) {
  struct Case {
    const char* name;
    int family;
    int fw;
    std::function<Bytes(const SimChip&)> write;
  } const cases[] = {
      {"one byte too many", 1, 0x70,
       [](const SimChip&) { return Bytes{0x8D, 0x5C, 0xFF, 0xF6, 0xFF, 0xFF}; }},
      {"8D on a 7.2 boot loader", 1, 0x72,
       [](const SimChip&) { return Bytes{0x8D, 0x5C, 0xFF, 0xF6, 0xFF, 0x00}; }},
      {"copies disagree", 7, 0x70,
       [](const SimChip&) {
         Bytes p = Wide33(true, 1, 2, 3, 4);
         p[13] = 9;
         return p;
       }},
      {"a block byte no family fills", 45, 0x72,
       [](const SimChip& c) {
         return Concat(c.Guarded({0x04, 0, 0}), Block(40, {{0, 0x00}}));
       }},
      {"a 64-byte block where 40 belong", 45, 0x72,
       [](const SimChip& c) {
         return Concat(c.Guarded({0x04, 0, 0}), Block(64, {}));
       }},
      {"without guard bytes", 45, 0x72,
       [](const SimChip&) {
         return Concat({0x04, 0, 0, 0, 0}, Block(40, {}));
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SimChip chip(c.family, c.fw);
    const Bytes before = chip.Status();
    EXPECT_EQ(chip.Ask(c.write(chip)), Bytes{kRefused});
    EXPECT_FALSE(chip.Notes().empty());
    EXPECT_EQ(chip.Status(), before);
    EXPECT_TRUE(chip.memory.option_write.empty());
  }
}

TEST(SimPasswordTest, WrongPasswordsThenTheLock) {
  SimChipConfig config = ConfigOf(45, 0x72);
  config.password = "secret";
  SimChip chip(config, {});
  auto password = [&](const std::string& text) {
    return chip.Ask(Concat(chip.Guarded({0x05, 0, 0}), Bytes(text.begin(), text.end())));
  };
  EXPECT_EQ(password("wrong"), Bytes{0x0E});
  EXPECT_EQ(chip.Ask(chip.Guarded({0x03, 0x00, 0x00})), Bytes{kRefused}) << "no erase without it";
  EXPECT_EQ(password("secret")[0], 0x05);
  EXPECT_EQ(chip.Ask(chip.Guarded({0x03, 0x00, 0x00}))[0], 0x03);

  // The fifth wrong password in a row locks the chip for good.
  for (int i = 0; i < 4; ++i) EXPECT_EQ(password(""), Bytes{0x0E}) << i;
  EXPECT_FALSE(chip.memory.locked);
  EXPECT_EQ(password("secrets"), Bytes{0x0E});
  EXPECT_TRUE(chip.memory.locked);
  EXPECT_EQ(password("secret"), Bytes{0x0F});
  chip.Resynchronise();
  EXPECT_EQ(password("secret"), Bytes{0x0F});
}

TEST(SimPasswordTest, ANewPasswordHoldsFromTheNextDownload) {
  SimChip chip(45, 0x72);
  EXPECT_EQ(chip.Ask(Concat(chip.Guarded({0x05, 0, 0}), {'a', 'n', 'y'}))[0], 0x05) << "none set";
  EXPECT_EQ(chip.Ask(Concat(chip.Guarded({0x07, 0, 0}), {'n', 'e', 'w'})), (Bytes{0x07, 0x54}));
  chip.Resynchronise();
  EXPECT_EQ(chip.Ask(chip.Guarded({0x05, 0, 0})), Bytes{0x0E});
  EXPECT_EQ(chip.Ask(Concat(chip.Guarded({0x05, 0, 0}), {'n', 'e', 'w'}))[0], 0x05);

  SimChipConfig locked = ConfigOf(45, 0x72);
  locked.locked = true;
  SimChip from_start(locked, {});
  EXPECT_EQ(from_start.Ask(from_start.Guarded({0x05, 0, 0})), Bytes{0x0F});
  SimChip old(11, 0x72);
  EXPECT_EQ(old.Ask(Concat(old.Guarded({0x07, 0, 0}), {'x'})), Bytes{kRefused});
}

}  // namespace
}  // namespace fw::sim::test
