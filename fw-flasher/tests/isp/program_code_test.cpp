// The program step: block headers of each protocol variant, blank blocks,
// resend requests and their bound, extra data records and the closing 69.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "isp/program_code.h"
#include "tests/support/chip_link.h"

namespace fw {
namespace {

using test::FindChip;

using test::Bytes;

std::uint8_t Sum(const Bytes& b, std::size_t from) {
  unsigned s = 0;
  for (std::size_t i = from; i < b.size(); ++i) s += b[i];
  return static_cast<std::uint8_t>(s);
}

class ProgramTest : public ::testing::Test {
 protected:
  void Fresh(int index, int fw, int pv = -1) {
    chip = std::make_unique<test::ChipLink>();
    chip->Identify(index, fw, pv);
  }
  // Code of n bytes: i * 7 + 1, never a whole block of 0xFF.
  void Code(int n) {
    for (int i = 0; i < n; ++i) {
      chip->link.image.code_image[static_cast<std::size_t>(i)] =
          static_cast<std::uint8_t>(i * 7 + 1);
    }
    chip->link.image.code_length = n;
  }
  // Answers each block as the protocol variant takes it; `resends` block
  // requests are answered with a resend first.
  void AcceptBlocks(int resends = 0) {
    chip->port.answer = [this, resends](const Bytes& p) mutable -> std::optional<Bytes> {
      const int pv = chip->link.target.protocol_variant;
      if (p[0] == 0x69) return Bytes{0x8D};
      if (pv <= 2) {
        if (resends > 0) {
          --resends;
          return Bytes{static_cast<std::uint8_t>(pv == 0 ? 0x81 : 0x30)};
        }
        return Bytes{static_cast<std::uint8_t>(pv == 0 ? 0x80 : 0x00), Sum(p, 7)};
      }
      return Bytes{static_cast<std::uint8_t>(p[0] & 0x0F), 0x54};
    };
  }
  // The first header bytes of each block sent.
  std::vector<Bytes> Headers(std::size_t n) const {
    std::vector<Bytes> headers;
    for (const Bytes& p : chip->port.payloads)
      headers.emplace_back(p.begin(),
                           p.begin() + static_cast<std::ptrdiff_t>(std::min(n, p.size())));
    return headers;
  }

