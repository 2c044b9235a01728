// Downloads through the USB writer flow into simulated writers: the flash
// against the image, the commands the writer takes, the refusals, stops and
// unplugged writers.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/run/download_run.h"
#include "app/run/usb_writer_flow.h"
#include "isp/expected_chip.h"
#include "isp/link/isp_link.h"
#include "sim/sim_usb_bus.h"
#include "target/chips/chip_table.h"
#include "target/chips/option_block.h"
#include "target/usb_writer/usb_writer_link.h"
#include "tests/app/run/app_fakes.h"
#include "tests/support/chip_finder.h"
#include "tests/support/expected_flash.h"
#include "tests/support/string_log.h"
#include "tests/support/writer_chip.h"

namespace fw {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
using sim::SimUsbCommand;
using sim::SimUsbReplyFault;
using sim::SimUsbWriter;
using sim::SimUsbWriterConfig;

constexpr int kCommandValue = 0xA55A;
// The chip's clock as its status reply reports it, and the project's.
constexpr int kChipClock = 12000000;
constexpr int kSetFrequency = 11059200;

class RecordedSounds : public SoundSink {
 public:
  void Beep(BeepKind kind) override { kinds.push_back(kind); }
  std::vector<BeepKind> kinds;
};

void SetPassword(DownloadPassword& password, const std::string& text) {
  password.length = static_cast<int>(text.size());
  std::copy(text.begin(), text.end(), password.bytes.begin());
}

// A small chip of an option-record family (45 to 52): 4 KB of code, so that
// the erase wait is short.
int SmallChip() {
  return test::FindChip([](const ChipRecord& r) {
    return FamilyCode(r) >= 45 && FamilyCode(r) <= 52 && r.code_size == 4096 && r.sub_model == 0;
  });
}

// A chip at firmware 7.4 whose status reply carries the factory trim values of
// the 20 and 22.1184 MHz bases.
SimUsbWriterConfig SmallChipConfig(int fw_version = 0x74, int fw_build = 0) {
  SimUsbWriterConfig config = test::WriterConfigFor(SmallChip());
  config.chip.fw_version = fw_version;
  config.chip.fw_build = fw_build;
  config.chip.frequency = kChipClock;
  config.status_bytes = {{42, 0x80}, {25, 0x70}};
  return config;
}

class UsbWriterFlowTest : public ::testing::Test {
 protected:
  // A writer plugged in as USB1 and a link that expects its chip, with an
  // image of image_length bytes.
  void Plug(SimUsbWriterConfig config, int image_length = 1000) {
    writer = std::make_shared<SimUsbWriter>(config);
    bus = std::make_unique<sim::SimUsbBus>();
    bus->Attach(writer, {1, {2}, 4});
    link.Reinitialise();
    link.outputs.echo = nullptr;
    link.outputs.log_sink = &log;
    link.outputs.sound_sink = &sounds;
    link.request.language = kLanguageEnglish;
    ExpectChip(link, ChipTable()[static_cast<std::size_t>(config.chip.chip_index)]);
    link.request.set_frequency = kSetFrequency;
    link.image.image_length = image_length;
    for (int k = 0; k < image_length; ++k) {
      link.image.image_source[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(k * 7 + 3);
    }
    link.image.option_bytes[15] = 0x00;  // no chip parameters at the top of the code
  }

  // One download through writer 1; a stop that is not seen ends it after limit.
  int Run(std::chrono::milliseconds limit = std::chrono::seconds(15)) {
    std::jthread guard([this, limit](std::stop_token stop) {
      const auto until = Clock::now() + limit;
      while (!stop.stop_requested() && Clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      if (!stop.stop_requested()) link.running = false;
    });
    const auto start = Clock::now();
    const int result = UsbWriterDownload(link, *bus, 1, dialogs, "QMV-ISP (V6.86E)");
    elapsed = Clock::now() - start;
    EXPECT_EQ(link.usb_writer, nullptr) << "the flow closes the writer";
    EXPECT_FALSE(link.running);
    return result;
  }

  // Clears running once the writer has taken a command with this code.
  std::jthread StopAfter(int request, std::chrono::milliseconds delay) {
    return std::jthread([this, request, delay](std::stop_token stop) {
      while (!stop.stop_requested()) {
        const std::vector<SimUsbCommand> commands = writer->Commands();
        if (std::any_of(commands.begin(), commands.end(),
                        [&](const SimUsbCommand& c) { return c.request == request; })) {
          std::this_thread::sleep_for(delay);
          link.running = false;
          return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
    });
  }

  std::vector<int> Requests() const {
    std::vector<int> requests;
    for (const SimUsbCommand& c : writer->Commands()) requests.push_back(c.request);
    return requests;
  }

  bool Logged(const std::string& text) const { return log.text.find(text) != std::string::npos; }

  std::unique_ptr<sim::SimUsbBus> bus;
  std::shared_ptr<SimUsbWriter> writer;
  IspLink link;
  test::StringLog log;
  RecordedSounds sounds;
  test::ScriptedDialogs dialogs;
  Clock::duration elapsed{};
};

TEST_F(UsbWriterFlowTest, DownloadsImageUserKeyOptionsAndNewPassword) {
  SimUsbWriterConfig config = SmallChipConfig();
  config.chip.password = "old";
  Plug(config);
  link.request.password_present = true;
  SetPassword(link.request.password, "old");
  SetPassword(link.request.new_password, "new");
  link.request.user_key_present = true;
  for (std::size_t k = 0; k < link.image.user_key.size(); ++k) {
    link.image.user_key[k] = static_cast<std::uint8_t>(k ^ 0xA5);
  }
  // A serial number travels as an extra data record over a blank area.
  std::fill_n(link.image.image_source.begin() + 0x300, 4, 0xFF);
  SerialNumberPlacement& serial = link.placements.serial_numbers[0];
  serial.enabled = true;
  serial.address = 0x300;
  serial.length = 4;
  serial.value = {0x78, 0x56, 0x34, 0x12};

  ASSERT_EQ(Run(), kStepOk) << log.text;
  EXPECT_TRUE(writer->Errors().empty()) << writer->Errors().front();

  const Bytes flash = writer->Flash();
  const Bytes expected = test::ExpectedFlash(link);
  ASSERT_GE(flash.size(), expected.size());
  EXPECT_EQ(Bytes(flash.begin(), flash.begin() + static_cast<std::ptrdiff_t>(expected.size())),
            expected);
  EXPECT_EQ(Bytes(flash.begin() + 0x300, flash.begin() + 0x304), (Bytes{0x12, 0x34, 0x56, 0x78}));
  EXPECT_EQ(writer->UserKey(), link.image.user_key);
  EXPECT_EQ(writer->Password(), "new");

  // The factory trim for 11.0592 MHz: 22.1184 MHz halved, its trim byte 0x70
  // in range 3 (below the 20 MHz trim byte), so code 3 + 4 * 2.
  EXPECT_EQ(link.clock.trim_bytes[2], 0x70);
  EXPECT_EQ(link.clock.trim_bytes[3], 11);
  EXPECT_EQ(link.clock.adjusted_frequency, kSetFrequency);
  const Bytes options = writer->Options();
  ASSERT_EQ(options.size(), 40u);
  EXPECT_EQ(Bytes(options.begin() + 24, options.begin() + 31),
            (Bytes{0x00, 0xA8, 0xC0, 0x00, 0x70, 0x03, 0x02}))
      << "frequency, trim, low bits and range where the option block carries them";
  std::array<std::uint8_t, kOptionBlockSize> block{};
  BuildOptionBlock(link, block);
  EXPECT_EQ(options, Bytes(block.begin(), block.begin() + 40));

  EXPECT_EQ(link.target.chip_serial[0], config.chip.serial_number[0]);
  EXPECT_EQ(link.target.chip_serial[6], config.chip.serial_number[6]);

  const std::vector<SimUsbCommand> commands = writer->Commands();
  const std::vector<int> expected_requests = {0x01, 0x05, 0x03, 0x26, 0x06, 0x06, 0x06,
                                              0x22, 0x02, 0x02, 0x02, 0x02, 0x02, 0x02,
                                              0x02, 0x02, 0x04, 0x07, 0xFF};
  ASSERT_EQ(Requests(), expected_requests);
  EXPECT_EQ(commands[0].value, 0);
  EXPECT_EQ(commands[0].data, Bytes{0x03}) << "prepare for a family below 53";
  EXPECT_EQ(commands[1].data, (Bytes{'o', 'l', 'd'}));
  EXPECT_EQ(commands[2].data, Bytes{0x00}) << "no sectors beyond the code area";
  for (int k = 0; k < 4; ++k) EXPECT_EQ(commands[static_cast<std::size_t>(3 + k)].index, 64 * k);
  EXPECT_EQ(commands[14].index, 896);
  EXPECT_EQ(commands[14].data.size(), 1000u - 896u);
  EXPECT_EQ(commands[15].index, 0x300) << "the serial number's record";
  EXPECT_EQ(commands[15].data, (Bytes{0x12, 0x34, 0x56, 0x78}));
  EXPECT_EQ(commands[17].data, (Bytes{'n', 'e', 'w'}));
  EXPECT_EQ(commands[18].value, 0);
  EXPECT_EQ(commands[18].data, Bytes{0x00});
  for (std::size_t k = 1; k < 18; ++k) EXPECT_EQ(commands[k].value, kCommandValue) << k;

  // The report after programming shows the programmed clock, not the chip's old one.
  const std::size_t upgraded = log.text.find("H/W Option upgrade to:");
  ASSERT_NE(upgraded, std::string::npos) << log.text;
  EXPECT_LT(log.text.find("IRC frequency: 12.000MHz"), upgraded);
  EXPECT_NE(log.text.find("IRC frequency: 11.059MHz", upgraded), std::string::npos) << log.text;
  EXPECT_TRUE(Logged("  Complete !(")) << log.text;
  EXPECT_EQ(sounds.kinds, std::vector<BeepKind>{BeepKind::kInformation});
}

TEST_F(UsbWriterFlowTest, ProgramsBlocksOf128BytesWithTheFirstBlocksCode) {
  struct Case {
    bool program_variant;
    std::vector<int> codes;
  } const cases[] = {{false, {0x22, 0x02, 0x02}}, {true, {0xA2, 0x82, 0x82}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.program_variant);
    Plug(SmallChipConfig(), 300);
    link.request.program_variant = c.program_variant;
    ASSERT_EQ(Run(), kStepOk) << log.text;
    std::vector<SimUsbCommand> blocks;
    for (const SimUsbCommand& command : writer->Commands()) {
      if ((command.request & 0x5F) == 0x02) blocks.push_back(command);
    }
    ASSERT_EQ(blocks.size(), 3u);
    const std::size_t sizes[] = {128, 128, 44};
    for (std::size_t k = 0; k < 3; ++k) {
      EXPECT_EQ(blocks[k].request, c.codes[k]);
      EXPECT_EQ(blocks[k].index, static_cast<int>(128 * k));
      EXPECT_EQ(blocks[k].data.size(), sizes[k]);
    }
    const Bytes flash = writer->Flash();
    EXPECT_TRUE(std::equal(flash.begin(), flash.begin() + 300, link.image.image_source.begin()));
  }
}

TEST_F(UsbWriterFlowTest, RefusedPasswordsEndBeforeTheErase) {
  struct Case {
    const char* name;
    std::string chip_password;
    bool locked;
    bool project_password;
    const char* line;
  } const cases[] = {
      {"wrong password", "abc", false, true, "User password error !"},
      {"none given to a protected chip", "abc", false, false, "User password error !"},
      {"locked chip", "", true, true, "MCU is locked !"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimUsbWriterConfig config = SmallChipConfig();
    config.chip.password = c.chip_password;
    config.chip.locked = c.locked;
    Plug(config);
    link.request.password_present = c.project_password;
    if (c.project_password) SetPassword(link.request.password, "abd");
    log.text.clear();
    sounds.kinds.clear();
    EXPECT_EQ(Run(), kStepRefused);
    EXPECT_TRUE(Logged(c.line)) << log.text;
    EXPECT_TRUE(Logged("Download failed ! (6.86E)(")) << log.text;
    EXPECT_EQ(Requests(), (std::vector<int>{0x01, 0x05, 0xFF}));
    EXPECT_EQ(writer->erase_count(), 0);
    EXPECT_EQ(sounds.kinds, std::vector<BeepKind>(3, BeepKind::kError));
  }
}

TEST_F(UsbWriterFlowTest, StopWhileTheEraseIsAwaitedEndsWithResult3) {
  struct Case {
    const char* name;
    int chip;
    std::chrono::milliseconds erase_time;
  } const cases[] = {
      // 120 sectors of code: the flow waits 3 s before it reads the reply.
      {"during the erase wait", test::WriterTestChip(), std::chrono::milliseconds(0)},
      {"waiting for a slow erase reply", SmallChip(), std::chrono::seconds(30)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimUsbWriterConfig config = test::WriterConfigFor(c.chip);
    config.erase_time = c.erase_time;
    Plug(config);
    log.text.clear();
    sounds.kinds.clear();
    {
      std::jthread stopper = StopAfter(0x03, std::chrono::milliseconds(700));
      EXPECT_EQ(Run(), kStepStopped) << log.text;
    }
    EXPECT_LT(elapsed, std::chrono::milliseconds(3000)) << "well before the wait would end";
    EXPECT_EQ(Requests(), (std::vector<int>{0x01, 0x05, 0x03, 0xFF}));
    EXPECT_TRUE(Logged("Terminated !(")) << log.text;
    EXPECT_EQ(sounds.kinds, std::vector<BeepKind>{BeepKind::kPlain});
  }
}

TEST_F(UsbWriterFlowTest, StopBetweenProgramBlocksEndsWithResult3) {
  Plug(SmallChipConfig(), 3000);
  std::jthread stopper = StopAfter(0x22, std::chrono::milliseconds(0));
  EXPECT_EQ(Run(), kStepStopped) << log.text;
  const std::vector<int> requests = Requests();
  EXPECT_EQ(requests.back(), 0xFF) << "the end command is still sent";
  EXPECT_EQ(std::count(requests.begin(), requests.end(), 0x04), 0) << "no options";
  EXPECT_LT(std::count(requests.begin(), requests.end(), 0x02), 22);
  EXPECT_TRUE(Logged("Terminated !(")) << log.text;
}

TEST_F(UsbWriterFlowTest, UnpluggedWriterEndsTheDownloadAtOnceWithResult1) {
  struct Case {
    const char* name;
    bool while_waiting;
  } const cases[] = {{"as a program block is sent", false}, {"while a reply is awaited", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Plug(SmallChipConfig());
    log.text.clear();
    sounds.kinds.clear();
    std::jthread unplugger;
    if (c.while_waiting) {
      writer->SetReplyFault(0x22, SimUsbReplyFault::kSilent);
      unplugger = std::jthread([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1200));
        writer->Unplug();
      });
    } else {
      writer->UnplugOnCommand(0x02);
    }
    EXPECT_EQ(Run(), kStepRefused);
    EXPECT_LT(elapsed, std::chrono::seconds(4));
    EXPECT_TRUE(Logged("The USB writer USB1 is gone (unplugged) !")) << log.text;
    EXPECT_TRUE(Logged("Download failed ! (6.86E)(")) << log.text;
    EXPECT_FALSE(Logged("Programming OPTIONS")) << log.text;
    EXPECT_EQ(sounds.kinds, std::vector<BeepKind>(3, BeepKind::kError));
    unplugger = {};
  }
}

TEST_F(UsbWriterFlowTest, RefusesWhatTheWriterCannotAddressBeforeErasingAnything) {
  // 64 KB of code and 8 KB of data: room for more than the writer reaches.
  const int large = test::FindChip([](const ChipRecord& r) {
    return r.code_size == 65536 && r.data_size == 8192 && r.sub_model == 0;
  });
  ASSERT_GT(large, 0);
  struct Case {
    const char* name;
    int chip;
    int fw_version;
    int image_length;
    int serial_address;  // -1: none
    const char* line;
  } const cases[] = {
      {"program above 64 KB", large, 0x72, 65537, -1,
       "The program (65537 bytes) is larger than the 64 KB the USB writer can address"},
      {"program with a record that ends above 64 KB", large, 0x72, 1024, 0xFFFE,
       "The program (65538 bytes) is larger than the 64 KB the USB writer can address"},
      // Far enough up that no program length counts it.
      {"record far above 64 KB", large, 0x72, 1024, 0x30000,
       "A data record at 0x30000 lies beyond the 64 KB the USB writer can address"},
      {"program larger than the chip's flash", SmallChip(), 0x74, 16384, -1,
       "The program (16384 bytes) does not fit the chip's flash"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimUsbWriterConfig config = test::WriterConfigFor(c.chip);
    config.chip.fw_version = c.fw_version;
    config.chip.old_flash = 0x5C;
    Plug(config, c.image_length);
    if (c.serial_address >= 0) {
      SerialNumberPlacement& serial = link.placements.serial_numbers[0];
      serial.enabled = true;
      serial.address = c.serial_address;
      serial.length = 4;
    }
    log.text.clear();
    EXPECT_EQ(Run(), kStepRefused);
    EXPECT_TRUE(Logged(c.line)) << log.text;
    EXPECT_TRUE(Logged("Download failed !")) << log.text;
    EXPECT_EQ(Requests(), std::vector<int>{0xFF}) << "nothing but the end command";
    EXPECT_EQ(writer->erase_count(), 0);
    const Bytes flash = writer->Flash();
    EXPECT_TRUE(std::all_of(flash.begin(), flash.end(), [](std::uint8_t b) { return b == 0x5C; }));
  }
}

TEST_F(UsbWriterFlowTest, SixtyFourKilobytesAreStillDownloaded) {
  // 60 KB of code and 4 KB of data: a 64 KB program reaches 8 sectors into the data.
  Plug(test::WriterTestConfig(), 65536);
  std::jthread stopper = StopAfter(0x03, std::chrono::milliseconds(0));
  EXPECT_EQ(Run(), kStepStopped) << log.text;
  EXPECT_EQ(writer->erase_count(), 1);
  EXPECT_EQ(writer->erased_extra_sectors(), 8);
}

TEST_F(UsbWriterFlowTest, FailedTransfersAndRefusedCommandsEndWithResult1) {
  struct Case {
    const char* name;
    int command;  // whose reply goes wrong; sim::kSimStatusReply for the status
    SimUsbReplyFault fault;
    std::vector<int> requests;
  } const cases[] = {
      {"status reply with a bad check", sim::kSimStatusReply, SimUsbReplyFault::kBadCheck, {0xFF}},
      {"status reply without data", sim::kSimStatusReply, SimUsbReplyFault::kEmpty, {0xFF}},
      {"status reply longer than the room for it",
       sim::kSimStatusReply,
       SimUsbReplyFault::kOversize,
       {0xFF}},
      {"erase reply that does not start 46 B9",
       0x03,
       SimUsbReplyFault::kBadStart,
       {0x01, 0x05, 0x03, 0xFF}},
      {"key block refused", 0x26, SimUsbReplyFault::kRefused, {0x01, 0x05, 0x03, 0x26, 0xFF}},
      {"program block cut short",
       0x22,
       SimUsbReplyFault::kTruncated,
       {0x01, 0x05, 0x03, 0x26, 0x06, 0x06, 0x06, 0x22, 0xFF}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Plug(SmallChipConfig());
    link.request.user_key_present = true;
    writer->SetReplyFault(c.command, c.fault);
    log.text.clear();
    EXPECT_EQ(Run(), kStepRefused);
    EXPECT_EQ(Requests(), c.requests);
    EXPECT_TRUE(Logged("Download failed ! (6.86E)(")) << log.text;
  }
}

TEST_F(UsbWriterFlowTest, OptionsAndNewPasswordInTheOrderOfTheFirmware) {
  struct Case {
    const char* name;
    int fw_version;
    int fw_build;
    bool passwords;
    std::string new_password;
    std::vector<int> last_requests;
    std::string chip_password_after;
  } const cases[] = {
      {"options, then the new password", 0x74, 0, true, "new", {0x04, 0x07, 0xFF}, "new"},
      {"no new password to send", 0x74, 0, true, "", {0x22, 0x04, 0xFF}, "old"},
      {"7.3 build 1: the new password first, empty as 00",
       0x73,
       1,
       true,
       "",
       {0x22, 0x07, 0x04, 0xFF},
       ""},
      {"7.3 build 1 without passwords", 0x73, 1, false, "", {0x22, 0x04, 0xFF}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimUsbWriterConfig config = SmallChipConfig(c.fw_version, c.fw_build);
    if (c.passwords) config.chip.password = "old";
    Plug(config, 128);
    link.request.password_present = c.passwords;
    SetPassword(link.request.password, c.passwords ? "old" : "");
    SetPassword(link.request.new_password, c.new_password);
    ASSERT_EQ(Run(), kStepOk) << log.text;
    const std::vector<int> requests = Requests();
    ASSERT_GE(requests.size(), c.last_requests.size());
    EXPECT_EQ(std::vector<int>(requests.end() - static_cast<std::ptrdiff_t>(c.last_requests.size()),
                               requests.end()),
              c.last_requests);
    EXPECT_EQ(writer->Password(), c.chip_password_after);
    EXPECT_TRUE(writer->Errors().empty()) << writer->Errors().front();
  }
}

TEST_F(UsbWriterFlowTest, IdentificationEndsADownloadForAnotherChip) {
  struct Case {
    const char* name;
    int reported_id;
    int result;
    std::vector<BeepKind> sounds;
    bool failure_line;
  } const cases[] = {
      {"a known chip the project does not expect",
       -2,
       kStepWrongChip,
       {BeepKind::kInformation},
       false},
      {"an unknown chip", 0xFFEE, kStepRefused, std::vector<BeepKind>(3, BeepKind::kError), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimUsbWriterConfig config = SmallChipConfig();
    const int other = test::FindChip([&](const ChipRecord& r) {
      return r.id != ChipTable()[static_cast<std::size_t>(config.chip.chip_index)].id;
    });
    config.chip.id_override =
        c.reported_id == -2 ? ChipTable()[static_cast<std::size_t>(other)].id : c.reported_id;
    Plug(config);
    log.text.clear();
    sounds.kinds.clear();
    EXPECT_EQ(Run(), c.result);
    EXPECT_EQ(Requests(), std::vector<int>{0xFF});
    EXPECT_EQ(sounds.kinds, c.sounds);
    EXPECT_EQ(Logged("Download failed !"), c.failure_line) << log.text;
  }
}

TEST_F(UsbWriterFlowTest, AWriterThatDoesNotOpenEndsWithResultMinus1) {
  struct Case {
    const char* name;
    int writer_number;
    UsbOpenError error;
    const char* reason;
  } const cases[] = {
      {"no second writer", 2, UsbOpenError::kNone, "USB2: no such USB writer is attached"},
      {"no permission", 1, UsbOpenError::kNoPermission, "no permission to open the device"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Plug(SmallChipConfig());
    writer->SetOpenError(c.error);
    log.text.clear();
    sounds.kinds.clear();
    test::ScriptedDialogs boxes;
    link.running = false;
    EXPECT_EQ(UsbWriterDownload(link, *bus, c.writer_number, boxes, "QMV-ISP (V6.86E)"),
              kStepFailedLogged);
    EXPECT_TRUE(Logged("Device open fail")) << log.text;
    EXPECT_TRUE(Logged(c.reason)) << log.text;
    EXPECT_FALSE(Logged("Download failed")) << "no result line";
    const std::vector<std::string> messages = boxes.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind("ERROR: ", 0), 0u) << messages[0];
    EXPECT_NE(messages[0].find(c.reason), std::string::npos) << messages[0];
    EXPECT_EQ(boxes.Icons(), std::vector<MessageIcon>{MessageIcon::kExclamation});
    EXPECT_EQ(sounds.kinds, std::vector<BeepKind>{BeepKind::kError});
    EXPECT_TRUE(writer->Commands().empty());
    EXPECT_FALSE(link.running);
    EXPECT_EQ(link.usb_writer, nullptr);
  }
}

// The worker's pass for a USB writer entry: the project's image through the
// entry's writer (the second of two), nothing through the other.
TEST(UsbWriterRunTest, TheWorkerDownloadsThroughTheEntrysWriter) {
  Project project;
  project.strings = {"EN", "QMV-ISP (V6.86E)", "", "", "", "", "", "", "", "chip", "", "App"};
  project.chip_index = SmallChip();
  project.set_frequency = kSetFrequency;
  project.code_block.resize(700);
  for (std::size_t k = 0; k < project.code_block.size(); ++k) {
    project.code_block[k] = static_cast<std::uint8_t>(k * 13 + 1);
  }
  sim::SimUsbBus bus;
  const auto first = std::make_shared<SimUsbWriter>(SmallChipConfig());
  const auto second = std::make_shared<SimUsbWriter>(SmallChipConfig());
  bus.Attach(first, {1, {1}, 5});
  bus.Attach(second, {1, {3}, 9});
  test::MemoryProfile profile;
  test::FakeView view;
  test::ScriptedDialogs dialogs;
  test::StringLog log;
  DownloadRun run(&project, profile, view, dialogs, kLanguageEnglish);
  run.link().outputs.log_sink = &log;
  run.link().outputs.echo = nullptr;
  run.SetUsbWriterBus(bus);
  view.SetPort(UsbWriterEntry(2));
  ASSERT_TRUE(run.StartDownload(RunMode::kOnce));
  run.WaitUntilIdle();

  EXPECT_EQ(run.last_result(), kStepOk) << log.text;
  EXPECT_EQ(run.pass_counter(), 1u);
  EXPECT_TRUE(first->Commands().empty()) << "the other writer is left alone";
  EXPECT_TRUE(second->Errors().empty()) << second->Errors().front();
  const Bytes flash = second->Flash();
  EXPECT_TRUE(std::equal(project.code_block.begin(), project.code_block.end(), flash.begin()));
  EXPECT_TRUE(std::all_of(flash.begin() + 700, flash.begin() + 1024, [](std::uint8_t b) {
    return b == 0xFF;
  })) << "the image up to its 512-byte multiple is blank";
  EXPECT_NE(log.text.find("  Complete !("), std::string::npos) << log.text;
}

}  // namespace
}  // namespace fw
