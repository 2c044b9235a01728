// The erase step: its command layouts by family and firmware, the unlock before
// it, the password, the chip serial number, and the program that does not fit.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <numeric>

#include "isp/erase_flash.h"
#include "tests/support/chip_link.h"

namespace fw {
namespace {

using test::FindChip;

using test::Bytes;

Bytes Repeat(std::uint8_t b, int n) { return Bytes(static_cast<std::size_t>(n), b); }

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// 0x80, 0x7F, ... count bytes.
Bytes CountDown(int count) {
  Bytes b;
  for (int i = 0; i < count; ++i) b.push_back(static_cast<std::uint8_t>(0x80 - i));
  return b;
}

Bytes Be24(std::uint32_t v) {
  return {static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
          static_cast<std::uint8_t>(v)};
}

class EraseTest : public ::testing::Test {
 protected:
  // The chip answers an unlock with its code, an erase with the code its
  // protocol variant uses and the serial number 11 22 .. 77.
  void AnswerLikeAChip() {
    chip->port.answer = [this](const Bytes& p) -> std::optional<Bytes> {
      if (p[0] == 0x05) return unlock_reply;
      const int pv = chip->link.target.protocol_variant;
      const std::uint8_t code = pv == 0 ? 0x80 : pv <= 2 ? 0x00 : (p[0] & 0x0F);
      return Bytes{code, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77};
    };
  }
  // The image alone: option byte 15 bit 1 would add the chip's parameters.
  void Image(int length) {
    chip->link.image.image_length = length;
    chip->link.image.option_bytes[15] = 0x00;
  }

  void Fresh() { chip = std::make_unique<test::ChipLink>(); }

