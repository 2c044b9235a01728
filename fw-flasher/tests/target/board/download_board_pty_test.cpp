// A download board in front of the chip, over a pseudo-terminal.
#include <gtest/gtest.h>

#include <numeric>

#include "isp/handshake.h"
#include "target/board/download_board.h"
#include "target/board/project_scramble.h"
#include "tests/support/scripted_port.h"
#include "tests/support/sim_session.h"
#include "tests/support/string_log.h"

#include <cstring>

namespace fw {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using test::ChipOfFamily;
using test::SimSession;

class CountingQuestion : public YesNoQuestion {
 public:
  explicit CountingQuestion(bool answer) : answer_(answer) {}
  bool Ask(std::string_view text) override {
    asked.emplace_back(text);
    return answer_;
  }
  std::vector<std::string> asked;

 private:
  bool answer_;
};

sim::SimChipConfig Chip(int index) {
  sim::SimChipConfig c;
  c.chip_index = index;
  return c;
}

bool HasPacket(const std::vector<Bytes>& packets, const Bytes& p) {
  return std::find(packets.begin(), packets.end(), p) != packets.end();
}

TEST(DownloadBoardPtyTest, IdentityLinesAndBoardModeAfterwards) {
  const int index = ChipOfFamily(11);
  sim::SimBoardConfig board;
  board.present = true;
  board.version = 297;
  board.model_code = 0x42;
  board.flash_code = 18;
  SimSession s(Chip(index), board);
  s.Open(index);
  s.link.request.board.p1 = 0x21;
  s.link.request.board.p3 = 0x0A;
  test::Countdown bound(s.link, 10s);
  ASSERT_EQ(Handshake(s.link), kStepOk) << s.log.text;
  EXPECT_EQ(s.link.board.mode, 1);
  EXPECT_TRUE(s.Logged("  Board Type: QMV-DB5 Mini (5V)\r\n"));
  EXPECT_TRUE(s.Logged("  Board version: 1.41\r\n"));
  EXPECT_TRUE(s.Logged("  Have 256K Bytes external Flash\r\n"));
  EXPECT_FALSE(s.Logged("Notice")) << "9,216 at 2,400 baud is the right crystal";
  EXPECT_TRUE(s.Logged("Re-Checking target MCU ... \r\n"));
  const auto packets = s.sim().HostPackets();
  EXPECT_TRUE(HasPacket(packets, {0xFF, 0x06, 0xD0, 0xFF}));
  EXPECT_TRUE(HasPacket(packets, {0xFF, 0x0A, 0x01}));
  EXPECT_TRUE(HasPacket(packets, {0xFF, 0x02, 0x02, 0x01}));
  EXPECT_TRUE(HasPacket(packets, {0xFF, 0x04, 0x00}));
  EXPECT_TRUE(HasPacket(packets, {0xFF, 0x01, 0x21}));
  EXPECT_TRUE(HasPacket(packets, {0xFF, 0x03, 0x21}));
  EXPECT_TRUE(HasPacket(packets, {0xF8, 0x21, 0x00, 0x03, 0x0A, 0x00}));
  // The chip's reply came through the board with the 16-bit checksum.
  ASSERT_EQ(IdentifyTarget(s.link), kStepOk) << s.log.text;
  EXPECT_EQ(s.link.target.chip_index, index);
}

TEST(DownloadBoardPtyTest, IdentityLineRules) {
  struct Case {
    const char* name;
    int version, model, flash, crystal;
    std::vector<const char*> lines;
    std::vector<const char*> absent;
  } const cases[] = {
      {"crystal off by 0.91 %",
       289,
       0x50,
       0,
       9300,
       {"  Notice: The 22.1184 MHz xtal in this tool maybe damaged\r\n          The freq. actual "
        "is 22.320 MHz\r\n",
        "  No external Flash\r\n", "  Board Type: QMV-DB5\r\n"},
       {}},
      {"288 has no crystal check", 288, 0x50, 0, 9300, {"  Board version: 1.32\r\n"}, {"Notice"}},
      {"283 has no board type", 283, 0x50, 0, 9216, {"  No external Flash\r\n"}, {"Board Type"}},
      {"unknown model has no board type", 297, 0x45, 0, 9216, {}, {"Board Type"}},
      {"256 has no flash line", 256, 0x50, 17, 9216, {"  Board version: 1.0\r\n"}, {"Flash"}},
      {"unknown flash size", 297, 0x50, 99, 9216, {"  Have unknown external Flash\r\n"}, {}},
  };
  const int index = ChipOfFamily(45);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sim::SimBoardConfig board;
    board.present = true;
    board.version = c.version;
    board.model_code = c.model;
    board.flash_code = c.flash;
    board.crystal_count = c.crystal;
    SimSession s(Chip(index), board);
    s.Open(index);
    test::Countdown bound(s.link, 10s);
    ASSERT_EQ(Handshake(s.link), kStepOk) << s.log.text;
    for (const char* line : c.lines) EXPECT_TRUE(s.Logged(line)) << line << "\n" << s.log.text;
    for (const char* text : c.absent) EXPECT_FALSE(s.Logged(text)) << text;
  }
}

