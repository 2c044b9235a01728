// fw-flash download in process: files into images, option checks, and whole
// downloads into the simulator.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include "cli/download_command.h"
#include "sim/boot_loader_sim.h"
#include "target/chip_table.h"
#include "tests/support/captured_output.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/sim_session.h"

namespace fw {
namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

struct Captured {
  int result;
  std::string out;
  std::string error;
};

class DownloadCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = fs::temp_directory_path() / ("fw_download_test_" + std::to_string(getpid()));
    fs::create_directories(folder);
  }
  void TearDown() override { fs::remove_all(folder); }

  std::string File(const std::string& name, const Bytes& bytes) {
    const fs::path path = folder / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path.string();
  }
  Captured Run(const DownloadCommandOptions& options) {
    std::atomic<bool> stop{false};
    Captured c;
    c.out = test::CaptureOutput(
        [&](std::FILE* out) { c.result = RunDownload(options, out, nullptr, stop, c.error); });
    return c;
  }
  // Options for a chip of the family on the simulator's port.
  DownloadCommandOptions OnSimulator(sim::BootLoaderSim& sim, int family, const Bytes& image) {
    DownloadCommandOptions options;
    options.port = sim.slave_path();
    options.chip = ChipTable()[static_cast<std::size_t>(test::ChipOfFamily(family))].name;
    options.image = File("image.bin", image);
    options.option_bytes = Bytes(16, 0x00);  // nothing placed at the top of the code area
    options.timeout_seconds = 20;
    return options;
  }

  fs::path folder;
};

Bytes HexText(const std::string& text) { return {text.begin(), text.end()}; }

Bytes Counting(int n, int step = 5) {
  Bytes b(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i)
    b[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i * step + 3);
  return b;
}

sim::SimChipConfig ChipConfig(int family, int fw) {
  sim::SimChipConfig chip;
  chip.chip_index = test::ChipOfFamily(family);
  chip.fw_version = fw;
  return chip;
}

TEST_F(DownloadCommandTest, ImageWithDataBlockReachesTheFlash) {
  sim::BootLoaderSim sim(ChipConfig(11, 0x71), {});
  std::string error;
  ASSERT_TRUE(sim.Start(error)) << error;
  const Bytes code = Counting(1000);
  const Bytes data = Counting(100, 11);
  DownloadCommandOptions options = OnSimulator(sim, 11, code);
  options.data = File("data.bin", data);
  options.data_offset = 0x0C00;
  const Captured c = Run(options);
  ASSERT_EQ(c.result, 0) << c.error << c.out;
  EXPECT_NE(c.out.find("  Complete !("), std::string::npos);
  EXPECT_EQ(c.out.substr(c.out.rfind('\n', c.out.size() - 2)), "\nStep result: 0 (ok)\n");
  EXPECT_EQ(c.out.find('\r'), std::string::npos);
  EXPECT_EQ(c.out.find('\b'), std::string::npos) << "no progress when it is not shown";
  const Bytes flash = sim.Flash();
  EXPECT_TRUE(std::equal(code.begin(), code.end(), flash.begin()));
  EXPECT_TRUE(std::all_of(flash.begin() + 1000, flash.begin() + 0x0C00,
                          [](std::uint8_t b) { return b == 0xFF; }));
  EXPECT_TRUE(std::equal(data.begin(), data.end(), flash.begin() + 0x0C00));
}

TEST_F(DownloadCommandTest, IntelHexImage) {
  sim::BootLoaderSim sim(ChipConfig(11, 0x71), {});
  std::string error;
  ASSERT_TRUE(sim.Start(error)) << error;
  DownloadCommandOptions options = OnSimulator(sim, 11, {});
  // Two data records with a gap between them, the second above an address record.
  options.image = File("image.hex", HexText(":0400000001020304F2\n"
                                            ":020000040000FA\n"
                                            ":02010000AABB98\n"
                                            ":00000001FF\n"));
  const Captured c = Run(options);
  ASSERT_EQ(c.result, 0) << c.error << c.out;
  const Bytes flash = sim.Flash();
  EXPECT_EQ(Bytes(flash.begin(), flash.begin() + 4), (Bytes{1, 2, 3, 4}));
  EXPECT_TRUE(std::all_of(flash.begin() + 4, flash.begin() + 0x100,
                          [](std::uint8_t b) { return b == 0xFF; }));
  EXPECT_EQ(Bytes(flash.begin() + 0x100, flash.begin() + 0x102), (Bytes{0xAA, 0xBB}));
}

