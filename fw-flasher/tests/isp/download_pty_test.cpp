// Whole downloads over pseudo-terminals into isp-sim: one chip of every
// protocol variant and both sequences that need no clock measurement, the
// flash compared with the image, and the failures a chip can show.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <numeric>
#include <thread>

#include "isp/serial_download.h"
#include "tests/support/expected_flash.h"
#include "tests/support/sim_session.h"

namespace fw {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kClock = 11059200;

struct Download {
  int family;
  int fw;
  int image_length = 1536;
};

class DownloadPtyTest : public ::testing::Test {
 protected:
  void Start(const Download& d, sim::SimRunConfig run = {}, sim::SimChipConfig chip = {},
             sim::SimBoardConfig board = {}) {
    index = test::ChipOfFamily(d.family);
    ASSERT_GT(index, 0);
    chip.chip_index = index;
    chip.fw_version = d.fw;
    chip.frequency = kClock;
    run.on_note = [this](const std::string& note) { notes += note + "\n"; };
    session = std::make_unique<test::SimSession>(chip, board, std::move(run));
    session->Open(index);
    IspLink& link = session->link;
    // The image: the first bytes count up, a blank block, then more data.
    link.image.image_length = d.image_length;
    for (int i = 0; i < d.image_length; ++i) {
      link.image.image_source[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i * 3 + 1);
    }
    std::fill_n(link.image.image_source.begin() + 128, 128, 0xFF);
    link.image.option_bytes[15] = 0x00;  // no chip parameters at the top
    link.image.option_bytes[0] = 0xFE;   // keep the chip's clock as it is
    link.request.highest_baud = 115200;
  }
  int Run(std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    test::Countdown countdown(session->link, limit);
    return DownloadOnOpenPort(session->link);
  }
  // The chip's flash holds the code image where the download programmed it,
  // with the extra data records over it.
  void ExpectFlashHoldsTheImage() {
    const Bytes flash = session->sim().Flash();
    const IspLink& link = session->link;
    const Bytes expected = test::ExpectedFlash(link);
    ASSERT_GE(flash.size(), expected.size());
    const auto diff = std::mismatch(expected.begin(), expected.end(), flash.begin());
    EXPECT_EQ(diff.first, expected.end())
        << "first difference at " << diff.first - expected.begin();
  }

