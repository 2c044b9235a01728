// Programming a download board for stand-alone use against a board that
// acknowledges as the test says: the board program's requests, the stand-alone
// header field by field against a header built from its table by the test, the
// sizes the board is told, and what a refusal, a stop or a program that does
// not fit the buffers leaves unsent.
#include <gtest/gtest.h>

#include <numeric>

#include "target/board/standalone_board.h"
#include "target/chips/chip_table.h"
#include "tests/support/chip_finder.h"
#include "tests/support/responder_port.h"
#include "tests/support/standalone_header_model.h"
#include "tests/support/string_log.h"

namespace fw {
namespace {

using test::Bytes;

// Header fields by name, for the messages of a mismatch.
struct Field {
  const char* name;
  int offset;
  int size;
};
constexpr Field kFields[] = {
    {"mark", 0, 2},
    {"header sum", 2, 2},
    {"program sum", 4, 2},
    {"programmed size", 6, 4},
    {"handshake rate", 10, 1},
    {"pass-through 1", 11, 1},
    {"chip id", 12, 2},
    {"alternate id", 14, 2},
    {"flags A", 16, 1},
    {"flags B", 17, 1},
    {"flags C", 18, 1},
    {"zero", 19, 1},
    {"set frequency", 20, 4},
    {"measured frequency", 24, 4},
    {"pass-through 3", 28, 4},
    {"options 0-15", 32, 16},
    {"options 17-18", 48, 2},
    {"P1", 50, 1},
    {"family", 51, 1},
    {"serial addresses", 52, 8},
    {"serial lengths and formats", 60, 4},
    {"serial 1 step", 64, 16},
    {"serial 2 step", 80, 16},
    {"serial 1 value", 96, 16},
    {"serial 2 value", 112, 16},
    {"P3", 128, 1},
    {"unwritten 129-162", 129, 34},
    {"user-interface rate", 163, 1},
    {"first bytes", 164, 33},
    {"second bytes", 197, 32},
    {"reply length and address", 229, 6},
    {"unwritten 235-270", 235, 36},
    {"code size", 271, 4},
    {"flash size", 275, 4},
    {"pass-through 2", 279, 1},
    {"password lengths", 280, 2},
    {"password", 282, 64},
    {"new password", 346, 64},
    {"option extra, pass-through 5 and 4", 410, 3},
    {"unwritten 413-767", 413, 355},
    {"user key", 768, 256},
    {"unwritten 1024-2047", 1024, 1024},
};

class StandAloneBoardTest : public ::testing::Test {
 protected:
  StandAloneBoardTest() {
    link.port = &port;
    link.outputs.echo = nullptr;
    link.outputs.log_sink = &log;
    link.request.language = 0;
    link.board.mode = true;
    link.running = true;
    port.answer = [this](const Bytes& p) -> std::optional<Bytes> {
      if (p.empty()) return std::nullopt;
      ++requests;
      if (requests == refuse_at) return Bytes{p[0], 0x45};
      if (requests == stop_at) link.running = false;
      return Bytes{p[0], 0x54};
    };
  }