  std::unique_ptr<test::ChipLink> chip;
};

TEST_F(ProgramTest, BlockHeadersOfEachVariant) {
  struct Case {
    const char* name;
    int family, fw;
    std::uint8_t command;
    std::size_t header_bytes;
    std::vector<Bytes> headers;
  } const cases[] = {
      {"variant 0: 7 bytes, 32-bit position, length",
       1,
       0x71,
       0x00,
       7,
       {{0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80}, {0x00, 0x00, 0x00, 0x00, 0x80, 0x00, 0x48}}},
      {"variant 2 likewise",
       8,
       0x71,
       0x00,
       7,
       {{0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80}, {0x00, 0x00, 0x00, 0x00, 0x80, 0x00, 0x48}}},
      {"variant 3 before 7.2: 3 bytes, first-block bits",
       11,
       0x71,
       0x02,
       3,
       {{0x32, 0x00, 0x00}, {0x12, 0x00, 0x80}}},
      {"variant 5 (7.2): guard bytes",
       8,
       0x72,
       0x02,
       5,
       {{0x32, 0x00, 0x00, 0x5A, 0xA5}, {0x12, 0x00, 0x80, 0x5A, 0xA5}}},
      {"program variant 82",
       53,
       0x72,
       0x82,
       5,
       {{0xB2, 0x00, 0x00, 0x5A, 0xA5}, {0x92, 0x00, 0x80, 0x5A, 0xA5}}},
      {"variant 4 always 02",
       27,
       0x72,
       0x82,
       5,
       {{0x02, 0x00, 0x00, 0x5A, 0xA5}, {0x02, 0x00, 0x80, 0x5A, 0xA5}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh(test::FirstChipOf(c.family), c.fw);
    Code(200);
    AcceptBlocks();
    ASSERT_EQ(ProgramCode(chip->link, c.command, false), kStepOk) << chip->log.text;
    EXPECT_EQ(chip->port.bad_packets, 0);
    // Protocol variants 1 and 2 close with 69; the blocks come first.
    ASSERT_GE(chip->port.payloads.size(), 2u);
    chip->port.payloads.resize(2);
    EXPECT_EQ(Headers(c.header_bytes), c.headers);
    EXPECT_EQ(chip->port.payloads[0].size(), c.header_bytes + 128);
    EXPECT_EQ(chip->port.payloads[1].size(), c.header_bytes + 72);
    EXPECT_EQ(chip->port.payloads[1].back(), static_cast<std::uint8_t>(199 * 7 + 1));
  }
}

TEST_F(ProgramTest, BlankBlocksSkippedOnlyWhereAllowed) {
  struct Case {
    const char* name;
    int fw;
    std::uint8_t command;
    int blank_block;
    std::vector<Bytes> headers;
  } const cases[] = {
      {"second block blank", 0x72, 0x02, 1, {{0x32}, {0x12}}},
      {"first block blank: no first-block bit", 0x72, 0x02, 0, {{0x12}, {0x12}}},
      {"command 82 sends every block", 0x72, 0x82, 1, {{0xB2}, {0x92}, {0x92}}},
      {"before 7.2 every block", 0x71, 0x02, 1, {{0x32}, {0x12}, {0x12}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh(test::FirstChipOf(53), c.fw);
    Code(384);
    std::fill_n(chip->link.image.code_image.begin() + 128 * c.blank_block, 128, 0xFF);
    AcceptBlocks();
    ASSERT_EQ(ProgramCode(chip->link, c.command, false), kStepOk);
    EXPECT_EQ(Headers(1), c.headers);
    // The start pause and one for each block taken; a skipped block is not taken.
    EXPECT_EQ(chip->link.pauses.count, 1 + static_cast<int>(c.headers.size()));
    EXPECT_EQ(chip->link.pauses.total_ms, 10 + 5 * static_cast<int>(c.headers.size()));
  }
}

TEST_F(ProgramTest, BlocksAbove64KCarryNeitherBlockBit) {
  Fresh(test::FirstChipOf(53), 0x72);
  chip->link.image.code_length = 0x10000 + 128;
  auto& image = chip->link.image.code_image;
  std::fill_n(image.begin(), 0x10000 + 128, 0xFF);
  image[0] = 0x01;
  image[0x10000] = 0x02;
  AcceptBlocks();
  ASSERT_EQ(ProgramCode(chip->link, 0x02, false), kStepOk);
  EXPECT_EQ(Headers(5),
            (std::vector<Bytes>{{0x32, 0x00, 0x00, 0x5A, 0xA5}, {0x02, 0x00, 0x00, 0x5A, 0xA5}}));
}

TEST_F(ProgramTest, ResendRequestsRepeatTheBlock) {
  struct Case {
    const char* name;
    int family;
  } const cases[] = {{"variant 0 asks with 81", 1}, {"variant 1 asks with 30", 5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh(test::FirstChipOf(c.family), 0x71);
    Code(256);
    AcceptBlocks(2);
    ASSERT_EQ(ProgramCode(chip->link, 0x00, false), kStepOk);
    // Block 1 three times (the repeats with header 30), then block 2 with 00.
    const std::vector<Bytes> headers = Headers(5);
    ASSERT_GE(headers.size(), 4u);
    EXPECT_EQ(headers[0], (Bytes{0x00, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(headers[1], (Bytes{0x30, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(headers[2], (Bytes{0x30, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(headers[3], (Bytes{0x00, 0x00, 0x00, 0x00, 0x80}));
  }
}

TEST_F(ProgramTest, ResendStormEndsTheStep) {
  Fresh(test::FirstChipOf(1), 0x71);
  Code(256);
  AcceptBlocks(1000);
  EXPECT_EQ(ProgramCode(chip->link, 0x00, false), kStepRefused);
  EXPECT_EQ(chip->port.payloads.size(), 1u + kMaxBlockRepeats);
  EXPECT_TRUE(chip->Logged("asked for the same data 8 times")) << chip->log.text;
}

TEST_F(ProgramTest, WrongRepliesEndTheStep) {
  struct Case {
    const char* name;
    int family, fw;
    Bytes reply;
  } const cases[] = {
      {"variant 0, wrong block sum", 1, 0x71, {0x80, 0x00}},
      {"variant 0, sum missing", 1, 0x71, {0x80}},
      {"variant 2, another code", 8, 0x71, {0x01, 0x00}},
      {"variant 3, not 54", 11, 0x71, {0x02, 0x55}},
      {"variant 3, another command's code", 11, 0x71, {0x03, 0x54}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh(test::FirstChipOf(c.family), c.fw);
    Code(128);
    chip->port.answer = [reply = c.reply](const Bytes&) -> std::optional<Bytes> { return reply; };
    EXPECT_EQ(ProgramCode(chip->link, 0x02, false), kStepRefused);
    EXPECT_EQ(chip->port.payloads.size(), 1u);
  }
}

TEST_F(ProgramTest, SilentChipTimesOut) {
  Fresh(test::FirstChipOf(11), 0x71);
  Code(128);
  EXPECT_EQ(ProgramCode(chip->link, 0x02, false), kStepTimedOut);
}

TEST_F(ProgramTest, ExtraRecordsAfterTheCode) {
  struct Case {
    const char* name;
    int fw;
    bool with_records;
    std::size_t packets;
  } const cases[] = {
      {"7.2 with records", 0x72, true, 3},
      {"records not asked for", 0x72, false, 1},
      {"before 7.2 none", 0x71, true, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh(test::FirstChipOf(53), c.fw);
    Code(128);
    const Bytes list = {0x5A, 0x34, 0x12, 0x02, 0xAA, 0xBB, 0x5A, 0xF0, 0xFF, 0x01, 0xCC, 0x00};
    std::copy(list.begin(), list.end(), chip->link.image.extra_records.begin());
    AcceptBlocks();
    ASSERT_EQ(ProgramCode(chip->link, 0x02, c.with_records), kStepOk);
    ASSERT_EQ(chip->port.payloads.size(), c.packets);
    if (c.packets == 3) {
      EXPECT_EQ(chip->port.payloads[1], (Bytes{0x02, 0x12, 0x34, 0x5A, 0xA5, 0xAA, 0xBB}));
      EXPECT_EQ(chip->port.payloads[2], (Bytes{0x02, 0xFF, 0xF0, 0x5A, 0xA5, 0xCC}));
    }
  }
}

TEST_F(ProgramTest, RecordNotTakenEndsTheStep) {
  Fresh(test::FirstChipOf(53), 0x72);
  Code(128);
  const Bytes list = {0x5A, 0x00, 0x10, 0x01, 0xAA};
  std::copy(list.begin(), list.end(), chip->link.image.extra_records.begin());
  chip->port.answer = [](const Bytes& p) -> std::optional<Bytes> {
    if (p[0] == 0x02 && p[1] == 0x10) return Bytes{0x02, 0x00};
    return Bytes{static_cast<std::uint8_t>(p[0] & 0x0F), 0x54};
  };
  EXPECT_EQ(ProgramCode(chip->link, 0x02, true), kStepRefused);
}

TEST_F(ProgramTest, ClosingExchangeOfVariants1And2) {
  const auto needs_capable = [](const ChipRecord& r) {
    return (r.flags & chip_flags::kOptionsNeedCapableFirmware) != 0;
  };
  const int plain = FindChip([&](const ChipRecord& r) {
    return FamilyCode(r) == 9 && !needs_capable(r) && r.sub_model == 0;
  });
  const int needing = FindChip([&](const ChipRecord& r) {
    return FamilyCode(r) == 9 && needs_capable(r) && r.sub_model == 0;
  });
  struct Case {
    const char* name;
    int chip;
    bool capable;
    bool closes;
  } const cases[] = {
      {"no firmware needed", plain, false, true},
      {"capable firmware", needing, true, true},
      {"firmware lacking", needing, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_GT(c.chip, 0);
    Fresh(c.chip, 0x71);
    chip->link.target.option_capable_firmware = c.capable;
    Code(0);
    AcceptBlocks();
    ASSERT_EQ(ProgramCode(chip->link, 0x00, false), kStepOk);
    const ChipRecord& r = chip->chip();
    const Bytes close = {0x69,
                         0x00,
                         0x00,
                         0x36,
                         0x01,
                         static_cast<std::uint8_t>(r.id >> 8),
                         static_cast<std::uint8_t>(r.id)};
    EXPECT_EQ(chip->port.payloads, c.closes ? std::vector<Bytes>{close} : std::vector<Bytes>{});
  }
}

// Through a download board to a chip of protocol variant 3 and above: the board
// acknowledges each block with a bare 02 as it forwards it, the chip's 02 54
// comes later, relayed.
class PipelinedProgramTest : public ProgramTest {
 protected:
  static constexpr std::uint8_t kBoardAck = 0x02;

  void Fresh(int family, int fw, int blocks) {
    ProgramTest::Fresh(test::FirstChipOf(family), fw);
    chip->link.board.mode = true;
    chip->port.wide = true;
    Code(128 * blocks);
  }
  // The board acknowledges every block at once; the chip answers block k only
  // when block k + 1 arrives (or never, for the last one, unless asked to).
  // chip_reply gives the chip's reply payload to a block.
  void BoardAcksChipLags(bool answer_last, std::function<Bytes(int)> chip_reply = nullptr) {
    if (!chip_reply) chip_reply = [](int) { return Bytes{0x02, 0x54}; };
    const int blocks = (chip->link.image.code_length + 127) / 128;
    chip->port.answer = [this, blocks, answer_last,
                         chip_reply](const Bytes&) -> std::optional<Bytes> {
      const int k = static_cast<int>(chip->port.payloads.size());  // this block's number
      chip->port.Arrive({kBoardAck});
      if (k > 1) chip->port.Arrive(test::ChipPacket(chip_reply(k - 1), true));
      if (k == blocks && answer_last) chip->port.Arrive(test::ChipPacket(chip_reply(k), true));
      return std::nullopt;
    };
  }
};

TEST_F(PipelinedProgramTest, NextBlockGoesOnTheBoardsAcknowledgement) {
  struct Case {
    const char* name;
    int family, fw;
    std::uint8_t command;
    std::vector<Bytes> headers;
  } const cases[] = {
      {"variant 3 before 7.2", 11, 0x71, 0x02, {{0x32}, {0x12}, {0x12}}},
      {"7.2 with the program variant", 53, 0x72, 0x82, {{0xB2}, {0x92}, {0x92}}},
      {"variant 4", 27, 0x72, 0x02, {{0x02}, {0x02}, {0x02}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh(c.family, c.fw, 3);
    BoardAcksChipLags(true);
    ASSERT_EQ(ProgramCode(chip->link, c.command, false), kStepOk) << chip->log.text;
    EXPECT_EQ(Headers(1), c.headers);
    EXPECT_EQ(chip->port.bad_packets, 0);
  }
}

TEST_F(PipelinedProgramTest, ChipRepliesAreCreditsAndMustTakeTheBlock) {
  struct Case {
    const char* name;
    int blocks;
    bool answer_last;
    int wrong_block;  // the chip's reply to this block is 02 45; 0: none
    StepResult result;
    std::size_t blocks_sent;
  } const cases[] = {
      {"the chip's reply to the last block is awaited", 3, false, 0, kStepTimedOut, 3},
      {"a wrong reply ends the step", 4, true, 2, kStepRefused, 3},
      {"one block alone", 1, true, 0, kStepOk, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh(11, 0x71, c.blocks);
    BoardAcksChipLags(c.answer_last, [&c](int k) {
      return Bytes{0x02, static_cast<std::uint8_t>(k == c.wrong_block ? 0x45 : 0x54)};
    });
    EXPECT_EQ(ProgramCode(chip->link, 0x02, false), c.result) << chip->log.text;
    EXPECT_EQ(chip->port.payloads.size(), c.blocks_sent);
  }
}

TEST_F(PipelinedProgramTest, OneBlockOfCreditOnly) {
  // The board acknowledges, the chip never answers: the first block uses the
  // credit, the second waits for the chip's reply to the first in vain.
  Fresh(11, 0x71, 3);
  chip->port.answer = [this](const Bytes&) -> std::optional<Bytes> {
    chip->port.Arrive({kBoardAck});
    return std::nullopt;
  };
  EXPECT_EQ(ProgramCode(chip->link, 0x02, false), kStepTimedOut);
  EXPECT_EQ(chip->port.payloads.size(), 2u);
}

TEST_F(PipelinedProgramTest, BoardAcknowledgementIsNeededForEachBlock) {
  // The chip answers at once but the board never acknowledges: nothing after
  // the first block, even though credits pile up. A stray 02 left from before
  // the step does not count for the first block.
  Fresh(11, 0x71, 2);
  chip->link.board.acknowledge = true;
  chip->port.answer = [](const Bytes&) -> std::optional<Bytes> { return Bytes{0x02, 0x54}; };
  EXPECT_EQ(ProgramCode(chip->link, 0x02, false), kStepTimedOut);
  EXPECT_EQ(chip->port.payloads.size(), 1u);
}

TEST_F(PipelinedProgramTest, VariantsBelow3WaitForTheChipThroughABoard) {
  // A board in front of a variant 0-2 chip: each block waits for the chip's
  // reply; the board's bare 02 is not an answer.
  ProgramTest::Fresh(test::FirstChipOf(8), 0x71);
  chip->link.board.mode = true;
  chip->port.wide = true;
  Code(256);
  chip->port.answer = [this](const Bytes& p) -> std::optional<Bytes> {
    chip->port.Arrive({kBoardAck});
    if (p[0] == 0x69) return Bytes{0x8D};
    return Bytes{0x00, Sum(p, 7)};
  };
  ASSERT_EQ(ProgramCode(chip->link, 0x00, false), kStepOk) << chip->log.text;
  EXPECT_EQ(chip->port.payloads.size(), 3u);
}

TEST_F(ProgramTest, NothingToProgramStillCompletes) {
  Fresh(test::FirstChipOf(11), 0x71);
  Code(0);
  ASSERT_EQ(ProgramCode(chip->link, 0x02, false), kStepOk);
  EXPECT_TRUE(chip->port.payloads.empty());
  EXPECT_TRUE(chip->Logged("Programming user code ... OK !\t\t[")) << chip->log.text;
}

}  // namespace
}  // namespace fw
