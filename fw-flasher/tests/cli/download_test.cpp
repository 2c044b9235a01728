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
#include "sim/oscillator_model.h"
#include "target/chips/chip_table.h"
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

// What each option of the command line asks of the download, as its request
// holds it.
TEST_F(DownloadCommandTest, EachOptionReachesTheRequest) {
  const int chip_index = test::ChipOfFamily(11);
  const ChipRecord& chip = ChipTable()[static_cast<std::size_t>(chip_index)];
  const std::string code = File("code.bin", Counting(1000));
  const std::string data = File("data.bin", Counting(100, 11));
  const std::string key = File("key.bin", Bytes(10, 0x5A));
  struct Case {
    const char* name;
    std::function<void(DownloadCommandOptions&)> change;
    std::function<void(const DownloadRequest&)> check;
  } const cases[] = {
      {"the chip, named as the chip table names it", [](auto&) {},
       [&](const DownloadRequest& r) {
         EXPECT_EQ(r.chip.chip_index, chip_index);
         EXPECT_EQ(r.chip.id, chip.id);
         EXPECT_EQ(r.chip.name, chip.name);
         EXPECT_EQ(r.chip.protocol_variant, ProtocolVariant(chip));
         for (int id : r.chip.alternative_ids) EXPECT_EQ(id, chip.id);
         EXPECT_EQ(r.run_mode, RunMode::kOnce);
       }},
      {"the code at 0, its length in whole 512-byte units", [](auto&) {},
       [](const DownloadRequest& r) {
         EXPECT_EQ(r.image_length, 1024);
         EXPECT_TRUE(std::equal(r.image_source.begin(), r.image_source.begin() + 1000,
                                Counting(1000).begin()));
         EXPECT_EQ(r.image_source[1000], 0xFF);
       }},
      {"the data block at its offset",
       [&](auto& o) {
         o.data = data;
         o.data_offset = 0x0C00;
       },
       [](const DownloadRequest& r) {
         EXPECT_EQ(r.image_length, 0x0E00);
         EXPECT_EQ(r.image_source[0x0C00], Counting(100, 11)[0]);
       }},
      {"option bytes from byte 0, the rest 0xFF",
       [](auto& o) {
         o.option_bytes = {0x01, 0x02, 0x03};
       },
       [](const DownloadRequest& r) {
         EXPECT_EQ(Bytes(r.option_bytes.begin(), r.option_bytes.begin() + 4),
                   (Bytes{0x01, 0x02, 0x03, 0xFF}));
         EXPECT_EQ(r.option_bytes.size(), 32u);
         EXPECT_EQ(r.option_bytes[16], 0xFF);
         EXPECT_EQ(r.option_bytes[31], 0xFF);
       }},
      {"all 32 option bytes", [](auto& o) { o.option_bytes = Bytes(32, 0x00); },
       [](const DownloadRequest& r) { EXPECT_EQ(r.option_bytes, Bytes(32, 0x00)); }},
      {"rates, frequency, language and flags",
       [](auto& o) {
         o.handshake_baud = 4800;
         o.highest_baud = 57600;
         o.set_frequency = 24000000;
         o.language = kLanguageChinese;
         o.quiet = true;
         o.silent = true;
         o.program_variant = true;
       },
       [](const DownloadRequest& r) {
         EXPECT_EQ(r.handshake_baud, 4800);
         EXPECT_EQ(r.highest_baud, 57600);
         EXPECT_EQ(r.set_frequency, 24000000);
         EXPECT_FALSE(r.frequency_override);
         EXPECT_EQ(r.language, kLanguageChinese);
         EXPECT_TRUE(r.quiet_information);
         EXPECT_TRUE(r.silent);
         EXPECT_TRUE(r.program_variant);
       }},
      {"user key and passwords",
       [&](auto& o) {
         o.user_key = key;
         o.password = "open";
         o.new_password = "shut";
       },
       [](const DownloadRequest& r) {
         EXPECT_TRUE(r.user_key_present);
         EXPECT_EQ(r.user_key, Bytes(10, 0x5A));
         EXPECT_TRUE(r.password_present);
         EXPECT_EQ(std::string(r.password.bytes.begin(), r.password.bytes.begin() + 4), "open");
         EXPECT_EQ(r.new_password.length, 4);
       }},
      {"a new password alone asks for the password flag too",
       [](auto& o) { o.new_password = "shut"; },
       [](const DownloadRequest& r) {
         EXPECT_TRUE(r.password_present);
         EXPECT_EQ(r.password.length, 0);
       }},
      {"nothing else", [](auto&) {},
       [](const DownloadRequest& r) {
         EXPECT_FALSE(r.user_key_present);
         EXPECT_FALSE(r.password_present);
         EXPECT_FALSE(r.commands.user_interface.enabled);
         EXPECT_FALSE(r.commands.pre_command.enabled);
         EXPECT_FALSE(r.serial_numbers[0].enabled);
         EXPECT_TRUE(r.board.program.empty());
         EXPECT_EQ(r.language, kLanguageEnglish);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DownloadCommandOptions options;
    options.chip = chip.name;
    options.image = code;
    c.change(options);
    std::string error;
    const std::optional<DownloadRequest> request = BuildCommandLineRequest(options, error);
    ASSERT_TRUE(request) << error;
    c.check(*request);
  }
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

// Images the download cannot program as given: it would report success with
// the user's bytes overwritten or missing. Each is refused before the port
// opens, in the words fw-pack uses, and the chip on the line hears nothing.
TEST_F(DownloadCommandTest, WhatCannotBeProgrammedAsGivenIsRefusedBeforeThePortOpens) {
  struct Case {
    const char* name;
    int family;
    int fw;
    std::function<void(DownloadCommandOptions&)> change;
    const char* error;
  } const cases[] = {
      {"a data block on top of the code", 11, 0x71,
       [&](auto& o) {
         o.data = File("data.bin", Counting(64));
         o.data_offset = 0x100;
       },
       "--data-offset 256: the data image at 0x00100 overlaps the code image, which ends at "
       "0x003E8"},
      {"code beyond the code flash, in the data flash (HEX above the chip)", 11, 0x71,
       [&](auto& o) {
         o.image = File("high.hex", HexText(":020000040001F9\n"
                                            ":0200100055AAEF\n"
                                            ":00000001FF\n"));
       },
       "high.hex: 65554 bytes do not fit the 65536-byte code flash of QMV11A64000"},
      {"bytes in the tail reserve", 45, 0x72,
       [&](auto& o) {
         Bytes image(0xEFFB, 0xFF);
         image[0] = 0x02;
         image[0xEFFA] = 0x44;
         o.image = File("tail.bin", image);
       },
       "tail.bin: holds data at 0x0EFFA, at or above 0x0EFF9 where a download to QMV45A60000 "
       "stops; those bytes would be left out"},
      {"bytes where the parameter block goes", 45, 0x72,
       [&](auto& o) {
         Bytes image(0xEFF1, 0xFF);
         image[0] = 0x02;
         image[0xEFF0] = 0x44;
         o.image = File("parameters.bin", image);
         o.option_bytes[15] = 0xFF;
       },
       "parameters.bin: holds data at 0x0EFF0, inside 0x0EFE2..0x0EFF8 where a download to "
       "QMV45A60000 writes the chip's parameter block"},
      {"bytes where the chip serial number goes (no tail reserve)", 70, 0x72,
       [&](auto& o) {
         Bytes image(0xF800, 0xFF);
         image[0] = 0x02;
         image[0xF7FF] = 0x44;
         o.image = File("serial.bin", image);
         o.option_bytes[15] = 0xFD;  // no parameter block
       },
       "serial.bin: holds data at 0x0F7FF, inside 0x0F7F9..0x0F7FF where a download to "
       "QMV70A62000 writes the chip's own serial number; those bytes would be overwritten"},
      {"bytes where a classic download puts the chip serial number", 11, 0x71,
       [&](auto& o) {
         Bytes image(0x10000, 0xFF);
         image[0] = 0x02;
         image[0xFFFA] = 0x44;
         o.image = File("classic.bin", image);
         o.option_bytes[15] = 0x02;
       },
       "classic.bin: holds data at 0x0FFFA, inside 0x0FFF9..0x0FFFF where a download to "
       "QMV11A64000 writes the chip's own serial number"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // The chips with an oscillator of their own are trimmed against one.
    sim::OscillatorModel oscillator;
    sim::SimRunConfig run;
    run.measurement = &oscillator;
    sim::BootLoaderSim sim(ChipConfig(c.family, c.fw), {}, run);
    std::string error;
    ASSERT_TRUE(sim.Start(error)) << error;
    DownloadCommandOptions options = OnSimulator(sim, c.family, Counting(1000));
    // The chips with an oscillator of their own take the erased options, as a
    // download without --options gives them.
    if (c.family >= 25) options.option_bytes.assign(16, 0xFF);
    c.change(options);
    const Captured captured = Run(options);
    EXPECT_EQ(captured.result, kStepFailedLogged) << captured.out;
    EXPECT_NE(captured.error.find(c.error), std::string::npos) << captured.error;
    EXPECT_TRUE(captured.out.empty()) << captured.out;
    EXPECT_TRUE(sim.HostPackets().empty()) << "the chip was contacted";
    EXPECT_EQ(sim.status_replies_sent(), 0);
  }
}

// The same areas hold bytes a download does not write when nothing asks for
// them there: the download goes ahead.
TEST_F(DownloadCommandTest, TheTopOfTheCodeAreaIsTheUsersWhenTheDownloadLeavesItAlone) {
  // A classic chip without the parameter flag writes nothing of its own there.
  sim::BootLoaderSim sim(ChipConfig(11, 0x71), {});
  std::string error;
  ASSERT_TRUE(sim.Start(error)) << error;
  Bytes image = Counting(0x10000);
  DownloadCommandOptions options = OnSimulator(sim, 11, image);
  const Captured c = Run(options);
  ASSERT_EQ(c.result, 0) << c.error << c.out;
  const Bytes flash = sim.Flash();
  EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
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
