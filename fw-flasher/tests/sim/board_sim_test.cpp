// The simulated download board: what it keeps of an update and of stand-alone
// programming (told apart by the FF 0A request before them), its refusals, its
// bare bytes while it relays, and its chip side's rate over a pseudo-terminal.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include <nlohmann/json.hpp>

#include "sim/boot_loader_sim.h"
#include "sim/download_board_sim.h"
#include "sim/sim_text.h"
#include "tests/sim/pty_host.h"

namespace fw::sim::test {
namespace {

using namespace std::chrono_literals;

const Bytes kAck = {0x54};

ChipTraits TraitsOfFamily(int family, int fw) {
  SimChipConfig chip;
  chip.chip_index = ChipOf(family);
  chip.fw_version = fw;
  return TraitsOf(chip);
}

// An F2/F4/F6 request: code, 24-bit offset, data.
Bytes Write(std::uint8_t code, int offset, const Bytes& data) {
  Bytes p = {code, static_cast<std::uint8_t>(offset >> 16), static_cast<std::uint8_t>(offset >> 8),
             static_cast<std::uint8_t>(offset)};
  p.insert(p.end(), data.begin(), data.end());
  return p;
}

class BoardSimTest : public ::testing::Test {
 protected:
  explicit BoardSimTest(int flash_code = 0) {
    config.present = true;
    config.version = 290;
    config.version_after_update = 297;
    config.flash_code = flash_code;
  }
  // The board after a contact and the check's requests, then FF 0A with `what`.
  DownloadBoardSim& Contacted(std::uint8_t what, int family = 45, int fw = 0x72) {
    board = std::make_unique<DownloadBoardSim>(config, TraitsOfFamily(family, fw));
    const Bytes identity = board->Contact(2400);
    EXPECT_EQ(identity[0], 0x51);
    EXPECT_EQ(identity[1] << 8 | identity[2], config.version);
    Take({0xFF, 0x06, 0xD0, 0xFF});
    Take({0xFF, 0x0A, what});
    return *board;
  }
  BoardStep Take(const Bytes& p) {
    BoardStep step = board->OnPacket(p);
    for (const auto& n : step.notes) notes += n + "\n";
    return step;
  }
  // The second byte of the board's one reply to the request.
  std::optional<std::uint8_t> AcknowledgementOf(const Bytes& p) {
    const BoardStep step = Take(p);
    if (step.replies.size() != 1 || step.replies[0].size() != 2 || step.replies[0][0] != p[0]) {
      return std::nullopt;
    }
    return step.replies[0][1];
  }

