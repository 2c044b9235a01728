// The libusb implementation of the writer transport, run against simulated
// writers that a umockdev test bed presents to libusb as real devices.
#include <gtest/gtest.h>
#include <umockdev.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "target/usb_writer/libusb_writer_bus.h"
#include "target/usb_writer/usb_writer_link.h"
#include "tests/support/writer_chip.h"
#include "tests/target/usb_writer/umockdev_writer_bridge.h"

namespace fw {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
using sim::SimUsbWriter;

constexpr int kCommandValue = 0xA55A;
constexpr int kReplySize = 128;

class LibusbWriterTest : public ::testing::Test {
 protected:
  std::shared_ptr<SimUsbWriter> AddWriter(const UsbWriterLocation& location,
                                          std::uint8_t serial = 0) {
    sim::SimUsbWriterConfig config = test::WriterTestConfig();
    config.chip.serial_number[0] = serial;
    auto writer = std::make_shared<SimUsbWriter>(config);
    bridge.Attach(writer, location);
    return writer;
  }
  // libusb is started after the devices are in place, as a program starting
  // with writers plugged in would be.
  UsbWriterBus& Bus() {
    if (!bus) {
      std::string error;
      bus = MakeLibusbWriterBus(error);
      if (!bus) ADD_FAILURE() << "libusb did not start: " << error;
    }
    return *bus;
  }
  std::unique_ptr<UsbWriterDevice> OpenWriter(int n) {
    UsbOpenResult opened = OpenUsbWriter(Bus(), n, kUsbWriterVendorId, kUsbWriterProductId);
    EXPECT_EQ(opened.error, UsbOpenError::kNone) << opened.detail;
    return std::move(opened.device);
  }
  // One writer whose status reply comes as fault says, opened.
  std::unique_ptr<UsbWriterDevice> OpenOneWriter(sim::SimUsbReplyFault status_fault,
                                                 const UsbWriterLocation& place = {1, {1}, 5}) {
    writer = AddWriter(place);
    writer->SetReplyFault(sim::kSimStatusReply, status_fault);
    return OpenWriter(1);
  }
  static UsbLinkResult Receive(UsbWriterDevice& device, Bytes& reply, int timeout_ms,
                               const StopRequested& stop = nullptr) {
    Bytes buffer(256, 0);
    int length = 0;
    const UsbLinkResult result =
        UsbReceive(device, {0, 0, 0}, kReplySize, buffer, length, timeout_ms, stop);
    reply.assign(buffer.begin(), buffer.begin() + length);
    return result;
  }

  test::UmockdevWriterBridge bridge;
  std::unique_ptr<UsbWriterBus> bus;
  std::shared_ptr<SimUsbWriter> writer;
};

TEST_F(LibusbWriterTest, FindsWritersByIdentifiersInBusAndPortOrder) {
  AddWriter({2, {1}, 3});
  AddWriter({1, {3}, 2});
  AddWriter({1, {1, 2}, 40});
  bridge.Attach(std::make_shared<SimUsbWriter>(test::WriterTestConfig()), {1, {1, 4}, 7}, 0x1234,
                0x4312);  // another maker's device

  const std::vector<UsbWriterLocation> found =
      Bus().Enumerate(kUsbWriterVendorId, kUsbWriterProductId);
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[0].Text(), "1-1.2");
  EXPECT_EQ(found[0].address, 40);
  EXPECT_EQ(found[1].Text(), "1-3");
  EXPECT_EQ(found[2].Text(), "2-1");
  EXPECT_EQ(found[2].DeviceNode(), "/dev/bus/usb/002/003");
  EXPECT_EQ(Bus().Enumerate(0x1234, 0x4312).size(), 1u);
  EXPECT_EQ(Bus().Open(4, kUsbWriterVendorId, kUsbWriterProductId).error, UsbOpenError::kNotFound);
}