  // The link re-initialised as before each download, in board mode.
  void Reset() {
    link.Reinitialise();
    link.request.language = 0;
    link.board.mode = true;
    link.running = true;
  }
  void UseChip(int index, const char* name) {
    ASSERT_GT(index, 0);
    link.target.chip_index = index;
    std::snprintf(link.target.chip_name, sizeof link.target.chip_name, "%s", name);
  }
  const ChipRecord& Chip() const {
    return ChipTable()[static_cast<std::size_t>(link.target.chip_index)];
  }
  void SetImage(int length) {
    link.image.image_length = length;
    for (int i = 0; i < length; ++i) link.image.image_source[i] = static_cast<std::uint8_t>(i * 7);
  }
  // The stand-alone image as the F4 requests wrote it.
  Bytes Sent(std::uint8_t code) const {
    Bytes image;
    for (const Bytes& p : port.payloads) {
      if (p[0] != code) continue;
      const std::size_t at = static_cast<std::size_t>(p[1] << 16 | p[2] << 8 | p[3]);
      EXPECT_EQ(at, image.size()) << "chunks in order";
      image.insert(image.end(), p.begin() + 4, p.end());
    }
    return image;
  }
  int CountOf(std::uint8_t code) const {
    return static_cast<int>(std::count_if(port.payloads.begin(), port.payloads.end(),
                                          [&](const Bytes& p) { return p[0] == code; }));
  }
  // The program behind the header as the board should hold it: the image, then 0xFF.
  Bytes ExpectedProgram(std::size_t size) const {
    Bytes program(size, 0xFF);
    const auto n = std::min<std::size_t>(size, static_cast<std::size_t>(link.image.image_length));
    std::copy_n(link.image.image_source.begin(), n, program.begin());
    return program;
  }
  // Sends the image and compares the header with the model, field by field.
  test::ModelImage SendAndCompare() {
    const Bytes program = ExpectedProgram(200000);
    const test::ModelImage model = test::ModelStandAloneHeader(link, Chip(), program);
    EXPECT_EQ(WriteOfflineImage(link), kStepOk) << log.text;
    const Bytes sent = Sent(0xF4);
    EXPECT_EQ(static_cast<long long>(sent.size()), 2048 + model.f);
    if (sent.size() < 2048) return model;
    for (const Field& f : kFields) {
      EXPECT_EQ(Bytes(sent.begin() + f.offset, sent.begin() + f.offset + f.size),
                Bytes(model.header.begin() + f.offset, model.header.begin() + f.offset + f.size))
          << f.name << " at " << f.offset;
    }
    EXPECT_EQ(Bytes(sent.begin() + 2048, sent.end()),
              Bytes(program.begin(), program.begin() + static_cast<std::ptrdiff_t>(model.f)));
    return model;
  }