  SimBoardConfig config;
  std::unique_ptr<DownloadBoardSim> board;
  std::string notes;
};

TEST_F(BoardSimTest, AfterFF0AD0TheRequestsUpdateTheFirmware) {
  Contacted(0xD0);
  EXPECT_EQ(AcknowledgementOf({0xF1, 0x00}), 0x54);
  EXPECT_EQ(AcknowledgementOf(Write(0xF2, 0, Pattern(128, 1))), 0x54);
  EXPECT_EQ(AcknowledgementOf(Write(0xF2, 128, Pattern(10, 2))), 0x54);
  EXPECT_EQ(AcknowledgementOf({0xF3, 0x05}), 0x54);
  for (int at = 0; at < 2048; at += 128) {
    EXPECT_EQ(AcknowledgementOf(Write(0xF4, at, Pattern(128, 3))), 0x54);
  }
  EXPECT_EQ(AcknowledgementOf(Write(0xF6, 2048, Pattern(100, 4))), 0x54);
  EXPECT_EQ(board->version(), 290) << "the new firmware runs once the board restarts";
  Take({0xFF, 0x08, 0x20, 0x36, 0xC9});
  EXPECT_TRUE(Take({0xFF, 0x07}).leave);
  EXPECT_EQ(notes, "");
  EXPECT_EQ(board->version(), 297);
  const BoardStore& s = board->store();
  EXPECT_EQ(s.firmware_updates, 1);
  EXPECT_EQ(s.firmware_a, Concat(Pattern(128, 1), Pattern(10, 2)));
  EXPECT_EQ(s.firmware_image.size(), 2148u);
  EXPECT_EQ(s.announced_blocks, 5);
  EXPECT_TRUE(s.program.empty());
  EXPECT_TRUE(s.standalone_image.empty());
}

TEST_F(BoardSimTest, AfterFF0A01TheSameCodesProgramTheBoardForStandAloneUse) {
  Contacted(0x01);
  EXPECT_EQ(AcknowledgementOf({0xF1, 0x00}), 0x54);
  EXPECT_EQ(AcknowledgementOf(Write(0xF2, 0, Pattern(128, 5))), 0x54);
  EXPECT_EQ(AcknowledgementOf(Write(0xF2, 128, Pattern(3, 6))), 0x54);
  EXPECT_EQ(AcknowledgementOf({0xF3, 0x80}), 0x54);
  for (int at = 0; at < 2048 + 256; at += 128) {
    EXPECT_EQ(AcknowledgementOf(Write(0xF4, at, Pattern(128, static_cast<std::uint8_t>(at)))),
              0x54);
  }
  Take({0xFF, 0x04, 0x01});
  Take({0xFF, 0x07});
  EXPECT_EQ(notes, "");
  const BoardStore& s = board->store();
  EXPECT_EQ(s.program, Concat(Pattern(128, 5), Pattern(3, 6)));
  EXPECT_TRUE(s.program_finished);
  EXPECT_EQ(s.standalone_image.size(), 2048u + 256u);
  EXPECT_EQ(s.last_result, 1);
  EXPECT_EQ(s.firmware_updates, 0);
  EXPECT_TRUE(s.firmware_a.empty());
  EXPECT_EQ(board->version(), 290) << "no update, no new version";

  const auto json = nlohmann::json::parse(BoardJson(*board));
  EXPECT_EQ(json["version"], 290);
  EXPECT_EQ(json["program"], HexText(s.program));
  EXPECT_EQ(json["program_finished"], true);
  EXPECT_EQ(json["standalone_header"].get<std::string>().size(), 2 * 2048u);
  EXPECT_EQ(json["standalone_program"], HexText(std::span(s.standalone_image).subspan(2048)));
  EXPECT_TRUE(json["firmware_a"].is_null());
  EXPECT_EQ(json["last_result"], 1);
}

TEST_F(BoardSimTest, RequestsItCannotTake) {
  struct Case {
    const char* name;
    std::optional<std::uint8_t> end_check;  // FF 0A's byte; none: not sent
    Bytes request;
    const char* note;
  } const cases[] = {
      {"before FF 0A", std::nullopt, {0xF1, 0x00}, "before FF 0A"},
      {"F3 other than 80 after the board program", 0x01, {0xF3, 0x06}, "not F3 80"},
      {"F6 in stand-alone programming", 0x01, Write(0xF6, 2048, {1}), "no request of stand-alone"},
      {"a write without data", 0xD0, {0xF2, 0x00, 0x00, 0x00}, "too short"},
      {"past 43,008 bytes without external flash", 0x01,
       Write(0xF4, 2048 + 43008 - 64, Pattern(128, 0)), "no external flash"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    notes.clear();
    board = std::make_unique<DownloadBoardSim>(config, TraitsOfFamily(45, 0x72));
    board->Contact(2400);
    if (c.end_check) Take({0xFF, 0x0A, *c.end_check});
    EXPECT_EQ(AcknowledgementOf(c.request), 0x45);
    EXPECT_NE(notes.find(c.note), std::string::npos) << notes;
    EXPECT_TRUE(board->store().standalone_image.empty());
  }
  // Up to the limit a board without external flash takes the program.
  Contacted(0x01);
  EXPECT_EQ(AcknowledgementOf(Write(0xF4, 2048 + 43008 - 128, Pattern(128, 0))), 0x54);
}

class BoardWithFlashTest : public BoardSimTest {
 protected:
  BoardWithFlashTest() : BoardSimTest(18) {}
};

TEST_F(BoardWithFlashTest, ExternalFlashTakesLargerPrograms) {
  Contacted(0x01);
  EXPECT_EQ(AcknowledgementOf(Write(0xF4, 2048 + 60000, Pattern(128, 0))), 0x54);
}

TEST_F(BoardSimTest, WhileRelayingProgramPacketsGetABare02AndSwitchesTheirCodeEchoed) {
  struct Case {
    const char* name;
    int family, fw;
    Bytes packet;
    Bytes bare;
  } const cases[] = {
      {"newer: first block",
       45,
       0x72,
       Concat({0x32, 0x00, 0x00, 0x5A, 0xA5}, Pattern(128, 0)),
       {0x02}},
      {"newer: program variant above 64 KiB",
       45,
       0x72,
       Concat({0x82, 0x00, 0x00}, Pattern(8, 0)),
       {0x02}},
      {"newer: a measurement is no block", 45, 0x72, {0x00, 0x02, 0x80, 0x00, 0x80, 0x01}, {}},
      {"newer: the erase", 45, 0x72, {0x03, 0x00, 0x00, 0x5A, 0xA5}, {}},
      {"classic before 7.2: command 00",
       11,
       0x71,
       Concat({0x10, 0x00, 0x80}, Pattern(128, 0)),
       {0x02}},
      {"variant 0: a 7-byte header",
       1,
       0x70,
       Concat({0x00, 0x00, 0x00, 0x00, 0x80, 0x00, 0x04}, Pattern(4, 0)),
       {0x02}},
      {"variant 0: the 80 check is no block",
       1,
       0x70,
       {0x80, 0x00, 0x00, 0x36, 0x01, 0xF0, 0x01},
       {}},
      {"8F trial", 1, 0x70, {0x8F, 0xC0, 0xFA, 0x3F, 0x0C, 0x28, 0x82}, {0x8F}},
      {"8E switch", 1, 0x70, {0x8E, 0xC0, 0xFA, 0x3F, 0x0C, 0x28}, {0x8E}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Contacted(0x01, c.family, c.fw);
    Take({0xFF, 0x02, 0x02, 0x01});
    EXPECT_TRUE(Take({0xF8, 0x00, 0x00, 0x03, 0x00, 0x00}).contact_chip);
    EXPECT_TRUE(board->relaying());
    const BoardStep step = Take(c.packet);
    EXPECT_TRUE(step.forward);
    EXPECT_EQ(step.bare, c.bare);
    EXPECT_TRUE(step.replies.empty());
    // The board's own requests are not passed on; the end packet is.
    EXPECT_FALSE(Take({0xFF, 0x04, 0x01}).forward);
    EXPECT_TRUE(Take({0xFF}).forward);
  }
}

TEST_F(BoardSimTest, FF02SetsTheChipSidesRate) {
  struct Case {
    std::uint8_t code;
    double rate;
  } const cases[] = {{0x02, 2400}, {0x0C, 14400}, {0x60, 115200}, {0x81, 115200}, {0x82, 230400}};
  Contacted(0x01);
  EXPECT_EQ(board->chip_rate(), 2400) << "first the host's rate";
  for (const Case& c : cases) {
    Take({0xFF, 0x02, c.code, 0x01});
    EXPECT_EQ(board->chip_rate(), c.rate) << HexByte(c.code);
  }
}

// Over the pseudo-terminal: a variant 0 chip behind the board.
class BoardLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SimChipConfig chip;
    chip.chip_index = ChipOf(1);
    chip.fw_version = 0x70;
    chip.frequency = 11059200;
    SimBoardConfig board;
    board.present = true;
    SimRunConfig run;
    run.board_dump_path = dump_path;
    run.on_note = [this](const std::string& n) { notes += n + "\n"; };
    sim = std::make_unique<BootLoaderSim>(chip, board, std::move(run));
    std::string error;
    ASSERT_TRUE(sim->Start(error)) << error;
    host = std::make_unique<PtyHost>(sim->slave_path());
    ASSERT_TRUE(host->SetRate(2400));
    const auto identity = host->Synchronise(true, 2s);
    ASSERT_TRUE(identity);
    ASSERT_EQ((*identity)[0], 0x51);
    host->Send({0xFF, 0x06, 0xD0, 0xFF}, true);
    ASSERT_TRUE(host->SetRate(115200));
    host->Send({0xFF, 0x0A, 0x01}, true);
    host->Send({0xFF, 0x02, 0x02, 0x00}, true);  // the chip side at 2,400, no parity
    host->Send({0xF8, 0x00, 0x00, 0x03, 0x00, 0x00}, true);
    const auto status = host->Receive(true, 2s);
    ASSERT_TRUE(status);
    ASSERT_EQ((*status)[0], 0x00);
  }
  void TearDown() override {
    if (sim) sim->Stop();
    std::filesystem::remove(dump_path);
  }

  const Bytes trial_115200 = {0x8F, 0xC0, 0xFA, 0x3F, 0x0C, 0x28, 0x82};
  std::string dump_path = "/tmp/isp-sim-board-test-" + std::to_string(::getpid()) + ".json";
  std::string notes;
  std::unique_ptr<BootLoaderSim> sim;
  std::unique_ptr<PtyHost> host;
};

TEST_F(BoardLineTest, TheChipsAnswerAtANewRateWaitsForFF02) {
  host->Send(trial_115200, true);
  EXPECT_EQ(host->Drain(300ms), Bytes{0x8F}) << "the echo, and nothing from the chip yet";
  host->Send({0xFF, 0x02, 0x60, 0x00}, true);
  EXPECT_EQ(host->Receive(true, 2s), Bytes{0x8F});
  EXPECT_EQ(notes, "");
}

TEST_F(BoardLineTest, WithoutFF02TheChipIsNotUnderstood) {
  host->Send(trial_115200, true);
  const Bytes noise = host->Drain(1500ms);
  ASSERT_FALSE(noise.empty());
  EXPECT_EQ(noise[0], 0x8F);
  EXPECT_EQ(std::count(noise.begin(), noise.end(), 0x46), 0) << "no packet came through";
  // The chip went back to 2,400 after its trial; the board's side is there too.
  const std::uint16_t id = RecordOf(ChipOf(1)).id;
  const Bytes check = RateCheck(id);
  host->Send({0xFF, 0x02, 0x60, 0x00}, true);  // now the board's side is at 115,200
  host->Send(check, true);
  EXPECT_EQ(host->Receive(true, 500ms), std::nullopt);
  EXPECT_NE(notes.find("the chip cannot read it"), std::string::npos) << notes;
}

TEST_F(BoardLineTest, LeavingBoardModeWritesTheDump) {
  host->Send({0xFF}, true);  // the chip's end packet, relayed
  host->Send({0xFF, 0x04, 0x00}, true);
  host->Send({0xFF, 0x07}, true);
  for (int i = 0; i < 200 && !std::filesystem::exists(dump_path); ++i) {
    std::this_thread::sleep_for(10ms);
  }
  std::ifstream in(dump_path);
  const auto json = nlohmann::json::parse(std::string(std::istreambuf_iterator<char>(in), {}));
  EXPECT_EQ(json["version"], 297);
  EXPECT_EQ(json["last_result"], 0);
  EXPECT_TRUE(json["program"].is_null());
  EXPECT_EQ(sim->downloads(), 1);
}

}  // namespace
}  // namespace fw::sim::test
