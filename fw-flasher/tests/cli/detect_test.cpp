// fw-flash detect against the simulator, for chips of several decoding groups.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "cli/detect_command.h"
#include "sim/boot_loader_sim.h"
#include "target/chips/chip_table.h"
#include "tests/support/captured_output.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/sim_session.h"

namespace fw {
namespace {

using test::ChipOfFamily;

struct Captured {
  int result;
  std::string out;
  std::string error;
};

Captured Detect(const DetectOptions& options) {
  std::atomic<bool> stop{false};
  Captured c;
  c.out = test::CaptureOutput(
      [&](std::FILE* out) { c.result = RunDetect(options, out, nullptr, stop, c.error); });
  return c;
}

// Runs detect against a simulated chip on its own; options.port is set here.
Captured DetectOnSimulator(const sim::SimChipConfig& chip, DetectOptions options) {
  sim::BootLoaderSim sim(chip, {});
  std::string error;
  if (!sim.Start(error)) return {-1, "", error};
  options.port = sim.slave_path();
  return Detect(options);
}

struct DetectCase {
  int family;
  int frequency;
  const char* english_line;
  const char* chinese_line;
};

TEST(DetectTest, FindsAndReportsChipsOfSeveralGroups) {
  const DetectCase cases[] = {
      {1, 11059200, "  . Current clock frequency: 11.059MHz\n", "  . 当前的时钟频率: 11.059MHz\n"},
      {8, 22118400, "  . Current clock frequency: 22.118MHz\n", "  . 当前的时钟频率: 22.118MHz\n"},
      {13, 12000000, "  . Current clock frequency: 12.000MHz\n", "  . 当前的时钟频率: 12.000MHz\n"},
      {25, 11059200, "  . Current frequency: 11.059MHz\n", "  . 当前的振荡器的频率: 11.059MHz\n"},
      {27, 24000000, "  . Current frequency: 24.000MHz\n", "  . 当前的振荡器的频率: 24.000MHz\n"},
      {44, 11059200, "  . Current frequency: 11.059MHz\n", "  . 当前的振荡器的频率: 11.059MHz\n"},
      {45, 33177600, "  . IRC frequency: 33.178MHz\n", "  . 内部IRC振荡器的频率: 33.178MHz\n"},
      {61, 22118400, "  . IRC frequency: 22.118MHz\n", "  . 内部IRC振荡器的频率: 22.118MHz\n"},
      {62, 35000000, "  . IRC frequency: 35.000MHz\n", "  . 内部IRC振荡器的频率: 35.000MHz\n"},
  };
  for (const auto& c : cases) {
    const int index = ChipOfFamily(c.family);
    const std::string name = ChipTable()[index].name;
    SCOPED_TRACE(name);
    sim::SimChipConfig chip;
    chip.chip_index = index;
    chip.frequency = c.frequency;
    chip.fw_build = 1;
    sim::BootLoaderSim sim(chip, {});
    std::string error;
    ASSERT_TRUE(sim.Start(error)) << error;
    for (int language : {0, 1}) {
      DetectOptions options;
      options.port = sim.slave_path();
      options.chip = name;
      options.language = language;
      options.timeout_seconds = 8;
      const Captured got = Detect(options);
      ASSERT_EQ(got.result, 0) << got.error << got.out;
      if (language == 0) {
        EXPECT_EQ(got.out.rfind("Checking target MCU ... \n  MCU type: " + name +
                                    "\n  F/W version: 7.2.1C\n"
                                    "\nCurrent H/W Option:\n",
                                0),
                  0u)
            << got.out;
        EXPECT_NE(got.out.find(c.english_line), std::string::npos) << got.out;
      } else {
        EXPECT_EQ(got.out.rfind("正在检测目标单片机 ... \n  单片机型号: " + name + "\n", 0), 0u)
            << got.out;
        EXPECT_NE(got.out.find(c.chinese_line), std::string::npos) << got.out;
      }
      const std::string tail =
          "\n  " + std::string(language ? "单片机型号: " : "MCU type: ") + name + "\n";
      EXPECT_NE(got.out.find(tail), std::string::npos);
    }
  }
}

TEST(DetectTest, AnyKnownChipWithoutChipOption) {
  const int index = ChipOfFamily(33);
  struct Case {
    const char* name;
    int reported_id;  // -1: the chip's own
    int result;
    const char* line;
  } const cases[] = {
      {"a chip of the table", -1, 0, "  MCU type: "},
      // Id 0 matches only the placeholder record, which is no chip model.
      {"id of the placeholder", 0x0000, 1, "  Unknown MCU type\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sim::SimChipConfig chip;
    chip.chip_index = index;
    chip.id_override = c.reported_id;
    sim::BootLoaderSim sim(chip, {});
    std::string error;
    ASSERT_TRUE(sim.Start(error)) << error;
    DetectOptions options;
    options.port = sim.slave_path();
    options.timeout_seconds = 8;
    // Protocol 0 framing is assumed, which a variant-3 chip's 16-bit frames pass
    // unverified in the first exchange.
    const Captured got = Detect(options);
    EXPECT_EQ(got.result, c.result) << got.out;
    EXPECT_NE(got.out.find(c.line), std::string::npos) << got.out;
    if (c.result == 0) {
      EXPECT_NE(got.out.find(ChipTable()[index].name), std::string::npos) << got.out;
    }
    EXPECT_EQ(got.out.find("UNKNOWN"), std::string::npos) << got.out;
  }
}

// Without --chip the protocol variant is not known; a chip that asks for the
// confirmation must still be reached in its own framing.
TEST(DetectTest, AnyChipWhateverItsProtocolVariant) {
  for (const int family : {1, 11, 27, 45}) {
    const int index = ChipOfFamily(family);
    const std::string name = ChipTable()[index].name;
    SCOPED_TRACE(name);
    sim::SimChipConfig chip;
    chip.chip_index = index;
    chip.reply_code = 0x80;
    DetectOptions options;
    options.timeout_seconds = 4;
    const auto start = std::chrono::steady_clock::now();
    const Captured got = DetectOnSimulator(chip, options);
    EXPECT_EQ(got.result, 0) << got.error << got.out;
    EXPECT_NE(got.out.find("  MCU type: " + name + "\n"), std::string::npos) << got.out;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  }
}

TEST(DetectTest, ResultLineNamesTheResultInTheRunsLanguage) {
  struct Case {
    int result;
    int language;
    const char* line;
  } const cases[] = {
      {0, 0, "Step result: 0 (ok)"},
      {1, 0, "Step result: 1 (unexpected reply or refused)"},
      {2, 0, "Step result: 2 (time-out)"},
      {3, 0, "Step result: 3 (stopped)"},
      {4, 0, "Step result: 4 (wrong chip type)"},
      {4, 1, "Step result: 4 (单片机型号错误)"},
      {5, 0, "Step result: 5 (finished early)"},
      {-1, 0, "Step result: -1 (failed)"},
      {-1, 1, "Step result: -1 (失败)"},
      {-2, 0, "Step result: -2 (download board updated, connect again)"},
      {77, 0, "Step result: 77 (failed)"},
  };
  for (const auto& c : cases) EXPECT_EQ(ResultLine(c.result, c.language), c.line);
  EXPECT_EQ(ExitStatusOf(-1), 10);
  EXPECT_EQ(ExitStatusOf(4), 4);
  EXPECT_EQ(ExitStatusOf(6), 10);
}

TEST(DetectTest, BoardInFront) {
  const int index = ChipOfFamily(46);
  sim::SimChipConfig chip;
  chip.chip_index = index;
  sim::SimBoardConfig board;
  board.present = true;
  board.model_code = 0x30;
  sim::BootLoaderSim sim(chip, board);
  std::string error;
  ASSERT_TRUE(sim.Start(error)) << error;
  DetectOptions options;
  options.port = sim.slave_path();
  options.chip = ChipTable()[index].name;
  options.timeout_seconds = 8;
  const Captured got = Detect(options);
  EXPECT_EQ(got.result, 0) << got.out;
  EXPECT_NE(got.out.find("  Board Type: QMV-DB6\n  Board version: 1.41\n"), std::string::npos)
      << got.out;
  EXPECT_NE(got.out.find("Re-Checking target MCU ... \n"), std::string::npos);
}

TEST(DetectTest, RefusedReplyAndSetUpErrors) {
  const int index = ChipOfFamily(11);
  sim::SimChipConfig chip;
  chip.chip_index = index;
  chip.reply_code = 0x33;
  DetectOptions options;
  options.timeout_seconds = 8;
  EXPECT_EQ(DetectOnSimulator(chip, options).result, 1) << "unexpected reply code";
  options.port = "/nonexistent/tty";
  const Captured missing = Detect(options);
  EXPECT_EQ(missing.result, -1);
  EXPECT_NE(missing.error.find("/nonexistent/tty"), std::string::npos);
  options.port = "/dev/null";
  options.chip = "QMV-no-such-chip";
  const Captured unknown = Detect(options);
  EXPECT_EQ(unknown.result, -1);
  EXPECT_NE(unknown.error.find("unknown chip"), std::string::npos);
  EXPECT_EQ(ExitStatusOf(0), 0);
  EXPECT_EQ(ExitStatusOf(3), 3);
  EXPECT_EQ(ExitStatusOf(-2), 10);
}

TEST(DetectTest, TimeoutClearsTheRunningFlag) {
  test::PseudoTerminal pty;
  ASSERT_TRUE(pty.ok());
  DetectOptions options;
  options.port = pty.slave_path();
  options.timeout_seconds = 0.3;
  const auto start = std::chrono::steady_clock::now();
  const Captured got = Detect(options);
  EXPECT_EQ(got.result, 3);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

}  // namespace
}  // namespace fw