  std::unique_ptr<test::ChipLink> chip = std::make_unique<test::ChipLink>();
  Bytes unlock_reply = {0x05};
};

TEST_F(EraseTest, CommandLayouts) {
  struct Case {
    const char* name;
    int family, pv;  // pv -1: the record's
    int fw;
    int image;  // bytes; -1: the code size plus 1,000
    std::function<std::vector<Bytes>(const ChipRecord&)> expected;
    Bytes guard;
  } const cases[] = {
      {"7.2, guard 5A A5",
       11,
       -1,
       0x72,
       512,
       [](const ChipRecord&) {
         return std::vector<Bytes>{{0x05, 0x00, 0x00, 0x5A, 0xA5}, {0x03, 0x00, 0x00, 0x5A, 0xA5}};
       },
       {0x5A, 0xA5}},
      {"7.2, family 8: guard 46 B9",
       8,
       -1,
       0x72,
       512,
       [](const ChipRecord&) {
         return std::vector<Bytes>{{0x05, 0x00, 0x00, 0x46, 0xB9}, {0x03, 0x00, 0x00, 0x46, 0xB9}};
       },
       {0x46, 0xB9}},
      {"7.2 beyond the code: sectors of the rest",
       11,
       -1,
       0x72,
       -1,
       [](const ChipRecord&) {
         return std::vector<Bytes>{{0x05, 0x00, 0x00, 0x5A, 0xA5}, {0x03, 0x02, 0x00, 0x5A, 0xA5}};
       },
       {0x5A, 0xA5}},
      {"7.2, protocol variant 4: no unlock",
       27,
       -1,
       0x72,
       512,
       [](const ChipRecord&) {
         return std::vector<Bytes>{{0x03, 0x00, 0x00, 0x5A, 0xA5}};
       },
       {0x5A, 0xA5}},
      {"family 1: 84 and the sectors of the image",
       1,
       -1,
       0x71,
       1536,
       [](const ChipRecord&) {
         return std::vector<Bytes>{Concat({{0x84, 0x03}, Repeat(0x33, 6)})};
       },
       {0x46, 0xB9}},
      {"family 16 likewise, rounded up",
       16,
       -1,
       0x71,
       1537,
       [](const ChipRecord&) {
         return std::vector<Bytes>{Concat({{0x84, 0x04}, Repeat(0x33, 6)})};
       },
       {0x46, 0xB9}},
      {"family 10: the code size when the image is smaller",
       10,
       -1,
       0x71,
       512,
       [](const ChipRecord& r) {
         return std::vector<Bytes>{Concat({{0x84, 0x00},
                                           Be24(r.code_size),
                                           Be24(r.code_size),
                                           Repeat(0x00, 11),
                                           CountDown(115)})};
       },
       {0x5A, 0xA5}},
      {"family 7: the image in whole sectors when larger",
       7,
       -1,
       0x71,
       -1,
       [](const ChipRecord& r) {
         return std::vector<Bytes>{Concat({{0x84, 0x00},
                                           Be24(r.code_size + 1024),
                                           Be24(r.code_size),
                                           Repeat(0x00, 11),
                                           CountDown(115)})};
       },
       {0x46, 0xB9}},
      {"family 28 before 7.1: the length itself",
       28,
       -1,
       0x70,
       700,
       [](const ChipRecord& r) {
         return std::vector<Bytes>{
             Concat({{0x84, 0xFF}, Be24(700), Be24(r.code_size), Repeat(0x00, 11), CountDown(34)})};
       },
       {0x5A, 0xA5}},
      {"family 28 at 7.1: unlock, then 03 N",
       28,
       -1,
       0x71,
       512,
       [](const ChipRecord&) {
         return std::vector<Bytes>{{0x05}, {0x03, 0x00}};
       },
       {0x5A, 0xA5}},
      {"family 30 beyond the code",
       30,
       -1,
       0x71,
       -1,
       [](const ChipRecord&) {
         return std::vector<Bytes>{{0x05}, {0x03, 0x02}};
       },
       {0x5A, 0xA5}},
      {"protocol variant 4 before 7.2: no unlock",
       27,
       -1,
       0x71,
       512,
       [](const ChipRecord&) {
         return std::vector<Bytes>{{0x03, 0x00}};
       },
       {0x5A, 0xA5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh();
    // A chip with room beyond its code for the images that reach past it.
    const int index = FindChip([&](const ChipRecord& r) {
      return FamilyCode(r) == c.family && r.sub_model == 0 && r.total_size >= r.code_size + 1024;
    });
    ASSERT_GT(index, 0);
    chip->Identify(index, c.fw, c.pv);
    Image(c.image >= 0 ? c.image : static_cast<int>(chip->chip().code_size) + 1000);
    AnswerLikeAChip();
    EXPECT_EQ(EraseFlash(chip->link), kStepOk) << chip->log.text;
    EXPECT_EQ(chip->port.payloads, c.expected(chip->chip()));
    EXPECT_EQ(chip->port.bad_packets, 0);
    EXPECT_EQ(Bytes(chip->link.target.guard.begin(), chip->link.target.guard.end()), c.guard);
    EXPECT_TRUE(chip->Logged("Erasing MCU flash ...  OK !\t\t["));
  }
}

TEST_F(EraseTest, PasswordGoesWithTheUnlock) {
  chip->Identify(test::FirstChipOf(53), 0x72);
  chip->link.request.password_present = true;
  chip->link.request.password.length = 3;
  chip->link.request.password.bytes = {'a', 'b', 'c'};
  Image(512);
  AnswerLikeAChip();
  ASSERT_EQ(EraseFlash(chip->link), kStepOk);
  EXPECT_EQ(chip->port.payloads.front(), (Bytes{0x05, 0x00, 0x00, 0x5A, 0xA5, 'a', 'b', 'c'}));
}

TEST_F(EraseTest, RefusedUnlock) {
  struct Case {
    const char* name;
    int fw;
    std::uint8_t reply;
    const char* logged;
  } const cases[] = {
      {"wrong password", 0x72, 0x0E, "User password error !"},
      {"locked chip", 0x72, 0x0F, "MCU is locked !"},
      {"another code", 0x72, 0x03, "Erasing MCU flash ...  \r\n"},
      {"older firmware, wrong code", 0x71, 0x0E, "Erasing MCU flash ...  \r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh();
    chip->Identify(test::FirstChipOf(53), c.fw);
    Image(512);
    unlock_reply = {c.reply};
    AnswerLikeAChip();
    chip->log.text.clear();
    EXPECT_EQ(EraseFlash(chip->link), kStepRefused);
    EXPECT_EQ(chip->port.payloads.size(), 1u) << "no erase after a refused unlock";
    chip->log.text += "\r\n";
    EXPECT_TRUE(chip->Logged(c.logged)) << chip->log.text;
  }
}

TEST_F(EraseTest, WrongEraseReplyIsRefused) {
  chip->Identify(test::FirstChipOf(11), 0x71);
  Image(512);
  chip->port.answer = [](const Bytes&) -> std::optional<Bytes> { return Bytes{0x03, 0x54}; };
  EXPECT_EQ(EraseFlash(chip->link), kStepRefused);
}

TEST_F(EraseTest, ChipSerialFromTheReplyOrTheStatus) {
  struct Case {
    const char* name;
    int fw;
    Bytes reply_after_code;
    Bytes serial;
    bool logged;
  } const cases[] = {
      {"seven bytes", 0x72, {1, 2, 3, 4, 5, 6, 7}, {1, 2, 3, 4, 5, 6, 7}, true},
      {"a short reply: the missing bytes stay 0", 0x72, {1, 2, 3}, {1, 2, 3, 0, 0, 0, 0}, true},
      {"the code alone: no serial number", 0x72, {}, {0, 0, 0, 0, 0, 0, 0}, false},
      {"all equal: not logged", 0x72, {9, 9, 9, 9, 9, 9, 9}, {9, 9, 9, 9, 9, 9, 9}, false},
      {"6.2 takes status bytes 31-37",
       0x62,
       {1, 2, 3, 4, 5, 6, 7},
       {31, 32, 33, 34, 35, 36, 37},
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh();
    chip->Identify(test::FirstChipOf(53), c.fw);
    std::iota(std::begin(chip->link.target.status_record),
              std::end(chip->link.target.status_record), 0);
    // An older frame in the receive buffer must not show through a short reply.
    std::fill_n(chip->link.framing.receive_buffer, 64, 0xEE);
    Image(512);
    const Bytes tail = c.reply_after_code;
    chip->port.answer = [tail](const Bytes& p) -> std::optional<Bytes> {
      if (p[0] == 0x05) return Bytes{0x05};
      Bytes reply = {0x03};
      reply.insert(reply.end(), tail.begin(), tail.end());
      return reply;
    };
    ASSERT_EQ(EraseFlash(chip->link), kStepOk);
    EXPECT_EQ(
        Bytes(std::begin(chip->link.target.chip_serial), std::end(chip->link.target.chip_serial)),
        c.serial);
    EXPECT_EQ(chip->Logged("MCU ID : "), c.logged) << chip->log.text;
  }
}

TEST_F(EraseTest, SerialLineOnlyAboveFamily7AndNotFor70) {
  for (const auto& [family, logged] : {std::pair{7, false}, {8, true}, {70, false}}) {
    SCOPED_TRACE(family);
    Fresh();
    chip->Identify(test::FirstChipOf(family), 0x72);
    Image(512);
    AnswerLikeAChip();
    ASSERT_EQ(EraseFlash(chip->link), kStepOk);
    EXPECT_EQ(chip->Logged("MCU ID : 11223344556677"), logged);
  }
}

TEST_F(EraseTest, ProgramLargerThanTheChipIsRefusedBeforeAnythingIsSent) {
  chip->Identify(test::FirstChipOf(11), 0x71);
  Image(static_cast<int>(chip->chip().total_size) + 512);
  AnswerLikeAChip();
  EXPECT_EQ(EraseFlash(chip->link), kStepRefused);
  EXPECT_TRUE(chip->port.payloads.empty());
  EXPECT_TRUE(chip->Logged("does not fit the chip's flash")) << chip->log.text;
}

// Refusing a program beyond the chip's total size is what keeps the sector
// counts of the erase commands inside their byte.
TEST(EraseLimitsTest, EveryChipFitsTheSectorCountByte) {
  for (const ChipRecord& r : ChipTable()) {
    SCOPED_TRACE(r.name);
    EXPECT_LE((r.total_size + 511) / 512, 255u);
  }
}

TEST_F(EraseTest, StopEndsTheWait) {
  chip->Identify(test::FirstChipOf(11), 0x71);
  Image(512);
  chip->link.running = false;
  EXPECT_EQ(EraseFlash(chip->link), kStepStopped);
}

}  // namespace
}  // namespace fw
