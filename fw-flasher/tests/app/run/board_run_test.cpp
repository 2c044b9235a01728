// Runs through isp-sim's download board, started as the buttons start them: the
// project's third operation loads the board for stand-alone use (its program
// and the stand-alone image as the board stores them, the refusal of a program
// too large for a board without external flash), and a download meets an
// out-of-date board that is updated and contacted again on Yes and left alone
// on No.
#include <gtest/gtest.h>

#include <chrono>
#include <numeric>
#include <thread>

#include "app/run/download_run.h"
#include "sim/boot_loader_sim.h"
#include "sim/oscillator_model.h"
#include "target/board/project_scramble.h"
#include "target/chips/chip_table.h"
#include "tests/app/run/app_fakes.h"
#include "tests/support/chip_finder.h"
#include "tests/support/standalone_header_model.h"

namespace fw {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

constexpr const char kNoFlashMessage[] =
    "The program has exceeded the capacity of 42KB, please add external flash !";

Project BoardProject(int code_bytes) {
  Project p;
  p.strings = {"EN", "Title", "", "", "", "", "", "", "", "QMV45", "", "App", "", "Board"};
  p.chip_index = test::FirstChipOf(45);
  p.option_words = {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
  p.set_frequency = 11059200;
  p.code_block.resize(static_cast<std::size_t>(code_bytes));
  for (int i = 0; i < code_bytes; ++i) p.code_block[i] = static_cast<std::uint8_t>(i * 5 + 3);
  p.board_program.resize(700);
  std::iota(p.board_program.begin(), p.board_program.end(), 0x10);
  SerialNumberSettings s;
  s.enabled = true;
  s.length = 4;
  s.address = 0x200;
  s.start = SerialValue::FromUnsigned64(1234);
  s.step = SerialValue::FromUnsigned64(2);
  s.format = 2;  // ASCII digits in a download; the board gets the BCD value
  p.serial_numbers[0] = s;
  return p;
}

class BoardRunTest : public ::testing::Test {
 protected:
  void StartSim(const sim::SimBoardConfig& board_config) {
    sim::SimChipConfig chip;
    chip.chip_index = test::FirstChipOf(45);
    ASSERT_GT(chip.chip_index, 0);
    sim::SimBoardConfig board = board_config;
    board.present = true;
    sim::SimRunConfig run;
    run.measurement = &oscillator;
    run.on_note = [this](const std::string& n) {
      std::lock_guard lock(notes_mutex);
      notes += n + "\n";
    };
    sim = std::make_unique<sim::BootLoaderSim>(chip, board, std::move(run));
    std::string error;
    ASSERT_TRUE(sim->Start(error)) << error;
  }
  // Runs the mode on the project to its end (20 s at most).
  int RunToEnd(const Project& project, RunMode mode, bool answer = false) {
    dialogs = std::make_unique<test::ScriptedDialogs>(answer);
    run = std::make_unique<DownloadRun>(&project, profile, view, *dialogs, 0);
    run->link().outputs.log_sink = &log;
    run->link().outputs.echo = nullptr;
    view.SetPort(SerialPortEntry(sim->slave_path()));
    run->Initialise();
    EXPECT_TRUE(run->StartDownload(mode));
    for (int i = 0; i < 2000 && run->busy(); ++i) std::this_thread::sleep_for(10ms);
    run->StopDownload();
    run->WaitUntilIdle();
    return run->last_result();
  }
  // The board has taken the flasher's last packet, FF 07.
  void AwaitBoardReleased() {
    for (int i = 0; i < 300; ++i) {
      const auto packets = sim->HostPackets();
      if (!packets.empty() && packets.back() == Bytes{0xFF, 0x07}) return;
      std::this_thread::sleep_for(10ms);
    }
    ADD_FAILURE() << "the board was not released";
  }
  bool SentAnyOf(std::initializer_list<std::uint8_t> codes) {
    for (const Bytes& p : sim->HostPackets()) {
      if (!p.empty() && std::find(codes.begin(), codes.end(), p[0]) != codes.end()) return true;
    }
    return false;
  }

  sim::OscillatorModel oscillator;
  test::MemoryProfile profile;
  test::FakeView view;
  test::LockedLog log;
  std::unique_ptr<test::ScriptedDialogs> dialogs;
  std::unique_ptr<sim::BootLoaderSim> sim;
  std::unique_ptr<DownloadRun> run;
  std::mutex notes_mutex;
  std::string notes;
};

TEST_F(BoardRunTest, TheThirdOperationLoadsTheBoardForStandAloneUse) {
  StartSim({});
  const Project project = BoardProject(5000);
  EXPECT_EQ(RunToEnd(project, RunMode::kBoard), kStepFinishedEarly) << log.Text() << notes;
  AwaitBoardReleased();
  EXPECT_EQ(notes, "");
  const sim::BoardStore board = sim->Board();
  EXPECT_EQ(board.program, project.board_program);
  EXPECT_TRUE(board.program_finished);
  EXPECT_EQ(board.last_result, 1);
  EXPECT_FALSE(SentAnyOf({0xF8})) << "no chip is contacted";

  // The header as its table lays it out for this link, and the program behind it.
  const IspLink& link = run->link();
  Bytes program(200000, 0xFF);
  std::copy_n(link.image.image_source.begin(), link.image.image_length, program.begin());
  const test::ModelImage model = test::ModelStandAloneHeader(
      link, ChipTable()[static_cast<std::size_t>(project.chip_index)], program);
  ASSERT_EQ(board.standalone_image.size(), 2048u + static_cast<std::size_t>(model.f));
  EXPECT_EQ(Bytes(board.standalone_image.begin(), board.standalone_image.begin() + 2048),
            model.header);
  EXPECT_EQ(Bytes(board.standalone_image.begin() + 2048, board.standalone_image.end()),
            Bytes(program.begin(), program.begin() + model.f));
  EXPECT_EQ(Bytes(board.standalone_image.begin() + 96 + 14, board.standalone_image.begin() + 112),
            (Bytes{0x12, 0x34}))
      << "the serial number as BCD, not as ASCII digits";
  // The project's code up to the serial number's area (the worker leaves that 0xFF).
  EXPECT_EQ(
      Bytes(project.code_block.begin(), project.code_block.begin() + 0x200),
      Bytes(board.standalone_image.begin() + 2048, board.standalone_image.begin() + 2048 + 0x200));

  // Result 5 advances neither the pass counter nor the serial numbers.
  EXPECT_EQ(run->pass_counter(), 0u);
  EXPECT_EQ(profile.ints.count("PassCounter"), 0u);
  EXPECT_EQ(view.Edit(SerialEdit::kFirst), "1234");
  const std::string text = log.Text();
  EXPECT_NE(text.find("Prepare for download ...  OK !"), std::string::npos) << text;
  EXPECT_NE(text.find("Programming user code ... OK !"), std::string::npos) << text;
  EXPECT_NE(text.find("  Complete !("), std::string::npos) << text;
  EXPECT_TRUE(dialogs->Messages().empty());
}

// 43,009 bytes make an image of 43,520: too much for a board without external
// flash, enough for one with it.
TEST_F(BoardRunTest, AProgramOver43008BytesNeedsExternalFlash) {
  struct Case {
    const char* name;
    int flash_code;
    int result;
  } const cases[] = {{"no external flash", 0, kStepFailedLogged}, {"256K", 18, kStepFinishedEarly}};
  const Project project = BoardProject(43009);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::SimBoardConfig board;
    board.flash_code = c.flash_code;
    StartSim(board);
    EXPECT_EQ(RunToEnd(project, RunMode::kBoard), c.result) << log.Text() << notes;
    AwaitBoardReleased();
    const sim::BoardStore stored = sim->Board();
    if (c.result == kStepFailedLogged) {
      EXPECT_EQ(dialogs->Messages(),
                std::vector<std::string>{std::string("Title: ") + kNoFlashMessage});
      EXPECT_FALSE(SentAnyOf({0xF1, 0xF2, 0xF3, 0xF4})) << "nothing written";
      EXPECT_TRUE(stored.program.empty());
      EXPECT_TRUE(stored.standalone_image.empty());
      EXPECT_EQ(stored.last_result, 0);
      EXPECT_EQ(log.Text().find(kNoFlashMessage), std::string::npos) << "a box, no log line";
    } else {
      EXPECT_TRUE(dialogs->Messages().empty());
      EXPECT_EQ(stored.standalone_image.size(), 2048u + 43520u);
    }
    sim->Stop();
  }
}

// The board firmware blocks of the project reach the board check of a real
// download: an old board asks, is updated on Yes and contacted again, and the
// download then runs through it; on No it keeps its firmware.
TEST_F(BoardRunTest, AnOldBoardIsUpdatedOnYesAndLeftAloneOnNo) {
  Project project = BoardProject(3000);
  project.board_firmware_a.assign(300, 0xA1);
  Bytes block_b(1000);
  std::iota(block_b.begin(), block_b.end(), 0);
  ScrambleProjectBytes(block_b.data(), block_b.size());
  project.board_firmware_b = block_b;
  for (const bool answer : {true, false}) {
    SCOPED_TRACE(answer ? "Yes" : "No");
    sim::SimBoardConfig board;
    board.version = 290;
    board.version_after_update = 297;
    StartSim(board);
    EXPECT_EQ(RunToEnd(project, RunMode::kOnce, answer), kStepOk) << log.Text() << notes;
    AwaitBoardReleased();
    const auto questions = dialogs->Questions();
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_NE(questions[0].find("Firmware in the board is not the latest version"),
              std::string::npos);
    const sim::BoardStore stored = sim->Board();
    EXPECT_EQ(stored.firmware_updates, answer ? 1 : 0);
    EXPECT_EQ(sim->board_version(), answer ? 297 : 290);
    EXPECT_EQ(stored.firmware_a, answer ? project.board_firmware_a : Bytes{});
    const std::string text = log.Text();
    EXPECT_EQ(text.find("Reconnect download board") != std::string::npos, answer) << text;
    EXPECT_EQ(run->pass_counter(), 1u);
    const Bytes flash = sim->Flash();
    EXPECT_TRUE(
        std::equal(project.code_block.begin(), project.code_block.begin() + 0x200, flash.begin()));
    sim->Stop();
    profile.ints.clear();
    profile.bytes.clear();
  }
}

}  // namespace
}  // namespace fw
