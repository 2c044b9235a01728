// The user's firmware in the simulated chip: the user-interface request it
// answers, the boot command it insists on before the boot loader listens, at
// their own rates, and its return after a download.
#include <gtest/gtest.h>

#include <thread>

#include "sim/boot_loader_sim.h"
#include "sim/running_firmware.h"
#include "tests/sim/pty_host.h"

namespace fw::sim::test {
namespace {

using namespace std::chrono_literals;

const Bytes kRequest = {0x55, 0xAA, 0x01};
const Bytes kReply = {0x10, 0x20, 0x30, 0x40};
const Bytes kBoot = {0x24, 0xFF, 0x01, 0xFD, 0x21};

FirmwareConfig Firmware(bool with_boot_command) {
  FirmwareConfig f;
  f.ui_request = kRequest;
  f.ui_reply = kReply;
  f.ui_rate = 9600;
  if (with_boot_command) {
    f.boot_command = kBoot;
    f.boot_rate = 9600;
  }
  return f;
}

Bytes Feed(RunningFirmware& firmware, const Bytes& bytes, int rate, bool* boots = nullptr) {
  Bytes reply;
  for (const std::uint8_t b : bytes) {
    const FirmwareReaction r = firmware.Take(b, rate);
    reply.insert(reply.end(), r.reply.begin(), r.reply.end());
    if (boots != nullptr && r.boot_loader_starts) *boots = true;
  }
  return reply;
}

TEST(RunningFirmwareTest, AnswersTheRequestAtItsRateOnly) {
  RunningFirmware firmware(Firmware(false));
  EXPECT_FALSE(firmware.HoldsLine());
  EXPECT_EQ(Feed(firmware, kRequest, 19200), Bytes{}) << "garbled at another rate";
  EXPECT_EQ(Feed(firmware, {0x00, 0x55, 0xAA}, 9600), Bytes{});
  EXPECT_EQ(Feed(firmware, {0x01}, 9600), kReply) << "the request may follow other bytes";
  EXPECT_EQ(Feed(firmware, {0x0A, 0x0B}, 9600), Bytes{});
  EXPECT_EQ(firmware.after_reply(), (Bytes{0x0A, 0x0B}));
  EXPECT_EQ(firmware.requests_answered(), 1);
}

TEST(RunningFirmwareTest, TheBootCommandStartsTheBootLoader) {
  RunningFirmware firmware(Firmware(true));
  EXPECT_TRUE(firmware.HoldsLine());
  bool boots = false;
  Feed(firmware, kBoot, 2400, &boots);
  EXPECT_FALSE(boots) << "at another rate";
  Feed(firmware, kBoot, 9600, &boots);
  EXPECT_TRUE(boots);
  EXPECT_FALSE(firmware.running());
  EXPECT_FALSE(firmware.HoldsLine());
  EXPECT_EQ(Feed(firmware, kRequest, 9600), Bytes{}) << "the boot loader does not answer it";
  firmware.Restart();
  EXPECT_TRUE(firmware.HoldsLine());
  EXPECT_EQ(Feed(firmware, kRequest, 9600), kReply);
  EXPECT_EQ(firmware.boot_commands_taken(), 1);
}

TEST(RunningFirmwareTest, WithoutRequestOrBootCommandItStaysOutOfTheWay) {
  RunningFirmware firmware(FirmwareConfig{});
  bool boots = false;
  EXPECT_EQ(Feed(firmware, kRequest, 9600, &boots), Bytes{});
  EXPECT_FALSE(boots);
  EXPECT_FALSE(firmware.HoldsLine());
}

TEST(FirmwarePtyTest, ReplyFirstThenTheBootLoaderAfterTheBootCommand) {
  SimChipConfig chip;
  chip.chip_index = ChipOf(45);
  chip.fw_version = 0x72;
  chip.frequency = 11059200;
  SimRunConfig run;
  run.firmware = Firmware(true);
  BootLoaderSim sim(chip, {}, run);
  std::string error;
  ASSERT_TRUE(sim.Start(error)) << error;
  PtyHost host(sim.slave_path());
  ASSERT_TRUE(host.ok());

  ASSERT_TRUE(host.SetRate(9600));
  host.Write(kRequest);
  EXPECT_EQ(host.Drain(500ms), kReply);
  host.Write({0x5A});  // the second bytes
  // The simulator reads the rate when it takes the bytes: the flasher's pause
  // after a command lets them go before the rate changes.
  std::this_thread::sleep_for(100ms);
  ASSERT_TRUE(host.SetRate(2400));
  EXPECT_EQ(host.Synchronise(true, 400ms), std::nullopt) << "the firmware holds the line";
  ASSERT_TRUE(host.SetRate(9600));
  host.Write(kBoot);
  std::this_thread::sleep_for(100ms);
  ASSERT_TRUE(host.SetRate(2400));
  EXPECT_TRUE(host.Synchronise(true, 2s));
  EXPECT_EQ(sim.ui_requests_answered(), 1);
  EXPECT_EQ(sim.boot_commands_taken(), 1);
  const Bytes after = sim.BytesAfterUiReply();
  ASSERT_FALSE(after.empty());
  EXPECT_EQ(after.front(), 0x5A);
}

}  // namespace
}  // namespace fw::sim::test