TEST_F(LibusbWriterTest, ExchangesCommandsAndRepliesWithTheNthWriter) {
  auto first = AddWriter({1, {1}, 5}, 0x11);
  auto second = AddWriter({1, {2}, 4}, 0x22);
  std::unique_ptr<UsbWriterDevice> device = OpenWriter(2);
  ASSERT_TRUE(device);

  Bytes reply;
  ASSERT_EQ(Receive(*device, reply, kUsbNoTimeLimit), UsbLinkResult::kOk);
  EXPECT_GT(reply.size(), 40u) << "the status reply";
  ASSERT_EQ(UsbSend(*device, {0x05, kCommandValue, 0}, Bytes{0}, kUsbNoTimeLimit, nullptr),
            UsbLinkResult::kOk);
  ASSERT_EQ(Receive(*device, reply, kUsbNoTimeLimit), UsbLinkResult::kOk);
  EXPECT_EQ(reply, (Bytes{0x05, 'T'}));
  ASSERT_EQ(UsbSend(*device, {0x03, kCommandValue, 0}, Bytes{1}, kUsbNoTimeLimit, nullptr),
            UsbLinkResult::kOk);
  ASSERT_EQ(Receive(*device, reply, kUsbNoTimeLimit), UsbLinkResult::kOk);
  EXPECT_EQ(reply[1], 0x22) << "the second writer's serial number";

  Bytes block(128);
  for (std::size_t k = 0; k < block.size(); ++k) block[k] = static_cast<std::uint8_t>(k + 9);
  ASSERT_EQ(UsbSend(*device, {0x22, kCommandValue, 0x0200}, block, kUsbNoTimeLimit, nullptr),
            UsbLinkResult::kOk);
  ASSERT_EQ(Receive(*device, reply, kUsbNoTimeLimit), UsbLinkResult::kOk);
  EXPECT_EQ(reply, (Bytes{0x22, 'T'}));
  const Bytes flash = second->Flash();
  EXPECT_EQ(Bytes(flash.begin() + 0x200, flash.begin() + 0x280), block);

  const std::vector<sim::SimUsbCommand> commands = second->Commands();
  ASSERT_EQ(commands.size(), 3u);
  EXPECT_EQ(commands[2].request, 0x22);
  EXPECT_EQ(commands[2].value, kCommandValue);
  EXPECT_EQ(commands[2].index, 0x0200);
  EXPECT_TRUE(commands[2].checks_ok);
  EXPECT_TRUE(first->Commands().empty());
  EXPECT_TRUE(second->Errors().empty());
  EXPECT_TRUE(bridge.Errors().empty()) << bridge.Errors().front();
}

TEST_F(LibusbWriterTest, GarbledReplyIsRefusedAfterARealTransfer) {
  std::unique_ptr<UsbWriterDevice> device = OpenOneWriter(sim::SimUsbReplyFault::kTruncated);
  ASSERT_TRUE(device);
  Bytes reply;
  EXPECT_EQ(Receive(*device, reply, kUsbNoTimeLimit), UsbLinkResult::kNoReply);
}

TEST_F(LibusbWriterTest, WaitsForASilentWriterUntilStopOrItsTimeOut) {
  std::unique_ptr<UsbWriterDevice> device = OpenOneWriter(sim::SimUsbReplyFault::kSilent);
  ASSERT_TRUE(device);

  Bytes reply;
  auto start = Clock::now();
  EXPECT_EQ(Receive(*device, reply, 200), UsbLinkResult::kTimedOut);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(190));

  std::atomic<bool> stop{false};
  std::jthread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    stop = true;
  });
  start = Clock::now();
  EXPECT_EQ(Receive(*device, reply, kUsbNoTimeLimit, [&] { return stop.load(); }),
            UsbLinkResult::kStopped);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));

  // The cancelled request leaves the writer usable.
  writer->SetReplyFault(sim::kSimStatusReply, sim::SimUsbReplyFault::kNone);
  EXPECT_EQ(Receive(*device, reply, 1000), UsbLinkResult::kOk);
}

TEST_F(LibusbWriterTest, UnpluggedWriterEndsTheWaitAndLeavesTheList) {
  const UsbWriterLocation place{1, {1}, 5};
  std::unique_ptr<UsbWriterDevice> device = OpenOneWriter(sim::SimUsbReplyFault::kSilent, place);
  ASSERT_TRUE(device);

  std::jthread unplug([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    bridge.Remove(place);
  });
  Bytes reply;
  const auto start = Clock::now();
  EXPECT_EQ(Receive(*device, reply, kUsbNoTimeLimit, [] { return false; }), UsbLinkResult::kGone);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
  unplug.join();
  EXPECT_EQ(UsbSend(*device, {0x05, kCommandValue, 0}, Bytes{0}, kUsbNoTimeLimit, nullptr),
            UsbLinkResult::kGone);

  // The system's remove event reaches libusb's device list shortly after.
  const auto deadline = Clock::now() + std::chrono::seconds(3);
  while (!Bus().Enumerate(kUsbWriterVendorId, kUsbWriterProductId).empty() &&
         Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(Bus().Enumerate(kUsbWriterVendorId, kUsbWriterProductId).empty());
  EXPECT_EQ(Bus().Open(1, kUsbWriterVendorId, kUsbWriterProductId).error, UsbOpenError::kNotFound);
}

}  // namespace
}  // namespace fw

// The test bed needs the umockdev preload library in the process; without it
// the program starts itself again under umockdev-wrapper.
int main(int argc, char** argv) {
  static const char kWrapped[] = "FW_TEST_UNDER_UMOCKDEV";
  if (std::getenv(kWrapped) == nullptr) {
    setenv(kWrapped, "1", 1);
    // The preload library comes before the sanitizer runtime in that process.
    std::string asan = std::getenv("ASAN_OPTIONS") ? std::getenv("ASAN_OPTIONS") : "";
    asan += std::string(asan.empty() ? "" : ":") + "verify_asan_link_order=0";
    setenv("ASAN_OPTIONS", asan.c_str(), 1);
    std::vector<char*> args;
    static char wrapper[] = "umockdev-wrapper";
    args.push_back(wrapper);
    for (int k = 0; k < argc; ++k) args.push_back(argv[k]);
    args.push_back(nullptr);
    execvp(wrapper, args.data());
    std::perror("umockdev-wrapper");
    return 1;
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