TEST_F(DownloadCommandTest, NewerChipWithPasswordAndUserKey) {
  sim::SimChipConfig chip = ChipConfig(30, 0x72);
  chip.password = "open";
  sim::BootLoaderSim sim(chip, {});
  std::string error;
  ASSERT_TRUE(sim.Start(error)) << error;
  const Bytes code = Counting(700);
  DownloadCommandOptions options = OnSimulator(sim, 30, code);
  options.option_bytes[0] = 0xFE;  // the chip keeps its own clock
  options.password = "open";
  options.new_password = "shut";
  options.user_key = File("key.bin", Counting(256, 1));
  options.language = 1;
  const Captured c = Run(options);
  ASSERT_EQ(c.result, 0) << c.error << c.out;
  EXPECT_NE(c.out.find("操作成功 !("), std::string::npos) << c.out;
  EXPECT_EQ(c.out.substr(c.out.rfind('\n', c.out.size() - 2)), "\nStep result: 0 (成功)\n");
  const Bytes flash = sim.Flash();
  EXPECT_TRUE(std::equal(code.begin(), code.end(), flash.begin()));
  const std::string state = sim.StateJson();
  EXPECT_NE(state.find("\"password\": \"73687574\""), std::string::npos) << state;
  EXPECT_NE(state.find("\"user_key\": \"030405"), std::string::npos) << state;
}

TEST_F(DownloadCommandTest, RefusedBeforeThePortOpens) {
  const std::string image = File("image.bin", Counting(100));
  const std::string empty = File("empty.bin", {});
  const std::string big = File("big.bin", Bytes(131073, 0x11));
  const std::string key = File("key.bin", Bytes(257, 0x22));
  struct Case {
    const char* name;
    std::function<void(DownloadCommandOptions&)> change;
    const char* error;
  } const cases[] = {
      {"unknown chip", [](auto& o) { o.chip = "NOPE"; }, "unknown chip NOPE"},
      {"missing image", [&](auto& o) { o.image = (folder / "none.bin").string(); }, "none.bin"},
      {"empty image", [&](auto& o) { o.image = empty; }, "empty.bin: holds no bytes"},
      {"image too large", [&](auto& o) { o.image = big; },
       "more than the 131072-byte image buffer"},
      {"data without offset", [&](auto& o) { o.data = image; }, "--data needs --data-offset"},
      {"data beyond the image buffer",
       [&](auto& o) {
         o.data = image;
         o.data_offset = 131000;
       },
       "ends beyond 131072 bytes"},
      {"user key too long", [&](auto& o) { o.user_key = key; },
       "more than the 256-byte image buffer"},
      {"Intel HEX with a wrong checksum names its line",
       [&](auto& o) { o.image = File("bad.hex", HexText(":0100000011EF\n:00000001FF\n")); },
       "bad.hex: line 1"},
      {"Intel HEX without its end record",
       [&](auto& o) { o.image = File("open.hex", HexText(":020000000102FB\n")); },
       "without its end record"},
      {"password too long", [](auto& o) { o.password = std::string(64, 'x'); },
       "--password is longer than 63 characters"},
      {"new password not ASCII", [](auto& o) { o.new_password = "caf\xc3\xa9"; },
       "--new-password must be printable ASCII"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DownloadCommandOptions options;
    options.port = "/nonexistent/tty";
    options.chip = ChipTable()[static_cast<std::size_t>(test::ChipOfFamily(11))].name;
    options.image = image;
    c.change(options);
    const Captured captured = Run(options);
    EXPECT_EQ(captured.result, kStepFailedLogged);
    EXPECT_NE(captured.error.find(c.error), std::string::npos) << captured.error;
    EXPECT_TRUE(captured.out.empty()) << captured.out;
  }
}

TEST_F(DownloadCommandTest, PortThatDoesNotOpenIsLogged) {
  DownloadCommandOptions options;
  options.port = "/nonexistent/tty";
  options.chip = ChipTable()[static_cast<std::size_t>(test::ChipOfFamily(11))].name;
  options.image = File("image.bin", Counting(100));
  const Captured c = Run(options);
  EXPECT_EQ(c.result, kStepFailedLogged);
  EXPECT_TRUE(c.error.empty());
  EXPECT_EQ(c.out.rfind("Device open fail !\nPlease check the device .\n", 0), 0u) << c.out;
  EXPECT_NE(c.out.find("/nonexistent/tty"), std::string::npos);
}

TEST_F(DownloadCommandTest, TimeoutStopsTheDownload) {
  // A chip that never answers the synchronisation of this framing.
  DownloadCommandOptions options;
  test::PseudoTerminal pty;
  ASSERT_TRUE(pty.ok());
  options.port = pty.slave_path();
  options.chip = ChipTable()[static_cast<std::size_t>(test::ChipOfFamily(11))].name;
  options.image = File("image.bin", Counting(100));
  options.timeout_seconds = 0.3;
  const Captured c = Run(options);
  EXPECT_EQ(c.result, kStepStopped);
  EXPECT_NE(c.out.find("Terminated !("), std::string::npos) << c.out;
}

TEST(OptionBytesTest, HexadecimalText) {
  Bytes bytes;
  EXPECT_TRUE(ParseOptionBytes("0a 1B,ff", bytes));
  EXPECT_EQ(bytes, (Bytes{0x0A, 0x1B, 0xFF}));
  EXPECT_TRUE(ParseOptionBytes(std::string(64, 'f'), bytes));
  EXPECT_EQ(bytes.size(), 32u);
  for (const std::string& bad : {std::string(), std::string("0"), std::string("0g"),
                                 std::string(66, 'f'), std::string("-1")}) {
    EXPECT_FALSE(ParseOptionBytes(bad, bytes)) << bad;
  }
}

}  // namespace
}  // namespace fw
