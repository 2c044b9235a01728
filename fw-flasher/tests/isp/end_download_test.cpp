// The end of a download: the closing packets (also to a download board), the
// sounds and the result lines by result.
#include <gtest/gtest.h>

#include <memory>
#include <regex>

#include "isp/end_download.h"
#include "isp/finish.h"
#include "tests/support/chip_link.h"

namespace fw {
namespace {

using test::Bytes;

// Notes each beep in the log, so that the order of sounds and lines shows.
class LoggedSounds : public SoundSink {
 public:
  explicit LoggedSounds(std::string& log) : log_(log) {}
  void Beep(BeepKind kind) override {
    log_ += kind == BeepKind::kInformation ? "<information>"
            : kind == BeepKind::kError     ? "<error>"
                                           : "<plain>";
  }

 private:
  std::string& log_;
};

class EndDownloadTest : public ::testing::Test {
 protected:
  void Fresh(int family, bool board = false) {
    chip = std::make_unique<test::ChipLink>();
    chip->Identify(test::FirstChipOf(family), 0x71);
    chip->link.board.mode = board;
    chip->port.wide = chip->link.UsesWideChecksum();
    sounds = std::make_unique<LoggedSounds>(chip->log.text);
    chip->link.outputs.sound_sink = sounds.get();
  }
  std::unique_ptr<test::ChipLink> chip;
  std::unique_ptr<LoggedSounds> sounds;
};

TEST_F(EndDownloadTest, ClosingPackets) {
  struct Case {
    const char* name;
    int family;
    bool board, p4, p2, silent, success;
    int run_mode;  // the start button's number
    std::vector<Bytes> packets;
  } const cases[] = {
      {"direct, variant 0", 1, false, false, false, false, true, 2, {{0xFF}, {0x82}}},
      {"direct, variant 3", 11, false, false, false, false, true, 2, {{0xFF}}},
      {"board, variant 0, failed",
       1,
       true,
       false,
       false,
       false,
       false,
       2,
       {{0xFF},
        {0x82},
        {0xFF},
        {0xFF, 0x04, 0x00},
        {0xFF, 0x0C, 0x01},
        {0xFF, 0x0D, 0x00},
        {0xFF, 0x07}}},
      {"board, P4 with P2, succeeded",
       11,
       true,
       true,
       true,
       false,
       true,
       3,
       {{0xFF},
        {0xFF, 0x04, 0x01},
        {0xFF, 0x0C, 0x01},
        {0xFF, 0x05, 0x21},
        {0xFF, 0x0D, 0x01},
        {0xFF, 0x07}}},
      {"board, P4 without P2, silent",
       11,
       true,
       true,
       false,
       true,
       true,
       2,
       {{0xFF}, {0xFF, 0x04, 0x01}, {0xFF, 0x0C, 0x01}, {0xFF, 0x03, 0x21}, {0xFF, 0x07}}},
      {"board, run mode 4",
       11,
       true,
       false,
       false,
       false,
       true,
       4,
       {{0xFF}, {0xFF}, {0xFF, 0x04, 0x01}, {0xFF, 0x0C, 0x01}, {0xFF, 0x07}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh(c.family, c.board);
    chip->link.request.board.p1 = 0x21;
    chip->link.request.board.p2 = c.p2;
    chip->link.request.board.p4 = c.p4;
    chip->link.request.silent = c.silent;
    chip->link.request.run_mode = static_cast<RunMode>(c.run_mode);
    EndDownload(chip->link, c.success ? kStepOk : kStepRefused);
    EXPECT_EQ(chip->port.payloads, c.packets);
    EXPECT_EQ(chip->port.bad_packets, 0);
  }
}

TEST_F(EndDownloadTest, SoundsAndLinesByResult) {
  const std::string stamp = R"(\(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\))";
  struct Case {
    const char* name;
    int result;
    float trim_error;
    std::string log;  // a regular expression
    std::uint8_t success;
  } const cases[] = {
      {"ok", kStepOk, 0.5f, "<information>\r\n  Complete !" + stamp + "\r\n", 1},
      {"ok at the tolerance", kStepOk, -1.0f, "<information>\r\n  Complete !" + stamp + "\r\n", 1},
      {"ok with a trim error too large", kStepOk, 1.5f,
       "<error><error><error>\r\n  Program code Complete !" + stamp +
           "\r\n\r\n  Frequerency trim fail !\r\n\r\n  Frequerency trim error is too large !\r\n",
       1},
      {"refused", kStepRefused, 0,
       "<error><error><error>\r\nDownload failed ! \\(\\)" + stamp + "\r\n", 0},
      {"timed out", kStepTimedOut, 0,
       "<error><error><error>\r\nDownload failed ! \\(\\)" + stamp + "\r\n", 0},
      {"stopped", kStepStopped, 0, "<plain>\r\nTerminated !" + stamp + "\r\n", 0},
      {"wrong chip", kStepWrongChip, 0, "<error><error><error>", 0},
      {"finished early: the sound after the line", kStepFinishedEarly, 0,
       "\r\n  Complete !" + stamp + "\r\n<information>", 1},
      {"failed with its own message", kStepFailedLogged, 0, "<information>", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh(11, true);
    chip->link.clock.trim_error = c.trim_error;
    EXPECT_EQ(EndDownload(chip->link, c.result), c.result);
    EXPECT_TRUE(std::regex_match(chip->log.text, std::regex(c.log))) << chip->log.text;
    ASSERT_GE(chip->port.payloads.size(), 3u);
    EXPECT_EQ(chip->port.payloads[2], (Bytes{0xFF, 0x04, c.success}));
  }
}

TEST_F(EndDownloadTest, SilentMakesNoSound) {
  Fresh(11);
  chip->link.request.silent = true;
  EndDownload(chip->link, kStepRefused);
  EXPECT_EQ(chip->log.text.find('<'), std::string::npos) << chip->log.text;
}

TEST(VersionTextTest, FromTheWindowTitle) {
  EXPECT_EQ(VersionTextOfTitle("QMV-ISP (V6.86E)"), "6.86E");
  EXPECT_EQ(VersionTextOfTitle("QMV-ISP (V6.86E) extra (x)"), "6.86E");
  EXPECT_EQ(VersionTextOfTitle("QMV-ISP (V6.86E"), "");
  EXPECT_EQ(VersionTextOfTitle("My flasher (V1.0)"), "");
  EXPECT_EQ(VersionTextOfTitle(""), "");
  // Only the first 255 characters of a title are read.
  EXPECT_EQ(VersionTextOfTitle("QMV-ISP (V" + std::string(250, '1') + ")"), "");
}

TEST_F(EndDownloadTest, FailureLineCarriesTheVersionText) {
  Fresh(11);
  EndDownload(chip->link, kStepTimedOut, "QMV-ISP (V6.86E)");
  EXPECT_TRUE(chip->Logged("Download failed ! (6.86E)(")) << chip->log.text;
}

}  // namespace
}  // namespace fw