  int index = 0;
  std::string notes;
  std::unique_ptr<test::SimSession> session;
};

TEST_F(DownloadPtyTest, EveryProtocolVariantAndSequence) {
  struct Case {
    const char* name;
    Download download;
    int rate;
  } const cases[] = {
      {"variant 0, classic", {1, 0x70}, 115200},
      {"variant 1, classic", {5, 0x71}, 115200},
      {"variant 2, classic", {10, 0x71}, 115200},
      {"variant 3, classic", {11, 0x71}, 115200},
      {"variant 5 (7.2 firmware), classic", {8, 0x72}, 115200},
      {"variant 3, newer", {30, 0x72}, 38400},
      {"variant 4, newer", {27, 0x72}, 38400},
      {"variant 3, newer, family 28 at 7.1", {28, 0x71}, 115200},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    notes.clear();
    Start(c.download);
    const int result = Run();
    EXPECT_EQ(result, kStepOk) << session->log.text << notes;
    EXPECT_EQ(notes, "") << "the chip found fault with the host";
    ExpectFlashHoldsTheImage();
    EXPECT_TRUE(session->Logged("  Complete !(")) << session->log.text;
    EXPECT_EQ(session->link.serial.switched_baud, c.rate);
  }
}

TEST_F(DownloadPtyTest, PlacementsAsRecordsWithUserKey) {
  Start({30, 0x72});
  IspLink& link = session->link;
  SerialNumberPlacement& serial = link.placements.serial_numbers[0];
  // The serial number's area inside the program is blank in the image, so that
  // the record alone programs it.
  std::fill_n(link.image.image_source.begin() + 0x400, 4, 0xFF);
  serial.enabled = true;
  serial.address = 0x0400;
  serial.length = 4;
  serial.value = {0x78, 0x56, 0x34, 0x12};
  link.placements.user_interface.enabled = true;
  link.placements.user_interface.address = 0x0800;
  link.placements.user_interface.reply_length = 70;
  std::iota(link.placements.user_interface.reply.begin(),
            link.placements.user_interface.reply.begin() + 70, std::uint8_t{0x20});
  link.image.option_bytes[15] = 0xFF;  // the chip's parameters at the top of its code area
  link.request.user_key_present = true;
  std::iota(link.image.user_key.begin(), link.image.user_key.end(), std::uint8_t{0});
  ASSERT_EQ(Run(), kStepOk) << session->log.text << notes;
  EXPECT_EQ(notes, "");
  ExpectFlashHoldsTheImage();
  const Bytes flash = session->sim().Flash();
  EXPECT_EQ(Bytes(flash.begin() + 0x400, flash.begin() + 0x404), (Bytes{0x12, 0x34, 0x56, 0x78}));
  EXPECT_EQ(flash[0x800], 0x20);
  EXPECT_EQ(flash[0x800 + 69], 0x20 + 69);
  // The parameter block (15 bytes below family 45) ends below the tail reserve.
  const ChipRecord& chip = ChipTable()[static_cast<std::size_t>(index)];
  const std::size_t end = chip.code_size - chip.tail_reserve;
  EXPECT_EQ(Bytes(flash.begin() + static_cast<std::ptrdiff_t>(end - 15),
                  flash.begin() + static_cast<std::ptrdiff_t>(end - 10)),
            (Bytes{0x00, 0x00, 0x75, 0xC7, 0x20}));
  EXPECT_NE(session->sim().StateJson().find("\"user_key\": \"000102"), std::string::npos)
      << session->sim().StateJson();
}

}  // namespace
}  // namespace fw

