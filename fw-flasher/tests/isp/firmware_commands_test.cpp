// The user-interface command and the pre-command: their line settings, bytes
// and pauses, the reply read into the reply buffer, and the waits for it that
// a time-out, a stop or a lost port end.
#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "isp/firmware_commands.h"
#include "isp/link/isp_link.h"
#include "isp/link/termios_port.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/scripted_port.h"
#include "tests/support/string_log.h"

namespace fw {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

struct Scripted {
  Scripted() {
    link.Reinitialise();
    link.port = &port;
    link.outputs.log_sink = &log;
    link.outputs.echo = nullptr;
    link.request.language = kLanguageEnglish;
    link.running = true;
  }
  test::ScriptedPort port;
  test::StringLog log;
  IspLink link;
};

void EnableUserInterface(IspLink& link, int reply_length) {
  TargetCommand& ui = link.request.commands.user_interface;
  ui.enabled = true;
  ui.baud = 9600;
  ui.parity = 3;  // mark
  ui.stop_bits = 2;
  ui.bytes = {0xA0, 0xA1, 0xA2};
  link.request.commands.user_interface_second = {0xB0, 0xB1};
  link.placements.user_interface.enabled = true;
  link.placements.user_interface.reply_length = reply_length;
}

TEST(FirmwareCommandsTest, LineSettingsOfEachParityAndStopBits) {
  struct Case {
    int parity;
    int stop_bits;
    Parity line_parity;
    int line_stop_bits;
  };
  const Case cases[] = {
      {0, 0, Parity::kNone, 1},
      {1, 0, Parity::kOdd, 1},
      {2, 2, Parity::kEven, 2},
      {3, 1, Parity::kMark, 2},
      {4, 0, Parity::kSpace, 1},
      // Outside the control block's numbers: none and one.
      {5, 3, Parity::kNone, 1},
      {-1, -1, Parity::kNone, 1},
  };
  for (const Case& c : cases) {
    TargetCommand command;
    command.baud = 4800;
    command.parity = c.parity;
    command.stop_bits = c.stop_bits;
    LineSettings line;
    line.data_bits = 7;
    line.binary = false;
    ApplyCommandLine(command, line);
    EXPECT_EQ(line.baud, 4800);
    EXPECT_EQ(line.data_bits, 8);
    EXPECT_TRUE(line.binary);
    EXPECT_EQ(line.parity, c.line_parity) << c.parity;
    EXPECT_EQ(line.stop_bits, c.line_stop_bits) << c.stop_bits;
  }
  TargetCommand no_rate;
  LineSettings line;
  line.baud = 2400;
  ApplyCommandLine(no_rate, line);
  EXPECT_EQ(line.baud, 2400) << "a rate of 0 keeps the line's";
}

TEST(FirmwareCommandsTest, TheReplyGoesIntoTheReplyBuffer) {
  Scripted s;
  EnableUserInterface(s.link, 5);
  s.port.Arrive({0x11, 0x22});
  s.port.Arrive({0x33, 0x44, 0x55, 0x66});  // one byte more than the reply
  EXPECT_EQ(SendUserInterfaceCommand(s.link), kStepOk);
  EXPECT_EQ(Bytes(s.link.placements.user_interface.reply.begin(),
                  s.link.placements.user_interface.reply.begin() + 6),
            (Bytes{0x11, 0x22, 0x33, 0x44, 0x55, 0x00}));
  // The first bytes one at a time, then the second bytes one at a time.
  EXPECT_EQ(s.port.writes, (std::vector<Bytes>{{0xA0}, {0xA1}, {0xA2}, {0xB0}, {0xB1}}));
  EXPECT_EQ(s.link.pauses.count, 5);
  EXPECT_EQ(s.link.pauses.total_ms, 25);
  ASSERT_EQ(s.port.lines_set.size(), 1u);
  EXPECT_EQ(s.port.lines_set[0].baud, 9600);
  EXPECT_EQ(s.port.lines_set[0].parity, Parity::kMark);
  EXPECT_EQ(s.port.lines_set[0].stop_bits, 2);
  // Reads come back within a short time.
  EXPECT_EQ(s.port.timeouts.read_total_multiplier_ms, 0);
  EXPECT_GT(s.port.timeouts.read_total_constant_ms, 0);
  EXPECT_LE(s.port.timeouts.read_total_constant_ms, 50);
  EXPECT_EQ(s.log.text, "Connecting with user face ... \r\nConnected OK !\r\n\r\n");
}

TEST(FirmwareCommandsTest, NothingWhenNotEnabled) {
  Scripted s;
  EXPECT_EQ(SendUserInterfaceCommand(s.link), kStepOk);
  SendPreCommand(s.link);
  EXPECT_TRUE(s.port.writes.empty());
  EXPECT_TRUE(s.port.lines_set.empty());
  EXPECT_EQ(s.log.text, "");
}

TEST(FirmwareCommandsTest, AReplyOfNoBytesNeedsNoRead) {
  Scripted s;
  EnableUserInterface(s.link, 0);
  EXPECT_EQ(SendUserInterfaceCommand(s.link), kStepOk);
  EXPECT_EQ(s.port.reads, 0);
  EXPECT_EQ(s.port.writes.size(), 5u);
}

TEST(FirmwareCommandsTest, AStopOrALostPortEndsTheWaitForTheReply) {
  {
    Scripted s;
    EnableUserInterface(s.link, 4);
    s.link.stop_requested = true;
    EXPECT_EQ(SendUserInterfaceCommand(s.link), kStepStopped);
    EXPECT_EQ(s.port.writes.size(), 3u) << "no second bytes";
    EXPECT_EQ(s.log.text.find("Connected OK"), std::string::npos);
  }
  {
    Scripted s;
    EnableUserInterface(s.link, 4);
    s.port.lost = true;
    EXPECT_EQ(SendUserInterfaceCommand(s.link), kStepFailedLogged);
  }
}

TEST(FirmwareCommandsTest, ThePreCommandGoesInOneWriteThenAPause) {
  Scripted s;
  TargetCommand& pre = s.link.request.commands.pre_command;
  pre.enabled = true;
  pre.baud = 19200;
  pre.parity = 4;
  pre.bytes = {0x24, 0xFF, 0x01, 0xFD, 0x21};
  SendPreCommand(s.link);
  EXPECT_EQ(s.port.writes, (std::vector<Bytes>{{0x24, 0xFF, 0x01, 0xFD, 0x21}}));
  ASSERT_EQ(s.port.lines_set.size(), 1u);
  EXPECT_EQ(s.port.lines_set[0].baud, 19200);
  EXPECT_EQ(s.port.lines_set[0].parity, Parity::kSpace);
  EXPECT_EQ(s.link.pauses.total_ms, 50);
}

// Over a real terminal: a silent target ends the wait after 5,000 ms, and a
// stop from another thread ends it at once.
TEST(FirmwareCommandsTest, TheWaitEndsAfterFiveSecondsOrAtAStop) {
  test::PseudoTerminal pty;
  ASSERT_TRUE(pty.ok());
  TermiosPort port;
  ASSERT_TRUE(port.Open(pty.slave_path())) << port.error();
  test::StringLog log;
  IspLink link;
  link.Reinitialise();
  link.port = &port;
  link.outputs.log_sink = &log;
  link.outputs.echo = nullptr;
  link.running = true;
  EnableUserInterface(link, 8);

  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(SendUserInterfaceCommand(link), kStepTimedOut);
  auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, 5000ms);
  EXPECT_LT(took, 5500ms);

  std::thread stopper([&] {
    std::this_thread::sleep_for(300ms);
    link.stop_requested = true;
  });
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(SendUserInterfaceCommand(link), kStepStopped);
  took = std::chrono::steady_clock::now() - start;
  stopper.join();
  EXPECT_LT(took, 600ms);
}

}  // namespace
}  // namespace fw
