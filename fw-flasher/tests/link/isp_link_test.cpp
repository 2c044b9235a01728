// The link object: defaults, baud changes, port configuration and outputs.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "isp/link/isp_link.h"
#include "tests/support/captured_output.h"
#include "tests/support/scripted_port.h"
#include "tests/support/string_log.h"

namespace fw {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A link on a scripted port, its log kept in English and nothing echoed.
struct ScriptedLink {
  ScriptedLink() {
    link.port = &port;
    link.outputs.log_sink = &log;
    link.outputs.echo = nullptr;
    link.request.language = kLanguageEnglish;
  }
  test::ScriptedPort port;
  test::StringLog log;
  IspLink link;
};

TEST(IspLinkTest, ReinitialiseRestoresDefaultsAndFills) {
  IspLink link;
  link.request.language = 0;
  link.board.mode = 1;
  link.request.handshake_baud = 9600;
  link.clock.measured_frequency = 1;
  link.clock.trim_bytes[0] = 0x40;
  link.clock.trim_bytes[3] = 0x87;
  link.clock.frequency_adjusted = true;
  link.image.code_image[10] = 0x00;
  link.image.code_image[70000] = 0x12;
  link.target.chip_serial[3] = 9;
  link.Reinitialise();
  EXPECT_EQ(link.request.language, 1);
  EXPECT_EQ(link.board.mode, 0);
  EXPECT_EQ(link.request.handshake_baud, 2400);
  EXPECT_EQ(link.request.highest_baud, 115200);
  EXPECT_EQ(link.request.sync_burst, 1);
  EXPECT_EQ(link.framing.rx_expected, 5);
  EXPECT_EQ(link.clock.measured_frequency, 22118400);
  EXPECT_EQ(link.request.set_frequency, 11059200);
  for (std::uint8_t trim : link.clock.trim_bytes) EXPECT_EQ(trim, 0);
  EXPECT_FALSE(link.clock.frequency_adjusted);
  EXPECT_EQ(link.target.chip_serial[3], 0);
  ASSERT_EQ(link.image.code_image.size(), 196608u);
  EXPECT_EQ(link.image.code_image[10], 0xFF);
  EXPECT_EQ(link.image.code_image[65535], 0xFF);
  EXPECT_EQ(link.image.code_image[70000], 0x00);
  EXPECT_EQ(link.board.block_b.size(), 16384u);
  EXPECT_EQ(link.board.block_b[8191], 0xFF);
  EXPECT_EQ(link.board.block_b[8192], 0x00);
  EXPECT_EQ(link.board.block_a.size(), 2048u);
  EXPECT_EQ(link.image.app_block[0], 0x00);
  EXPECT_EQ(link.image.option_bytes.size(), 32u);
  EXPECT_EQ(link.image.option_bytes[31], 0xFF);
}

// A request whose every part differs from the defaults.
DownloadRequest FullRequest() {
  DownloadRequest r;
  r.language = kLanguageEnglish;
  r.chip.chip_index = 12;
  r.chip.id = 0x0412;
  r.chip.protocol_variant = 3;
  r.chip.baud_generator_variant = 2;
  r.chip.alternative_ids.fill(0x0412);
  r.chip.alternative_ids[0] = 0x0413;
  r.chip.name = std::string(40, 'n');
  r.image_source = Bytes(1024, 0x11);
  r.image_length = 1024;
  r.option_bytes[15] = 0xFE;  // bit 0 clear: 11.0592 MHz assumed
  r.option_bytes[31] = 0x31;
  r.user_key_present = true;
  r.user_key = Bytes(300, 0x5A);
  r.board.firmware_a = Bytes(3000, 0xA1);
  r.board.firmware_b = Bytes(100, 0xB2);
  r.serial_numbers[1].enabled = true;
  r.serial_numbers[1].address = 0x40;
  r.serial_numbers[1].value[0] = 0x77;
  r.commands.user_interface.enabled = true;
  r.commands.user_interface_reply_address = 0x2000;
  r.commands.user_interface_reply_length = 5000;
  return r;
}

// The parts of the link that start from the request: the target identity,
// the assumed clock, the buffers (each filled as far as it holds) and the
// placements.
TEST(IspLinkTest, ReinitialiseStartsFromTheRequest) {
  IspLink link;
  link.Reinitialise(FullRequest());
  EXPECT_EQ(link.target.chip_index, 12);
  EXPECT_EQ(link.target.expected_chip_id, 0x0412);
  EXPECT_EQ(link.target.protocol_variant, 3);
  EXPECT_EQ(link.target.baud_generator_variant, 2);
  EXPECT_EQ(link.target.alternative_ids[0], 0x0413);
  EXPECT_EQ(link.target.alternative_ids[15], 0x0412);
  EXPECT_EQ(std::string(link.target.chip_name), std::string(31, 'n'));
  EXPECT_STREQ(link.GetText(kMsgDeviceOpenFailed), GetText(kMsgDeviceOpenFailed, kLanguageEnglish));
  EXPECT_EQ(link.clock.measured_frequency, 11059200);
  EXPECT_EQ(link.image.image_length, 1024);
  EXPECT_EQ(link.image.image_source[1023], 0x11);
  EXPECT_EQ(link.image.image_source[1024], 0xFF);
  EXPECT_EQ(link.image.image_source.size(), ImageBuffers::kImageSourceSize);
  EXPECT_EQ(link.image.option_bytes[31], 0x31);
  EXPECT_EQ(link.image.user_key, Bytes(256, 0x5A));
  EXPECT_EQ(link.board.block_a_length, 2048);
  EXPECT_EQ(link.board.block_a[2047], 0xA1);
  EXPECT_EQ(link.board.block_b_length, 100);
  EXPECT_EQ(link.board.block_b[100], 0xFF);
  EXPECT_TRUE(link.placements.serial_numbers[1].enabled);
  EXPECT_EQ(link.placements.serial_numbers[1].value[0], 0x77);
  EXPECT_TRUE(link.placements.user_interface.enabled);
  EXPECT_EQ(link.placements.user_interface.address, 0x2000);
  EXPECT_EQ(link.placements.user_interface.reply_length, UserInterfaceReply::kReplyBufferSize);

  DownloadRequest fixed;
  fixed.frequency_override = true;
  fixed.fixed_frequency = 24000000;
  link.Reinitialise(fixed);
  EXPECT_EQ(link.clock.measured_frequency, 24000000);
}

// One request serves download after download, and link after link: what a
// download changed on its link is gone with the next re-initialisation, and
// the request the link holds is the one it was given.
TEST(IspLinkTest, ARequestIsCopiedNotChanged) {
  const DownloadRequest request = FullRequest();
  IspLink first;
  first.Reinitialise(request);
  first.serial.switched_baud = 57600;
  first.image.option_bytes[1] = 0x00;
  first.image.image_length = 512;
  first.clock.measured_frequency = 12000000;
  first.placements.serial_numbers[1].value[0] = '7';
  first.target.chip_index = 3;
  first.Reinitialise(request);
  IspLink second;
  second.Reinitialise(request);
  for (const IspLink* link : {&first, &second}) {
    EXPECT_TRUE(link->request == request);
    EXPECT_EQ(link->serial.switched_baud, 0);
    EXPECT_EQ(link->image.option_bytes[1], 0xFF);
    EXPECT_EQ(link->image.image_length, 1024);
    EXPECT_EQ(link->clock.measured_frequency, 11059200);
    EXPECT_EQ(link->placements.serial_numbers[1].value[0], 0x77);
    EXPECT_EQ(link->target.chip_index, 12);
  }
}

// What belongs to the application survives a re-initialisation; the download's
// own state does not.
TEST(IspLinkTest, ReinitialiseKeepsWhatTheApplicationOwns) {
  ScriptedLink s;
  IspLink& link = s.link;
  link.request.quiet_information = true;
  link.running = true;
  link.download_count = 3;
  link.request.board.p4 = true;
  link.board.block_a_length = 100;
  link.framing.frame_started = true;
  link.framing.send_buffer[0] = 0x8D;
  link.target.accept_any_chip = true;
  link.target.alternative_ids[15] = 0x1234;
  link.Reinitialise();
  EXPECT_EQ(link.port, &s.port);
  EXPECT_EQ(link.outputs.log_sink, &s.log);
  EXPECT_EQ(link.outputs.echo, nullptr);
  EXPECT_TRUE(link.running);
  EXPECT_EQ(link.download_count, 3) << "the board's repeat flag reads it";
  EXPECT_FALSE(link.request.quiet_information);
  EXPECT_FALSE(link.request.board.p4);
  EXPECT_EQ(link.board.block_a_length, 0);
  EXPECT_FALSE(link.framing.frame_started);
  EXPECT_EQ(link.framing.send_buffer[0], 0x00);
  EXPECT_FALSE(link.target.accept_any_chip);
  EXPECT_EQ(link.target.alternative_ids[15], 0);
  EXPECT_EQ(link.target.chip_id, 0xFFFF);
  EXPECT_EQ(link.target.block_size, 128);
}

TEST(IspLinkTest, SyncMayGoOutOnlyBetweenFramesAndWithoutABoard) {
  ScriptedLink s;
  IspLink& link = s.link;
  test::ScriptedPort& port = s.port;
  EXPECT_TRUE(link.MaySendSync());
  port.Arrive({0x46});
  link.ReceivePacket(link.framing.receive_buffer, false);
  EXPECT_FALSE(link.MaySendSync()) << "a frame has started";
  port.Arrive({0x33});
  link.ReceivePacket(link.framing.receive_buffer, false);
  EXPECT_TRUE(link.MaySendSync()) << "noise ends it";
  link.board.mode = true;
  EXPECT_FALSE(link.MaySendSync()) << "a board does the synchronising";
}

// A wait ends for a stop first, then for a port that is gone (logged with its
// name), then for the time-out.
TEST(IspLinkTest, LostPortEndsAWaitWithItsNameInTheLog) {
  ScriptedLink s;
  IspLink& link = s.link;
  link.running = true;
  link.StartTimeout(IspLink::kNoTimeout);
  EXPECT_EQ(link.CheckWait(), kStepOk);
  s.port.lost = true;
  EXPECT_EQ(link.WaitForReply(IspLink::kNoTimeout), kStepFailedLogged);
  EXPECT_EQ(s.log.text, "\r\nThe port scripted is gone (unplugged or closed) !\r\n");
  link.board.mode = true;
  EXPECT_EQ(link.SetBaud(38400, 0x8E), kStepFailedLogged) << "the board's acknowledgement";
  link.running = false;
  EXPECT_EQ(link.CheckWait(), kStepStopped);
  link.running = true;
  s.port.lost = false;
  link.StartTimeout(1);
  link.Pause(5);
  EXPECT_EQ(link.CheckWait(), kStepTimedOut);
}

// A stop request ends every wait even while running is set (a flow sets it
// again at its start), and it survives re-initialisation.
TEST(IspLinkTest, AStopRequestEndsAWaitWhateverRunningSays) {
  ScriptedLink s;
  IspLink& link = s.link;
  link.running = true;
  link.StartTimeout(IspLink::kNoTimeout);
  link.stop_requested = true;
  EXPECT_EQ(link.CheckWait(), kStepStopped);
  link.Reinitialise();
  link.running = true;
  EXPECT_TRUE(link.stop_requested);
  EXPECT_EQ(link.WaitForReply(IspLink::kNoTimeout), kStepStopped);
  link.stop_requested = false;
  EXPECT_TRUE(link.KeepsRunning());
}

TEST(IspLinkTest, ReplyChecksumOfEitherWidth) {
  ScriptedLink s;
  IspLink& link = s.link;
  test::ScriptedPort& port = s.port;
  // Payload 00 F0 11 with the 16-bit checksum: 0x68 + 0x09 + 0xF0 + 0x11 = 0x0172.
  port.Arrive({0x46, 0xB9, 0x68, 0x00, 0x09, 0x00, 0xF0, 0x11, 0x01, 0x72, 0x16});
  ASSERT_TRUE(link.ReceivePacket(link.framing.receive_buffer, false));
  EXPECT_TRUE(link.ReplyPassesChecksum(true));
  EXPECT_FALSE(link.ReplyPassesChecksum(false));
  EXPECT_EQ(link.ReplyCode(), 0x00);
  // The same payload with the 8-bit checksum: 0x68 + 0x08 + 0xF0 + 0x11 = 0x171.
  port.Arrive({0x46, 0xB9, 0x68, 0x00, 0x08, 0x00, 0xF0, 0x11, 0x71, 0x16});
  ASSERT_TRUE(link.ReceivePacket(link.framing.receive_buffer, false));
  EXPECT_TRUE(link.ReplyPassesChecksum(false));
  EXPECT_FALSE(link.ReplyPassesChecksum(true));
}

TEST(IspLinkTest, SetBaudDirectAndBoardMode) {
  test::ScriptedPort port;
  IspLink link;
  link.port = &port;
  link.outputs.echo = nullptr;
  link.running = true;
  EXPECT_EQ(link.SetBaud(57600, -1), kStepOk);
  EXPECT_EQ(port.lines_set.back().baud, 57600);
  EXPECT_GE(port.purges, 1);
  EXPECT_TRUE(port.writes.empty());

  link.board.mode = 1;
  link.target.protocol_variant = 0;
  EXPECT_EQ(link.SetBaud(14400, -1), kStepOk);
  ASSERT_EQ(port.writes.size(), 1u);
  EXPECT_EQ(port.writes[0],
            (Bytes{0x46, 0xB9, 0x6A, 0x00, 0x0A, 0xFF, 0x02, 0x0C, 0x00, 0x01, 0x81, 0x16}));

  // Above 115,200 the code counts multiples of it.
  port.writes.clear();
  link.target.protocol_variant = 4;
  link.SetBaud(230400, -1);
  EXPECT_EQ(port.writes.at(0)[7], 0x82);
  EXPECT_EQ(port.writes.at(0)[8], 0x01);

  // The board echoes the command code first.
  port.writes.clear();
  port.Arrive({0x8E});
  EXPECT_EQ(link.SetBaud(38400, 0x8E), kStepOk);
  EXPECT_EQ(port.writes.size(), 1u);
  port.Arrive({0x11});
  EXPECT_EQ(link.SetBaud(38400, 0x8E), kStepRefused);
  link.running = false;
  EXPECT_EQ(link.SetBaud(38400, 0x8E), kStepStopped);
}

TEST(IspLinkTest, DirectPortConfigurationFollowsProtocolVariant) {
  test::ScriptedPort port;
  IspLink link;
  link.port = &port;
  link.request.handshake_baud = 4800;
  link.target.protocol_variant = 0;
  link.ConfigureDirectPort();
  EXPECT_EQ(port.lines_set.back().baud, 4800);
  EXPECT_EQ(port.lines_set.back().parity, Parity::kNone);
  EXPECT_EQ(port.lines_set.back().data_bits, 8);
  EXPECT_EQ(port.timeouts.read_total_multiplier_ms, 10);
  EXPECT_EQ(port.timeouts.write_total_constant_ms, 5000);
  link.target.protocol_variant = 2;
  link.ConfigureDirectPort();
  EXPECT_EQ(port.lines_set.back().parity, Parity::kEven);
}

TEST(IspLinkTest, LogAndProgressReachSinksAndEcho) {
  IspLink link;
  test::StringLog log;
  link.outputs.log_sink = &log;
  struct Progress : ProgressSink {
    void SetPosition(int p) override { positions.push_back(p); }
    std::vector<int> positions;
  } progress;
  const std::string out = test::CaptureOutput([&](std::FILE* echo) {
    link.outputs.echo = echo;
    LogMessage(link, "  MCU type: %s\r\n", "QMV");
    LogMessage(link, "%d.%d", 7, 2);
    EXPECT_EQ(log.text, "  MCU type: QMV\r\n7.2");
    LogMessage(link, nullptr);
    EXPECT_EQ(log.text, "");
    // Long text is cut to the 1,024-byte buffer, not overrun.
    std::string long_text(3000, 'x');
    LogMessage(link, "%s", long_text.c_str());
    EXPECT_EQ(log.text.size(), 1023u);

    link.outputs.progress_sink = &progress;
    link.SetProgress(50, 200);
    link.SetProgress(7, 0);
    EXPECT_EQ(progress.positions, (std::vector<int>{25, 7}));
    link.outputs.echo = nullptr;
  });
  // The log window keeps CR LF; a terminal or a pipe gets LF.
  EXPECT_NE(out.find("  MCU type: QMV\n7.2"), std::string::npos) << out;
  EXPECT_EQ(out.find('\r'), std::string::npos) << out;
  EXPECT_NE(out.find("  25%\b\b\b\b\b"), std::string::npos);
}

TEST(IspLinkTest, TextIsLoggedWholeAndAsItIs) {
  IspLink link;
  test::StringLog log;
  link.outputs.log_sink = &log;
  std::string text;
  for (int i = 0; i < 200; ++i) text += "100% line " + std::to_string(i) + "\r\n";
  const std::string out = test::CaptureOutput([&](std::FILE* echo) {
    link.outputs.echo = echo;
    LogText(link, text);
    link.outputs.echo = nullptr;
  });
  EXPECT_EQ(log.text, text);
  EXPECT_EQ(out.size(), text.size() - 200);
  EXPECT_EQ(out.substr(0, 21), "100% line 0\n100% line");
  EXPECT_EQ(out.substr(out.size() - 14), "100% line 199\n");
}

TEST(IspLinkTest, GetTextFollowsTheLinkLanguage) {
  IspLink link;
  link.request.language = 1;
  EXPECT_STREQ(link.GetText(8000), "正在检测目标单片机 ... \r\n");
  link.request.language = 0;
  EXPECT_STREQ(link.GetText(8000), "Checking target MCU ... \r\n");
  EXPECT_EQ(link.GetText(9999), nullptr);
}

}  // namespace
}  // namespace fw