  IspLink link;
  test::ResponderPort port;
  test::StringLog log;
  int requests = 0;
  int refuse_at = -1;
  int stop_at = -1;
};

TEST_F(StandAloneBoardTest, TheBoardProgramInChunksBetweenF1AndF380) {
  link.image.code_length = 300;
  std::iota(link.image.code_image.begin(), link.image.code_image.begin() + 300, 0);
  ASSERT_EQ(WriteBoardProgram(link), kStepOk) << log.text;
  ASSERT_EQ(port.payloads.size(), 5u);
  EXPECT_EQ(port.payloads.front(), (Bytes{0xF1, 0x00}));
  EXPECT_EQ(port.payloads.back(), (Bytes{0xF3, 0x80}));
  EXPECT_EQ(CountOf(0xF2), 3);
  EXPECT_EQ(port.payloads[3].size(), 4u + 44u) << "the last chunk carries what remains";
  EXPECT_EQ(Sent(0xF2), Bytes(link.image.code_image.begin(), link.image.code_image.begin() + 300));
  EXPECT_NE(log.text.find("Prepare for download ...  OK !"), std::string::npos) << log.text;
}

TEST_F(StandAloneBoardTest, A3000ByteImageWithNothingEnabled) {
  UseChip(test::FindChip([](const ChipRecord& r) { return FamilyCode(r) >= 45; }), "QMV");
  SetImage(3000);
  const test::ModelImage model = SendAndCompare();
  EXPECT_EQ(model.n, 3000);
  EXPECT_EQ(model.f, 3072);
  EXPECT_EQ(link.image.code_length, 5120);
  EXPECT_EQ(CountOf(0xF4), 40);
  const Bytes sent = Sent(0xF4);
  EXPECT_EQ(sent[280], 0);
  EXPECT_EQ(sent[281], 0);
  EXPECT_EQ(sent[282], 0xFF) << "no passwords: the password bytes stay 0xFF";
  EXPECT_NE(log.text.find("Programming user code ... OK !"), std::string::npos) << log.text;
}

// Every field the link can fill, in several shapes.
TEST_F(StandAloneBoardTest, EveryFieldAgainstTheTable) {
  struct Case {
    const char* name;
    int family_from;
    bool option_block_bit;
    std::function<void(IspLink&)> set;
  };
  const Case cases[] = {
      {"serial numbers, passwords, user key, user-interface command", 45, false,
       [](IspLink& l) {
         auto& s1 = l.placements.serial_numbers[0];
         s1.enabled = true;
         s1.address = 0x5000;
         s1.length = 2;
         s1.format = 1;
         s1.value[0] = 0x34;
         s1.value[1] = 0x12;
         s1.step[0] = 3;
         auto& s2 = l.placements.serial_numbers[1];
         s2.enabled = true;
         s2.address = 0x100;
         s2.length = 16;
         s2.format = 2;
         std::iota(s2.value.begin(), s2.value.end(), 0x30);
         s2.step[15] = 0x80;
         l.request.password_present = true;
         l.request.password.length = 5;
         std::copy_n("abcde", 5, l.request.password.bytes.begin());
         l.request.new_password.length = 63;
         l.request.new_password.bytes.fill('z');
         l.request.user_key_present = true;
         std::iota(l.image.user_key.begin(), l.image.user_key.end(), 0);
         l.request.commands.user_interface.enabled = true;
         l.request.commands.user_interface.baud = 9600;
         l.request.commands.user_interface.bytes.assign(40, 0xA1);   // only 32 are kept
         l.request.commands.user_interface_second.assign(35, 0xB2);  // only 31
         l.placements.user_interface.reply_length = 16;
         l.placements.user_interface.address = 0x6000;
         l.request.silent = true;
       }},
      {"options 16-18 set, P2, option flags, pass-through values", 1, true,
       [](IspLink& l) {
         l.image.option_bytes[16] = 0xF8;  // bit 0 clear: bytes 17 and 18 count
         l.image.option_bytes[17] = 0x12;
         l.image.option_bytes[18] = 0x34;
         l.image.option_bytes[15] = 0xFE;
         l.request.board.p1 = 0x21;
         l.request.board.p2 = true;
         l.request.board.p3 = 0x0A;
         l.request.pass_through = {7, 20, 0x01020304, 9, 11, {true, true, false, true}};
         l.request.program_variant = true;
         l.request.option_extra_value = 0x1FF;
         l.image.top_reserve = true;
         l.request.set_frequency = 12000000;
         l.clock.measured_frequency = 11059200;
         l.request.handshake_baud = 19200;
       }},
      {"bit 1 of option 15 below family 45: the whole code area", 1, false,
       [](IspLink& l) { l.image.option_bytes[15] = 0x02; }},
      {"bit 1 of option 15 from family 25", 25, false,
       [](IspLink& l) { l.image.option_bytes[15] = 0x03; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reset();
    port.payloads.clear();
    UseChip(test::FindChip([&](const ChipRecord& r) {
              return FamilyCode(r) >= c.family_from && r.code_size <= 65536 &&
                     ((r.flags & chip_flags::kOptionBlockBit) != 0) == c.option_block_bit;
            }),
            "QMV");
    SetImage(1000);
    c.set(link);
    SendAndCompare();
  }
  // The first case's edge values, read back as the table states them.
  Reset();
  port.payloads.clear();
  UseChip(test::FindChip([](const ChipRecord& r) { return FamilyCode(r) >= 45; }), "QMV");
  SetImage(1000);
  cases[0].set(link);
  ASSERT_EQ(WriteOfflineImage(link), kStepOk);
  const Bytes h = Sent(0xF4);
  EXPECT_EQ(Bytes(h.begin() + 96, h.begin() + 112),
            (Bytes{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x12, 0x34}));
  EXPECT_EQ(Bytes(h.begin() + 52, h.begin() + 56), (Bytes{0x00, 0x00, 0x50, 0x00}));
  EXPECT_EQ(h[164], 32);
  EXPECT_EQ(h[197], 31);
  EXPECT_EQ(h[17] & 0x10, 0) << "silent";
}

TEST_F(StandAloneBoardTest, ANameBeginningWithIrcStopsBelowTheTailReserve) {
  const int index = test::FindChip(
      [](const ChipRecord& r) { return r.tail_reserve > 0 && r.code_size <= 65536; });
  for (const char* name : {"irc15x", "IRC15X", "QMV15X"}) {
    SCOPED_TRACE(name);
    Reset();
    port.payloads.clear();
    UseChip(index, name);
    SetImage(static_cast<int>(Chip().code_size));
    const test::ModelImage model = SendAndCompare();
    const long long expected =
        name[0] == 'Q' ? Chip().code_size : Chip().code_size - Chip().tail_reserve;
    EXPECT_EQ(model.f, expected);
  }
}

// The checked area may reach past the 64 KB the image buffer was filled with:
// the board receives 0xFF there, never what the buffer held before.
TEST_F(StandAloneBoardTest, AnAreaPastTheFilledBufferIsSentAsFF) {
  UseChip(test::FindChip([](const ChipRecord& r) { return FamilyCode(r) >= 45; }), "QMV");
  SetImage(65536);
  std::fill(link.image.code_image.begin() + 65536, link.image.code_image.end(), 0x5A);
  auto& serial = link.placements.serial_numbers[0];
  serial.enabled = true;
  serial.address = 70000;
  serial.length = 4;
  const test::ModelImage model = SendAndCompare();
  EXPECT_EQ(model.n, 70004);
  const Bytes sent = Sent(0xF4);
  EXPECT_TRUE(
      std::all_of(sent.begin() + 2048 + 65536, sent.end(), [](auto b) { return b == 0xFF; }));
}

// An area that does not fit the image buffer behind the header is refused
// before anything is sent, whatever the project's numbers.
TEST_F(StandAloneBoardTest, AProgramPastTheBuffersIsRefusedUnsent) {
  struct Case {
    const char* name;
    std::function<void(IspLink&)> set;
  };
  const Case cases[] = {
      {"serial number far out",
       [](IspLink& l) {
         l.placements.serial_numbers[1].enabled = true;
         l.placements.serial_numbers[1].address = 0x7FFFFFF0;
         l.placements.serial_numbers[1].length = 255;
       }},
      {"reply area past the buffer",
       [](IspLink& l) {
         l.request.commands.user_interface.enabled = true;
         l.placements.user_interface.address = 196608 - 2048;
         l.placements.user_interface.reply_length = 1;
       }},
      {"image length past the image source", [](IspLink& l) { l.image.image_length = 131073; }},
      {"negative image length", [](IspLink& l) { l.image.image_length = -1; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reset();
    port.payloads.clear();
    log.text.clear();
    UseChip(test::FindChip([](const ChipRecord& r) { return FamilyCode(r) >= 45; }), "QMV");
    SetImage(1000);
    c.set(link);
    EXPECT_EQ(WriteOfflineImage(link), kStepFailedLogged);
    EXPECT_TRUE(port.payloads.empty());
    EXPECT_NE(log.text.find("the flasher holds"), std::string::npos) << log.text;
  }
}

// A refusal or a stop ends the operation at once: nothing further is sent.
TEST_F(StandAloneBoardTest, ARefusalOrAStopEndsAtOnce) {
  struct Case {
    const char* name;
    bool board_program;
    int refuse, stop;
    StepResult result;
    std::size_t sent;
  } const cases[] = {
      {"F1 refused", true, 1, -1, kStepRefused, 1},
      {"second F2 refused", true, 3, -1, kStepRefused, 3},
      {"F3 80 refused", true, 5, -1, kStepRefused, 5},
      {"fifth F4 refused", false, 5, -1, kStepRefused, 5},
      {"stop during the image", false, -1, 2, kStepStopped, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reset();
    port.payloads.clear();
    requests = 0;
    refuse_at = c.refuse;
    stop_at = c.stop;
    UseChip(test::FindChip([](const ChipRecord& r) { return FamilyCode(r) >= 45; }), "QMV");
    SetImage(3000);
    link.image.code_length = 300;
    EXPECT_EQ(c.board_program ? WriteBoardProgram(link) : WriteOfflineImage(link), c.result);
    EXPECT_EQ(port.payloads.size(), c.sent);
  }
}

}  // namespace
}  // namespace fw