TEST(DownloadBoardPtyTest, UpdateQuestionsByVersion) {
  struct Case {
    int version;
    int asked_message;  // 0: none
  } const cases[] = {{297, 0}, {259, 0}, {260, 8123}, {296, 8123}, {298, 8122}};
  const int index = ChipOfFamily(45);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.version);
    sim::SimBoardConfig board;
    board.present = true;
    board.version = c.version;
    SimSession s(Chip(index), board);
    s.Open(index);
    CountingQuestion no(false);
    s.link.outputs.question = &no;
    s.link.board.block_a_length = 10;
    s.link.board.block_b_length = 10;
    test::Countdown bound(s.link, 10s);
    ASSERT_EQ(Handshake(s.link), kStepOk) << s.log.text;
    if (c.asked_message == 0) {
      EXPECT_TRUE(no.asked.empty());
    } else {
      ASSERT_EQ(no.asked.size(), 1u);
      EXPECT_EQ(no.asked[0], s.link.GetText(c.asked_message));
    }
    EXPECT_TRUE(HasPacket(s.sim().HostPackets(), {0xFF, 0x0A, 0x01}))
        << "No keeps the present firmware";
    EXPECT_FALSE(s.sim().board_updated());
  }
  // Without firmware blocks in the project nobody is asked.
  sim::SimBoardConfig board;
  board.present = true;
  board.version = 290;
  SimSession s(Chip(index), board);
  s.Open(index);
  CountingQuestion yes(true);
  s.link.outputs.question = &yes;
  test::Countdown bound(s.link, 10s);
  ASSERT_EQ(Handshake(s.link), kStepOk);
  EXPECT_TRUE(yes.asked.empty());
}