namespace fw {
namespace {

TEST_F(DownloadPtyTest, FailuresEndWithTheirResultAndLines) {
  struct Case {
    const char* name;
    Download download;
    std::function<void(sim::SimRunConfig&, sim::SimChipConfig&, IspLink&)> fault;
    int result;
    std::vector<std::string> lines;
  } const cases[] = {
      {"bad block sum",
       {11, 0x71},
       [](sim::SimRunConfig& run, sim::SimChipConfig&, IspLink&) {
         run.faults.wrong_reply_block = 2;
       },
       kStepRefused,
       {"Programming user code ... ", "Download failed ! ()("}},
      {"silence after the erase",
       {11, 0x71},
       [](sim::SimRunConfig& run, sim::SimChipConfig&, IspLink&) {
         run.faults.silent_after = sim::SimStep::kErase;
       },
       kStepTimedOut,
       {"Erasing MCU flash ...  OK !", "Download failed ! ()("}},
      {"resend storm",
       {5, 0x71},
       [](sim::SimRunConfig& run, sim::SimChipConfig&, IspLink&) {
         run.faults.resend_requests[1] = 1000;
       },
       kStepRefused,
       {"asked for the same data 8 times", "Download failed ! ()("}},
      {"option write asked again and again",
       {1, 0x70},
       [](sim::SimRunConfig& run, sim::SimChipConfig&, IspLink&) {
         run.faults.option_resends = 1000;
       },
       kStepRefused,
       {"Programming OPTIONS ... ", "asked for the same data 8 times"}},
      {"wrong password",
       {30, 0x72},
       [](sim::SimRunConfig&, sim::SimChipConfig& chip, IspLink& link) {
         chip.password = "secret";
         const std::string typed = "wrong";
         std::copy(typed.begin(), typed.end(), link.request.password.bytes.begin());
         link.request.password.length = 5;
         link.request.password_present = true;
       },
       kStepRefused,
       {"User password error !", "Download failed ! ()("}},
      {"locked chip",
       {30, 0x72},
       [](sim::SimRunConfig&, sim::SimChipConfig& chip, IspLink&) {
         chip.password = "secret";
         chip.locked = true;
       },
       kStepRefused,
       {"MCU is locked !", "Download failed ! ()("}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::SimRunConfig run;
    sim::SimChipConfig chip;
    IspLink scratch;
    c.fault(run, chip, scratch);
    Start(c.download, std::move(run), chip);
    session->link.request.password = scratch.request.password;
    session->link.request.password_present = scratch.request.password_present;
    EXPECT_EQ(Run(), c.result) << session->log.text;
    for (const std::string& line : c.lines) {
      EXPECT_TRUE(session->Logged(line)) << line << "\n" << session->log.text;
    }
    EXPECT_FALSE(session->Logged("Complete !"));
  }
}

// Through a download board: chips of protocol variant 3 and above take their
// blocks pipelined on the board's acknowledgements, older ones wait for each
// reply; the board is told each new rate (after echoing an 8F or 8E switch) and
// the result at the end.
TEST_F(DownloadPtyTest, ThroughADownloadBoard) {
  struct Case {
    const char* name;
    Download download;
    int rate;
  } const cases[] = {
      {"variant 0, classic, 8F and 8E echoed", {1, 0x70}, 115200},
      {"variant 2, classic", {10, 0x71}, 115200},
      {"variant 3, classic at 7.2, pipelined, blank blocks skipped", {11, 0x72, 4096}, 115200},
      {"variant 5 (7.2 firmware), pipelined", {8, 0x72}, 115200},
      {"variant 3, newer, pipelined with records", {30, 0x72}, 38400},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    notes.clear();
    sim::SimBoardConfig board;
    board.present = true;
    Start(c.download, {}, {}, board);
    const int result = Run();
    EXPECT_EQ(result, kStepOk) << session->log.text << notes;
    EXPECT_EQ(notes, "") << "the chip or the board found fault with the host";
    ExpectFlashHoldsTheImage();
    EXPECT_TRUE(session->Logged("  Complete !(")) << session->log.text;
    EXPECT_EQ(session->link.serial.switched_baud, c.rate);
    // The closing packets reach the board after the download has returned.
    std::vector<Bytes> packets;
    for (int wait = 0; wait < 200; ++wait) {
      packets = session->sim().HostPackets();
      if (!packets.empty() && packets.back() == Bytes{0xFF, 0x07}) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(session->sim().Board().last_result, 1);
    // The board's chip side went to the new rate (code: rate / 1,200) and the
    // board was released at the end.
    const std::uint8_t parity = session->link.target.protocol_variant != 0 ? 1 : 0;
    const Bytes fast_rate = {0xFF, 0x02, static_cast<std::uint8_t>(c.rate / 1200), parity};
    EXPECT_NE(std::find(packets.begin(), packets.end(), fast_rate), packets.end());
    ASSERT_FALSE(packets.empty());
    EXPECT_EQ(packets.back(), (Bytes{0xFF, 0x07})) << "the board was released";
  }
}

// A reply that carries its code alone: the bytes it lacks are not read from an
// older frame.
TEST_F(DownloadPtyTest, ShortReplies) {
  {
    SCOPED_TRACE("erase: taken on its code, no chip serial number");
    sim::SimRunConfig run;
    run.faults.short_replies.insert(sim::SimStep::kErase);
    Start({11, 0x71}, std::move(run));
    EXPECT_EQ(Run(), kStepOk) << session->log.text;
    EXPECT_EQ(std::count(std::begin(session->link.target.chip_serial),
                         std::end(session->link.target.chip_serial), 0),
              TargetIdentity::kChipSerialSize);
    EXPECT_FALSE(session->Logged("MCU ID")) << session->log.text;
    ExpectFlashHoldsTheImage();
  }
  {
    SCOPED_TRACE("block: no 54, refused");
    sim::SimRunConfig run;
    run.faults.short_replies.insert(sim::SimStep::kBlock);
    Start({11, 0x71}, std::move(run));
    EXPECT_EQ(Run(), kStepRefused) << session->log.text;
  }
}

// The option report after the option write of the classic sequence, from "H/W
// Option upgrade to:" up to the chip type that the report ends with.
std::string ReportAfterOptionWrite(const std::string& log) {
  const std::string heading = "\r\nH/W Option upgrade to:\r\n";
  const std::size_t from = log.find(heading);
  if (from == std::string::npos) return "(no report)";
  const std::size_t to = log.find("\r\n  MCU type: ", from);
  return log.substr(from + heading.size(),
                    to == std::string::npos ? to : to - from - heading.size());
}

// The chips of the classic sequence read the options they now hold from the
// reply to the option write (to its confirmation on protocol variant 0).
TEST_F(DownloadPtyTest, ReportAfterTheOptionWriteReadsOnlyItsReply) {
  // A whole reply: the options as written, bit for bit.
  const char* const kGroupA =
      "  . Current clock frequency: 11.059MHz\r\n"
      "  . System use 6T(double speed) mode\r\n"
      "  . Oscillator gain is HIGH\r\n"
      "  . Can stop WatchDog only after power-down if WatchDog timer is running\r\n"
      "  . Internal XRAM is ENABLE\r\n"
      "  . ALE pin behaves as I/O pin (P4.5)\r\n"
      "  . P1.0 and P1.1 need to be low for next download\r\n"
      "  . Do not erase user EEPROM area at next download\r\n";
  struct Case {
    const char* name;
    Download download;
    const char* full_reply_report;
  } const cases[] = {
      {"variant 0, group A", {1, 0x70}, kGroupA},
      {"variant 1, group A", {5, 0x71}, kGroupA},
      {"variant 2, group D",
       {10, 0x71},
       "  . Current system clock source is external crystal oscillator\r\n"
       "  . Current clock frequency: 11.059MHz\r\n"
       "  . Oscillator gain is HIGH\r\n"
       "  . MCU will reset when the level on RESET2 pin is under 1.33V\r\n"
       "  . Power-on reset, use the general power-on delay\r\n"
       "  . Hardware enable Watch-Dog-Timer when power-on reset\r\n"
       "  . Watch-Dog-Timer pre-scalar : 8\r\n"
       "  . Watch-Dog-Timer continue count in idle mode\r\n"
       "  . Program can NOT modify the Watch-Dog-Timer scalar\r\n"
       "  . Do not detect the level of P1.0 and P1.1 next download\r\n"
       "  . Do not erase user EEPROM area at next download\r\n"},
  };
  // Option bytes whose bits differ from those of every earlier reply.
  const auto set_options = [this] {
    std::uint8_t* opt = session->link.image.option_bytes.data();
    opt[1] = 0x5A;
    opt[2] = 0x3C;
    opt[4] = 0xA5;
    opt[14] = 0xB7;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Start(c.download);
    set_options();
    ASSERT_EQ(Run(), kStepOk) << session->log.text << notes;
    EXPECT_EQ(ReportAfterOptionWrite(session->log.text), c.full_reply_report);

    sim::SimRunConfig run;
    run.faults.short_replies.insert(sim::SimStep::kOptions);
    Start(c.download, std::move(run));
    set_options();
    ASSERT_EQ(Run(), kStepOk) << session->log.text << notes;
    EXPECT_EQ(ReportAfterOptionWrite(session->log.text),
              "  . The MCU did not report its new options back\r\n");
  }
}

TEST_F(DownloadPtyTest, StopEndsTheDownload) {
  // 256 blocks take well over a second; the stop comes during the first steps.
  Start({11, 0x71, 32768});
  EXPECT_EQ(Run(std::chrono::milliseconds(600)), kStepStopped) << session->log.text;
  EXPECT_TRUE(session->Logged("\r\nTerminated !(")) << session->log.text;
}

}  // namespace
}  // namespace fw
