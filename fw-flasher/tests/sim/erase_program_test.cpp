// The simulated chip's erase and programming, driven with packets built by hand.
#include <gtest/gtest.h>

#include <functional>

#include "tests/sim/sim_chip.h"

namespace fw::sim::test {
namespace {

constexpr std::uint8_t kOld = 0x00;  // what the flash holds before the first erase
constexpr std::uint8_t kRefused = ChipSession::kRefused;

// 84 m S2 S1 S0 Q2 Q1 Q0, eleven zeros, countdown from 80 over `countdown` bytes.
Bytes SizedErase(std::uint8_t mode, std::uint32_t size, std::uint32_t code, int countdown) {
  Bytes p = {0x84,
             mode,
             static_cast<std::uint8_t>(size >> 16),
             static_cast<std::uint8_t>(size >> 8),
             static_cast<std::uint8_t>(size),
             static_cast<std::uint8_t>(code >> 16),
             static_cast<std::uint8_t>(code >> 8),
             static_cast<std::uint8_t>(code)};
  p.insert(p.end(), 11, 0x00);
  for (int i = 0; i < countdown; ++i) p.push_back(static_cast<std::uint8_t>(0x80 - i));
  return p;
}

Bytes SectorErase(std::uint8_t sectors) {
  return {0x84, sectors, 0x33, 0x33, 0x33, 0x33, 0x33, 0x33};
}

// 00 (or 30) p3 p2 p1 p0 00 n data: protocol variants 0-2.
Bytes LongHeaderBlock(std::uint32_t p, const Bytes& data, bool resent = false) {
  Bytes b = {static_cast<std::uint8_t>(resent ? 0x30 : 0x00),
             static_cast<std::uint8_t>(p >> 24),
             static_cast<std::uint8_t>(p >> 16),
             static_cast<std::uint8_t>(p >> 8),
             static_cast<std::uint8_t>(p),
             0x00,
             static_cast<std::uint8_t>(data.size())};
  return Concat(b, data);
}

// K p1 p0 [g1 g2] data: protocol variants 3 and above.
Bytes ShortHeaderBlock(const SimChip& chip, std::uint8_t code, std::uint32_t p, const Bytes& data) {
  const auto hi = static_cast<std::uint8_t>(p >> 8);
  const auto lo = static_cast<std::uint8_t>(p);
  return Concat(chip.traits().fw72() ? chip.Guarded({code, hi, lo}) : Bytes{code, hi, lo}, data);
}

std::uint8_t SumOf(const Bytes& data) {
  unsigned s = 0;
  for (auto b : data) s += b;
  return static_cast<std::uint8_t>(s);
}

bool AllAre(const std::vector<std::uint8_t>& flash, std::size_t from, std::size_t to,
            std::uint8_t value) {
  for (std::size_t i = from; i < to && i < flash.size(); ++i) {
    if (flash[i] != value) return false;
  }
  return true;
}

TEST(SimEraseTest, EachLayoutErasesWhatItNamesAndAnswersForItsVariant) {
  struct Case {
    const char* name;
    int family;
    int fw;
    std::function<std::vector<Bytes>(const SimChip&)> commands;
    std::uint8_t reply;
    std::function<std::uint64_t(const SimChip&)> erased;
  } const cases[] = {
      {"84 N 33..., variant 0", 1, 0x70,
       [](const SimChip&) { return std::vector<Bytes>{SectorErase(3)}; }, 0x80,
       [](const SimChip&) { return 3 * 512; }},
      {"84 N 33..., variant 1", 5, 0x70,
       [](const SimChip&) { return std::vector<Bytes>{SectorErase(2)}; }, 0x00,
       [](const SimChip&) { return 2 * 512; }},
      {"84 sized, beyond the code area, variant 2", 8, 0x70,
       [](const SimChip& c) {
         return std::vector<Bytes>{SizedErase(0x00, c.code_size() + 1024, c.code_size(), 115)};
       },
       0x00, [](const SimChip& c) { return c.code_size() + 1024; }},
      {"84 sized, the code size, variant 3", 11, 0x70,
       [](const SimChip& c) {
         return std::vector<Bytes>{SizedErase(0x00, c.code_size(), c.code_size(), 115)};
       },
       0x04, [](const SimChip& c) { return c.code_size(); }},
      {"84 FF, 53 bytes, whole sectors", 28, 0x70,
       [](const SimChip& c) {
         return std::vector<Bytes>{SizedErase(0xFF, 1000, c.code_size(), 34)};
       },
       0x04, [](const SimChip&) { return 1024; }},
      {"05 then 03 N before 7.2", 45, 0x71,
       [](const SimChip&) {
         return std::vector<Bytes>{{0x05}, {0x03, 0x00}};
       },
       0x03, [](const SimChip& c) { return c.code_size(); }},
      {"password and 03 N 00 g1 g2 from 7.2", 11, 0x72,
       [](const SimChip& c) {
         return std::vector<Bytes>{c.Guarded({0x05, 0x00, 0x00}), c.Guarded({0x03, 0x02, 0x00})};
       },
       0x03, [](const SimChip& c) { return c.code_size() + 1024; }},
      {"guard bytes 46 B9 of the old families", 3, 0x72,
       [](const SimChip&) {
         return std::vector<Bytes>{{0x05, 0x00, 0x00, 0x46, 0xB9}, {0x03, 0x01, 0x00, 0x46, 0xB9}};
       },
       0x03, [](const SimChip& c) { return c.code_size() + 512; }},
      {"variant 4 erases without 05", 27, 0x72,
       [](const SimChip&) {
         return std::vector<Bytes>{{0x03, 0x00, 0x00, 0x5A, 0xA5}};
       },
       0x03, [](const SimChip& c) { return c.code_size(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SimChip chip(c.family, c.fw);
    Bytes reply;
    for (const Bytes& command : c.commands(chip)) reply = chip.Ask(command);
    ASSERT_EQ(reply.size(), 8u);
    EXPECT_EQ(reply[0], c.reply);
    const auto serial = ConfigOf(c.family, c.fw).serial_number;
    EXPECT_EQ(Bytes(reply.begin() + 1, reply.end()), Bytes(serial.begin(), serial.end()));
    const std::size_t erased = c.erased(chip);
    EXPECT_TRUE(AllAre(chip.flash(), 0, erased, 0xFF));
    EXPECT_TRUE(AllAre(chip.flash(), erased, chip.flash().size(), kOld));
    EXPECT_TRUE(chip.Notes().empty());
  }
}

TEST(SimEraseTest, CommandsOutsideTheChipsLayoutAreRefusedAndEraseNothing) {
  struct Case {
    const char* name;
    int family;
    int fw;
    std::function<std::vector<Bytes>(const SimChip&)> commands;
  } const cases[] = {
      {"wrong code size", 8, 0x70,
       [](const SimChip& c) {
         return std::vector<Bytes>{SizedErase(0x00, c.code_size(), c.code_size() - 512, 115)};
       }},
      {"broken countdown", 8, 0x70,
       [](const SimChip& c) {
         Bytes p = SizedErase(0x00, c.code_size(), c.code_size(), 115);
         p[60] ^= 1;
         return std::vector<Bytes>{p};
       }},
      {"size between sectors", 8, 0x70,
       [](const SimChip& c) {
         return std::vector<Bytes>{SizedErase(0x00, c.code_size() + 100, c.code_size(), 115)};
       }},
      {"short countdown", 8, 0x70,
       [](const SimChip& c) {
         return std::vector<Bytes>{SizedErase(0x00, c.code_size(), c.code_size(), 34)};
       }},
      {"filler not 33", 1, 0x70,
       [](const SimChip&) {
         return std::vector<Bytes>{{0x84, 1, 0x33, 0x33, 0x33, 0x34, 0x33, 0x33}};
       }},
      {"84 on a 7.2 boot loader", 11, 0x72,
       [](const SimChip& c) {
         return std::vector<Bytes>{c.Guarded({0x05, 0, 0}), SectorErase(1)};
       }},
      {"03 without 05", 11, 0x72,
       [](const SimChip& c) {
         return std::vector<Bytes>{c.Guarded({0x03, 0x00, 0x00})};
       }},
      {"03 without guard bytes", 11, 0x72,
       [](const SimChip& c) {
         return std::vector<Bytes>{c.Guarded({0x05, 0, 0}), {0x03, 0x00, 0x00, 0x46, 0xB9}};
       }},
      {"03 past the flash", 45, 0x72,
       [](const SimChip& c) {
         return std::vector<Bytes>{c.Guarded({0x05, 0, 0}), c.Guarded({0x03, 0x01, 0x00})};
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SimChip chip(c.family, c.fw);
    Bytes reply;
    for (const Bytes& command : c.commands(chip)) reply = chip.Ask(command);
    EXPECT_EQ(reply, Bytes{kRefused});
    EXPECT_TRUE(AllAre(chip.flash(), 0, chip.flash().size(), kOld));
    EXPECT_FALSE(chip.Notes().empty());
  }
}

TEST(SimProgramTest, BlocksAreAndedSoAShortEraseShowsInTheFlash) {
  SimChip chip(1, 0x70);  // variant 0, blocks of 128
  ASSERT_EQ(chip.Ask(SectorErase(1))[0], 0x80);
  const Bytes a = Pattern(128, 0x11);
  for (std::uint32_t p = 0; p < 640; p += 128) {
    const Bytes reply = chip.Ask(LongHeaderBlock(p, a));
    ASSERT_EQ(reply, (Bytes{0x80, SumOf(a)})) << p;
  }
  const auto& flash = chip.flash();
  EXPECT_EQ(Bytes(flash.begin(), flash.begin() + 128), a);
  // Sector 1 (512 on) was never erased: the old bytes show through.
  EXPECT_TRUE(AllAre(flash, 512, 640, kOld));

  // A second run over the same bytes without an erase clears bits only.
  chip.Resynchronise();
  const Bytes b = Pattern(128, 0x5C);
  ASSERT_EQ(chip.Ask(LongHeaderBlock(0, b))[0], 0x80);
  for (std::size_t i = 0; i < 128; ++i) EXPECT_EQ(chip.flash()[i], a[i] & b[i]) << i;
}

TEST(SimProgramTest, SevenByteHeadersFollowTheRun) {
  SimChip chip(5, 0x70);  // variant 1
  chip.Ask(SectorErase(4));
  const Bytes data = Pattern(128, 3);
  EXPECT_EQ(chip.Ask(LongHeaderBlock(0, data)), (Bytes{0x00, SumOf(data)}));
  struct Case {
    const char* name;
    Bytes packet;
  } const refused[] = {
      {"skips a block", LongHeaderBlock(256, data)},
      {"goes back", LongHeaderBlock(0, data)},
      {"header byte 30 unasked", LongHeaderBlock(128, data, true)},
      {"count differs from the data",
       [&] {
         Bytes p = LongHeaderBlock(128, data);
         p[6] = 127;
         return p;
       }()},
      {"block longer than the chip's", LongHeaderBlock(128, Pattern(129, 0))},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(chip.Ask(c.packet), Bytes{kRefused});
    EXPECT_FALSE(chip.Notes().empty());
  }
  // The last block may be short.
  const Bytes tail = Pattern(72, 9);
  EXPECT_EQ(chip.Ask(LongHeaderBlock(128, tail)), (Bytes{0x00, SumOf(tail)}));
}

TEST(SimProgramTest, ResendRequestsUntilTheBlockIsTakenWithItsMark) {
  struct Case {
    int family;
    std::uint8_t taken;
    std::uint8_t again;
  } const cases[] = {{1, 0x80, 0x81}, {5, 0x00, 0x30}, {8, 0x00, 0x30}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.family);
    SimFaults faults;
    faults.resend_requests[2] = 2;
    SimChip chip(c.family, 0x70, faults);
    chip.Ask(SectorErase(2));
    const Bytes d = Pattern(128, 1);
    EXPECT_EQ(chip.Ask(LongHeaderBlock(0, d))[0], c.taken);
    EXPECT_EQ(chip.Ask(LongHeaderBlock(128, d)), Bytes{c.again});
    EXPECT_EQ(chip.Ask(LongHeaderBlock(128, d)), Bytes{kRefused})
        << "a repeat needs header byte 30";
    EXPECT_EQ(chip.Ask(LongHeaderBlock(128, d, true)), Bytes{c.again});
    EXPECT_EQ(chip.Ask(LongHeaderBlock(128, d, true)), (Bytes{c.taken, SumOf(d)}));
    EXPECT_EQ(chip.Ask(LongHeaderBlock(256, d)), (Bytes{c.taken, SumOf(d)}));
  }
}

TEST(SimProgramTest, ShortHeadersMarkTheFirstBlockAndMaySkipFromSevenTwo) {
  SimChip chip(11, 0x72);  // variant 3, guard bytes 5A A5
  chip.Ask(chip.Guarded({0x05, 0, 0}));
  chip.Ask(chip.Guarded({0x03, 0x08, 0x00}));
  const Bytes d = Pattern(128, 0x40);
  EXPECT_EQ(chip.Ask(ShortHeaderBlock(chip, 0x12, 0, d)), Bytes{kRefused})
      << "first block unmarked";
  EXPECT_EQ(chip.Ask(ShortHeaderBlock(chip, 0x32, 0, d)), (Bytes{0x02, 0x54}));
  EXPECT_EQ(chip.Ask(ShortHeaderBlock(chip, 0x32, 128, d)), Bytes{kRefused}) << "second first mark";
  // An all-FF block left out: the run goes on after the gap.
  EXPECT_EQ(chip.Ask(ShortHeaderBlock(chip, 0x12, 384, d)), (Bytes{0x02, 0x54}));
  EXPECT_EQ(chip.Ask(ShortHeaderBlock(chip, 0x12, 256, d)), Bytes{kRefused}) << "back again";
  EXPECT_EQ(chip.Ask(ShortHeaderBlock(chip, 0x92, 512, d)), Bytes{kRefused}) << "82 on classic";
  Bytes unguarded = ShortHeaderBlock(chip, 0x12, 512, d);
  unguarded[3] = 0x46;
  EXPECT_EQ(chip.Ask(unguarded), Bytes{kRefused});
  // Bits 4 and 5 clear: the block lies above 64 KiB, in the data area here.
  EXPECT_EQ(chip.Ask(ShortHeaderBlock(chip, 0x12, 0xFF80, d)), (Bytes{0x02, 0x54}));
  EXPECT_EQ(chip.Ask(ShortHeaderBlock(chip, 0x02, 0x0000, d)), (Bytes{0x02, 0x54}));
  const auto& flash = chip.flash();
  EXPECT_EQ(Bytes(flash.begin(), flash.begin() + 128), d);
  EXPECT_TRUE(AllAre(flash, 128, 384, 0xFF));
  EXPECT_EQ(Bytes(flash.begin() + 0x10000, flash.begin() + 0x10080), d);
}

TEST(SimProgramTest, BeforeSevenTwoTheRunHasNoGapsAndNoGuardBytes) {
  SimChip chip(11, 0x70);
  chip.Ask(SizedErase(0x00, chip.code_size(), chip.code_size(), 115));
  const Bytes d = Pattern(128, 0x21);
  EXPECT_EQ(chip.Ask(ShortHeaderBlock(chip, 0x30, 0, d)), (Bytes{0x00, 0x54}));
  EXPECT_EQ(chip.Ask(ShortHeaderBlock(chip, 0x10, 128, d)), (Bytes{0x00, 0x54}));
  EXPECT_EQ(chip.Ask(ShortHeaderBlock(chip, 0x10, 384, d)), Bytes{kRefused});
  EXPECT_EQ(chip.Ask(ShortHeaderBlock(chip, 0x12, 256, d)), Bytes{kRefused}) << "02 before 7.2";
}

TEST(SimProgramTest, ExtraDataRecordsLandAtTheirAddress) {
  struct Case {
    const char* name;
    int family;
    std::uint8_t first;
  } const cases[] = {{"newer family", 45, 0x32}, {"variant 4, 02 for everything", 27, 0x02}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SimChip chip(c.family, 0x72);
    chip.Ask(chip.Guarded({0x05, 0, 0}));
    chip.Ask(chip.Guarded({0x03, 0x00, 0x00}));
    const Bytes d = Pattern(static_cast<std::size_t>(chip.traits().block_size), 0x33);
    ASSERT_EQ(chip.Ask(ShortHeaderBlock(chip, c.first, 0, d)), (Bytes{0x02, 0x54}));
    const Bytes serial = {0x45, 0x67, 0x89};
    EXPECT_EQ(chip.Ask(ShortHeaderBlock(chip, 0x02, 0x1005, serial)), (Bytes{0x02, 0x54}));
    EXPECT_EQ(Bytes(chip.flash().begin() + 0x1005, chip.flash().begin() + 0x1008), serial);
    // A record over programmed bytes clears bits only.
    EXPECT_EQ(chip.Ask(ShortHeaderBlock(chip, 0x02, 0x0001, {0x0F})), (Bytes{0x02, 0x54}));
    EXPECT_EQ(chip.flash()[1], d[1] & 0x0F);
  }
}

TEST(SimProgramTest, AWrongReplyAtBlockNCarriesABadCheck) {
  SimFaults faults;
  faults.wrong_reply_block = 2;
  {
    SimChip chip(1, 0x70, faults);
    chip.Ask(SectorErase(1));
    const Bytes d = Pattern(128, 7);
    EXPECT_EQ(chip.Ask(LongHeaderBlock(0, d)), (Bytes{0x80, SumOf(d)}));
    EXPECT_EQ(chip.Ask(LongHeaderBlock(128, d)),
              (Bytes{0x80, static_cast<std::uint8_t>(SumOf(d) + 1)}));
  }
  {
    SimChip chip(45, 0x72, faults);
    chip.Ask(chip.Guarded({0x05, 0, 0}));
    chip.Ask(chip.Guarded({0x03, 0x00, 0x00}));
    const Bytes d = Pattern(128, 7);
    EXPECT_EQ(chip.Ask(ShortHeaderBlock(chip, 0x32, 0, d)), (Bytes{0x02, 0x54}));
    const Bytes reply = chip.Ask(ShortHeaderBlock(chip, 0x12, 128, d));
    ASSERT_EQ(reply.size(), 2u);
    EXPECT_EQ(reply[0], 0x02);
    EXPECT_NE(reply[1], 0x54);
  }
}

TEST(SimProgramTest, UserKeyBlocksInOrder) {
  SimChip chip(45, 0x72);
  const Bytes key = Pattern(256, 0x90);
  auto block = [&](std::uint8_t code, int offset) {
    return Concat(chip.Guarded({code, 0x00, static_cast<std::uint8_t>(offset)}),
                  Bytes(key.begin() + offset, key.begin() + offset + 64));
  };
  EXPECT_EQ(chip.Ask(block(0x06, 0)), Bytes{kRefused}) << "the first block carries 26";
  EXPECT_EQ(chip.Ask(block(0x26, 0)), (Bytes{0x06, 0x54}));
  EXPECT_EQ(chip.Ask(block(0x06, 128)), Bytes{kRefused}) << "a block left out";
  for (int offset : {64, 128, 192}) EXPECT_EQ(chip.Ask(block(0x06, offset)), (Bytes{0x06, 0x54}));
  EXPECT_EQ(chip.memory.user_key, key);

  SimChip classic(11, 0x72);
  EXPECT_EQ(classic.Ask(Concat(classic.Guarded({0x26, 0, 0}), Bytes(64, 0))), Bytes{kRefused});
}

TEST(SimProgramTest, TheEndPacketClosesTheDownloadEvenWhenSilent) {
  SimFaults faults;
  faults.silent_after = SimStep::kErase;
  SimChip chip(45, 0x72, faults);
  chip.Ask(chip.Guarded({0x05, 0, 0}));
  EXPECT_EQ(chip.Ask(chip.Guarded({0x03, 0x00, 0x00}))[0], 0x03);
  EXPECT_TRUE(chip.Ask(ShortHeaderBlock(chip, 0x32, 0, Pattern(128, 0))).empty());
  EXPECT_TRUE(chip.Send({0xFF}).empty());
  EXPECT_TRUE(chip.session->ended());
  EXPECT_EQ(chip.memory.downloads, 1);
  // A new synchronisation answers again.
  chip.Resynchronise();
  EXPECT_EQ(chip.Ask(chip.Guarded({0x05, 0, 0}))[0], 0x05);
}

TEST(SimProgramTest, SilenceAfterBlockNAndShortReplies) {
  SimFaults faults;
  faults.silent_after = SimStep::kBlock;
  faults.silent_after_block = 2;
  faults.short_replies = {SimStep::kErase};
  SimChip chip(1, 0x70, faults);
  EXPECT_EQ(chip.Ask(SectorErase(2)), Bytes{0x80}) << "the serial number left out";
  const Bytes d = Pattern(128, 0);
  EXPECT_FALSE(chip.Ask(LongHeaderBlock(0, d)).empty());
  EXPECT_FALSE(chip.Ask(LongHeaderBlock(128, d)).empty());
  EXPECT_TRUE(chip.Ask(LongHeaderBlock(256, d)).empty());
}

}  // namespace
}  // namespace fw::sim::test