TEST(DownloadBoardPtyTest, AcceptedUpdateSendsTheFirmwareAndReconnects) {
  const int index = ChipOfFamily(45);
  sim::SimBoardConfig board;
  board.present = true;
  board.version = 290;
  board.model_code = 0x45;
  board.version_after_update = 297;
  SimSession s(Chip(index), board);
  s.Open(index);
  CountingQuestion yes(true);
  s.link.outputs.question = &yes;
  s.link.request.board.p2 = 1;

  // Block A as it is; block B held scrambled, as the project carries it.
  Bytes block_a(300);
  for (std::size_t i = 0; i < block_a.size(); ++i) block_a[i] = static_cast<std::uint8_t>(i * 3);
  Bytes plain_b(1000);
  for (std::size_t i = 0; i < plain_b.size(); ++i) plain_b[i] = static_cast<std::uint8_t>(i ^ 0x5A);
  Bytes held_b = plain_b;
  ScrambleProjectBytes(held_b.data(), held_b.size());
  std::copy(block_a.begin(), block_a.end(), s.link.board.block_a.begin());
  std::copy(held_b.begin(), held_b.end(), s.link.board.block_b.begin());
  s.link.board.block_a_length = 300;
  s.link.board.block_b_length = 1000;

  test::Countdown bound(s.link, 20s);
  ASSERT_EQ(Handshake(s.link), kStepOk) << s.log.text;
  EXPECT_EQ(yes.asked.size(), 1u) << "the updated board reports 297 and is not asked about again";
  EXPECT_TRUE(s.Logged(
      "Upgrading firmware automatically, DO NOT PLUG OUT USB CABLE ... Completed !\r\n\r\n"));
  EXPECT_TRUE(s.Logged("Reconnect download board ... \r\n"));
  EXPECT_TRUE(s.Logged("Re-Checking target MCU ... \r\n"));
  EXPECT_EQ(s.link.board.mode, 1);
  EXPECT_EQ(s.sim().board_version(), 297);

  EXPECT_EQ(s.sim().BoardBlockA(), block_a);
  EXPECT_EQ(s.sim().announced_board_blocks(), 6);
  const Bytes image = s.sim().BoardImage();
  ASSERT_EQ(image.size(), 3048u);
  EXPECT_EQ(image[0], 0x5A);
  EXPECT_EQ(image[1], 0xA5);
  const std::uint32_t held_sum = std::accumulate(held_b.begin(), held_b.end(), 0u);
  EXPECT_EQ(image[4] << 8 | image[5], held_sum & 0xFFFF);
  EXPECT_EQ(image[6] << 24 | image[7] << 16 | image[8] << 8 | image[9], 1000);
  EXPECT_EQ(image[16], 0x40);
  EXPECT_EQ(image[17], 0x00);
  EXPECT_EQ(image[50], 0x00);
  EXPECT_EQ(image[10], 0xFF);
  const std::uint32_t header_sum = std::accumulate(image.begin() + 4, image.begin() + 1024, 0u);
  EXPECT_EQ(image[2] << 8 | image[3], header_sum & 0xFFFF);
  // Block B comes back scrambled, with its last byte set for model 45.
  Bytes sent_b(image.begin() + 2048, image.end());
  UnscrambleProjectBytes(sent_b.data(), sent_b.size());
  Bytes expected_b = plain_b;
  expected_b.back() = 0xFF;
  EXPECT_EQ(sent_b, expected_b);

  int f2 = 0, f4 = 0, f6 = 0;
  std::size_t last_f6 = 0;
  const auto packets = s.sim().HostPackets();
  for (const auto& p : packets) {
    f2 += p[0] == 0xF2;
    f4 += p[0] == 0xF4;
    if (p[0] == 0xF6) {
      ++f6;
      last_f6 = p.size() - 4;
    }
  }
  EXPECT_EQ(f2, 3);
  EXPECT_EQ(f4, 16);
  EXPECT_EQ(f6, 8);
  EXPECT_EQ(last_f6, 104u);
  EXPECT_TRUE(HasPacket(packets, {0xFF, 0x0A, 0xD0}));
  EXPECT_TRUE(HasPacket(packets, {0xF1, 0x00}));
  EXPECT_TRUE(HasPacket(packets, {0xF3, 0x06}));
  EXPECT_TRUE(HasPacket(packets, {0xFF, 0x08, 0x20, 0x36, 0xC9}));
  EXPECT_TRUE(HasPacket(packets, {0xFF, 0x07}));
  ASSERT_EQ(IdentifyTarget(s.link), kStepOk) << s.log.text;
}

TEST(DownloadBoardPtyTest, ConnectDownloadBoardReachesTheBoard) {
  const int index = ChipOfFamily(45);
  sim::SimBoardConfig board;
  board.present = true;
  SimSession s(Chip(index), board);
  s.Open(index);
  test::Countdown bound(s.link, 10s);
  ASSERT_EQ(ConnectDownloadBoard(s.link), kStepOk) << s.log.text;
  EXPECT_EQ(s.link.board.mode, 1);
  EXPECT_EQ(s.log.text.rfind("Checking download board ... \r\n  Board Type: QMV-DB5\r\n", 0), 0u)
      << s.log.text;
  for (const auto& w : s.recording().writes) {
    if (w[0] == 0x7F) {
      EXPECT_EQ(w.size(), 1u) << "one sync byte at a time";
    }
  }
  EXPECT_EQ(s.recording().lines_set.front().parity, Parity::kEven);
}

// Board replies scripted byte for byte, for the failure paths of the update.
class BoardScriptTest : public ::testing::Test {
 protected:
  void SetUp() override {
    link.port = &port;
    link.outputs.echo = nullptr;
    link.outputs.log_sink = &log;
    link.request.language = 0;
    link.running = true;
    link.outputs.question = &yes;
    link.board.block_a_length = 4;
    link.board.block_b_length = 4;
    // A board version 290 identity reply, as it sits in the receive buffer.
    std::memset(link.framing.receive_buffer, 0, 32);
    link.framing.receive_buffer[0] = 0x51;
    link.framing.receive_buffer[1] = 0x01;
    link.framing.receive_buffer[2] = 0x22;
    link.framing.receive_buffer[16] = 0x00;  // crystal count 9,216
    link.framing.receive_buffer[17] = 0x24;
    link.framing.received_length = 23;
  }
  static Bytes Ack(std::uint8_t code) {
    Bytes f = {0x46, 0xB9, 0x68, 0x00, 0x08, code, 0x54};
    const std::uint32_t sum = 0x68 + 0x08 + code + 0x54;
    f.push_back(static_cast<std::uint8_t>(sum >> 8));
    f.push_back(static_cast<std::uint8_t>(sum));
    f.push_back(0x16);
    return f;
  }

  test::ScriptedPort port;
  test::StringLog log;
  CountingQuestion yes{true};
  IspLink link;
};

TEST_F(BoardScriptTest, WrongAcknowledgementEndsTheUpdate) {
  Bytes wrong = Ack(0xF1);
  wrong[6] = 0x55;  // not 'T'
  wrong[8] = static_cast<std::uint8_t>(0x68 + 0x08 + 0xF1 + 0x55);
  port.Arrive(wrong);
  EXPECT_EQ(CheckDownloadBoard(link, nullptr), kStepRefused);
  EXPECT_EQ(link.board.mode, 1);
}

TEST_F(BoardScriptTest, MissingAcknowledgementTimesOut) {
  port.Arrive(Ack(0xF1));  // F1 is answered, the first F2 is not
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(CheckDownloadBoard(link, nullptr), kStepTimedOut);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 1900ms);
}

TEST_F(BoardScriptTest, StopEndsTheWait) {
  test::Countdown stop(link, 300ms);
  EXPECT_EQ(CheckDownloadBoard(link, nullptr), kStepStopped);
}

TEST_F(BoardScriptTest, VersionOutAndNoUpdateWithoutBlocks) {
  link.board.block_b_length = 0;
  int version = 0;
  EXPECT_EQ(CheckDownloadBoard(link, &version), kStepOk);
  EXPECT_EQ(version, 290);
  EXPECT_TRUE(yes.asked.empty());
  EXPECT_EQ(log.text, "  Board version: 1.34\r\n  No external Flash\r\n\r\n");
  ASSERT_FALSE(port.lines_set.empty());
  EXPECT_EQ(port.lines_set.back().baud, 115200);
  EXPECT_EQ(port.lines_set.back().parity, Parity::kEven);
}

TEST_F(BoardScriptTest, ConnectDownloadBoardFindsAChipInstead) {
  Bytes chip = {0x46, 0xB9, 0x68, 0x00, 0x06, 0x50, 0xBE, 0x16};
  port.Arrive(chip);
  EXPECT_EQ(ConnectDownloadBoard(link), kStepFailedLogged);
  EXPECT_EQ(log.text,
            "Checking download board ... \r\n\r\n  Connect fail !\r\n"
            "  Please check P3.2/P3.3 switch to download mode !\r\n");
  EXPECT_EQ(port.lines_set.back().parity, Parity::kEven);
  port.Arrive({0x46, 0xB9, 0x68, 0x00, 0x06, 0x33, 0xA1, 0x16});
  EXPECT_EQ(ConnectDownloadBoard(link), kStepRefused);
}

TEST(DownloadBoardTablesTest, ModelFlashAndFirmwareByte) {
  EXPECT_STREQ(*BoardModelName(0x50), "QMV-DB5");
  EXPECT_STREQ(*BoardModelName(0x22), "QMV-DB6 Mini (5V)");
  for (int bad : {0x00, 0x45, 0x53, 0x10, 0x60})
    EXPECT_FALSE(BoardModelName(bad).has_value()) << bad;
  struct Flash {
    int code;
    const char* text;
  } const flash[] = {{16, "64K"},   {123, "64K"}, {17, "128K"},  {124, "128K"}, {18, "256K"},
                     {125, "256K"}, {19, "512K"}, {126, "512K"}, {20, "1M"},    {21, "2M"},
                     {22, "4M"},    {23, "8M"},   {24, "16M"}};
  for (const auto& f : flash) EXPECT_STREQ(ExternalFlashSizeText(f.code), f.text) << f.code;
  for (int bad : {0, 15, 25, 122, 127}) EXPECT_EQ(ExternalFlashSizeText(bad), nullptr) << bad;
  struct Model {
    int code;
    std::uint8_t byte;
  } const models[] = {{0x00, 0xFF}, {0x45, 0xFF}, {0x03, 0x11}, {0x05, 0x12},
                      {0x13, 0x31}, {0x15, 0x32}, {0x42, 0x42}, {0x50, 0x50}};
  for (const auto& m : models) EXPECT_EQ(FirmwareModelByte(m.code), m.byte) << m.code;
}

}  // namespace
}  // namespace fw
