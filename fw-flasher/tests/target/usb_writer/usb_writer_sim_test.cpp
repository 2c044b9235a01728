#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "isp/handshake.h"
#include "sim/sim_usb_bus.h"
#include "target/chips/chip_table.h"
#include "target/usb_writer/usb_writer_link.h"
#include "tests/support/sim_session.h"
#include "tests/support/string_log.h"
#include "tests/support/writer_chip.h"

namespace fw::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr int kCommandValue = 0xA55A;
constexpr int kReplySize = 128;

// One simulated writer on a bus, opened, with the flasher's primitives.
class SimWriterTest : public ::testing::Test {
 protected:
  void Plug(SimUsbWriterConfig config = test::WriterTestConfig()) {
    bus = std::make_unique<SimUsbBus>();
    writer = std::make_shared<SimUsbWriter>(std::move(config));
    bus->Attach(writer, {1, {2}, 4});
    UsbOpenResult opened = bus->Open(1, kUsbWriterVendorId, kUsbWriterProductId);
    ASSERT_EQ(opened.error, UsbOpenError::kNone);
    device = std::move(opened.device);
  }
  UsbLinkResult Send(int request, const Bytes& data, int index = 0, int value = kCommandValue) {
    return UsbSend(*device,
                   {static_cast<std::uint8_t>(request), static_cast<std::uint16_t>(value),
                    static_cast<std::uint16_t>(index)},
                   data, kUsbNoTimeLimit, nullptr);
  }
  // The reply's data bytes; empty when none came.
  Bytes Receive(UsbLinkResult* result = nullptr, int timeout_ms = kUsbNoTimeLimit,
                const StopRequested& stop = nullptr) {
    Bytes buffer(256, 0);
    int length = 0;
    const UsbLinkResult r =
        UsbReceive(*device, {0, 0, 0}, kReplySize, buffer, length, timeout_ms, stop);
    if (result) *result = r;
    return Bytes(buffer.begin(), buffer.begin() + length);
  }
  // Takes the status reply that a session starts with.
  void SkipStatus() { ASSERT_FALSE(Receive().empty()); }

  std::unique_ptr<SimUsbBus> bus;
  std::shared_ptr<SimUsbWriter> writer;
  std::unique_ptr<UsbWriterDevice> device;
};

TEST_F(SimWriterTest, HandsOutTheChipsStatusReplyFirstWithTheConfiguredBytes) {
  SimUsbWriterConfig config;
  config.chip.chip_index = 0;
  config.status_bytes = {{5, 0x77}, {42, 0x80}, {70, 0x12}};
  Plug(config);
  const Bytes status = Receive();
  Bytes expected = BuildStatusPayload(config.chip, config.chip.reply_code, false, false);
  expected[5] = 0x77;
  expected[42] = 0x80;
  expected.resize(71, 0x00);
  expected[70] = 0x12;
  EXPECT_EQ(status, expected);
  UsbLinkResult result;
  EXPECT_TRUE(Receive(&result, 150).empty()) << "one status reply per session";
  EXPECT_EQ(result, UsbLinkResult::kTimedOut);
}

TEST_F(SimWriterTest, ReadsGroupedCommandDataAndRefusesBadChecks) {
  Plug();
  SkipStatus();
  ASSERT_EQ(Send(0x05, {0x00}), UsbLinkResult::kOk);
  ASSERT_EQ(Receive(), (Bytes{0x05, 'T'}));
  ASSERT_EQ(Send(0x03, {0x00}), UsbLinkResult::kOk);
  ASSERT_EQ(Receive().size(), 8u);

  // 01 .. 07 with their check E4, written raw.
  const Bytes raw = {1, 2, 3, 4, 5, 6, 7, 0xE4};
  ASSERT_TRUE(device->ControlOut({0x22, kCommandValue, 0x10}, raw, kUsbNoTimeLimit, nullptr).ok());
  EXPECT_EQ(Receive(), (Bytes{0x22, 'T'}));
  const Bytes flash = writer->Flash();
  EXPECT_EQ(Bytes(flash.begin() + 0x10, flash.begin() + 0x17), (Bytes{1, 2, 3, 4, 5, 6, 7}));
  EXPECT_TRUE(writer->Errors().empty());

  const Bytes bad = {1, 2, 3, 4, 5, 6, 7, 0xE5};
  ASSERT_TRUE(device->ControlOut({0x02, kCommandValue, 0x20}, bad, kUsbNoTimeLimit, nullptr).ok());
  EXPECT_EQ(Receive(), (Bytes{0x02, 'N'}));
  EXPECT_EQ(writer->Flash()[0x20], 0xFF) << "nothing written";
  ASSERT_EQ(writer->Errors().size(), 1u);
  const SimUsbCommand last = writer->Commands().back();
  EXPECT_EQ(last.data, (Bytes{1, 2, 3, 4, 5, 6, 7}));
  EXPECT_FALSE(last.checks_ok);
}

TEST_F(SimWriterTest, CarriesOutADownloadIntoItsFlashKeyOptionsAndPassword) {
  SimUsbWriterConfig config = test::WriterTestConfig();
  config.chip.password = "old";
  Plug(config);
  SkipStatus();

  EXPECT_EQ(Send(0x01, {0x03}, 0, 0), UsbLinkResult::kOk);
  EXPECT_EQ(Receive(), (Bytes{0x01, 'T'}));
  EXPECT_EQ(Send(0x05, {'o', 'l', 'd'}), UsbLinkResult::kOk);
  EXPECT_EQ(Receive(), (Bytes{0x05, 'T'}));
  EXPECT_EQ(Send(0x03, {2}), UsbLinkResult::kOk);
  EXPECT_EQ(Receive(), (Bytes{0x03, 0x0D, 0x1C, 0x2B, 0x3A, 0x49, 0x58, 0x67}))
      << "the erase reply carries the chip's serial number";
  EXPECT_EQ(writer->erased_extra_sectors(), 2);

  Bytes key(256);
  for (int k = 0; k < 256; ++k)
    key[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(k ^ 0x5A);
  for (int offset = 0; offset < 256; offset += 64) {
    const Bytes block(key.begin() + offset, key.begin() + offset + 64);
    EXPECT_EQ(Send(offset == 0 ? 0x26 : 0x06, block, offset), UsbLinkResult::kOk);
    EXPECT_EQ(Receive()[1], 'T');
  }

  Bytes image(300);
  for (std::size_t k = 0; k < image.size(); ++k) image[k] = static_cast<std::uint8_t>(k * 7 + 3);
  int code = 0x22;
  for (std::size_t at = 0; at < image.size(); at += 128) {
    const std::size_t n = std::min<std::size_t>(128, image.size() - at);
    EXPECT_EQ(Send(code,
                   Bytes(image.begin() + static_cast<std::ptrdiff_t>(at),
                         image.begin() + static_cast<std::ptrdiff_t>(at + n)),
                   static_cast<int>(at)),
              UsbLinkResult::kOk);
    EXPECT_EQ(Receive()[1], 'T');
    code = 0x02;
  }
  const Bytes record = {0xDE, 0xAD, 0xBE, 0xEF};
  EXPECT_EQ(Send(0x02, record, 0xF000), UsbLinkResult::kOk);
  EXPECT_EQ(Receive()[1], 'T');
  const Bytes options(64, 0xBF);
  EXPECT_EQ(Send(0x04, options), UsbLinkResult::kOk);
  EXPECT_EQ(Receive()[1], 'T');
  EXPECT_EQ(Send(0x07, {'n', 'e', 'w'}), UsbLinkResult::kOk);
  EXPECT_EQ(Receive()[1], 'T');
  EXPECT_EQ(Send(0xFF, {0x00}, 0, 0), UsbLinkResult::kOk);

  EXPECT_TRUE(writer->Errors().empty()) << writer->Errors().front();
  const Bytes flash = writer->Flash();
  EXPECT_EQ(Bytes(flash.begin(), flash.begin() + 300), image);
  EXPECT_EQ(flash[300], 0xFF);
  EXPECT_EQ(Bytes(flash.begin() + 0xF000, flash.begin() + 0xF004), record);
  EXPECT_EQ(writer->UserKey(), key);
  EXPECT_EQ(writer->Options(), options);
  EXPECT_EQ(writer->Password(), "new");
  const std::vector<SimUsbCommand> commands = writer->Commands();
  ASSERT_EQ(commands.size(), 14u);
  EXPECT_EQ(commands[7].request, 0x22);
  EXPECT_EQ(commands[8].request, 0x02);
  EXPECT_EQ(commands[9].index, 256);
  EXPECT_EQ(commands[9].data.size(), 44u);

  // The end command starts a new session with a new status reply.
  EXPECT_FALSE(Receive().empty());
}

TEST_F(SimWriterTest, AnswersUnlockByItsPassword) {
  const struct {
    const char* name;
    std::string password;
    bool locked;
    Bytes sent;
    Bytes reply;
  } cases[] = {
      {"unprotected, none sent", "", false, {0x00}, {0x05, 'T'}},
      {"unprotected, any sent", "", false, {'x'}, {0x05, 'T'}},
      {"right password", "ab", false, {'a', 'b'}, {0x05, 'T'}},
      {"wrong password", "ab", false, {'a', 'c'}, {0x0E}},
      {"none sent to a protected chip", "ab", false, {0x00}, {0x0E}},
      {"locked chip", "", true, {0x00}, {0x0F}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SimUsbWriterConfig config = test::WriterTestConfig();
    config.chip.password = c.password;
    config.chip.locked = c.locked;
    Plug(config);
    SkipStatus();
    ASSERT_EQ(Send(0x05, c.sent), UsbLinkResult::kOk);
    EXPECT_EQ(Receive(), c.reply);
  }
}

TEST_F(SimWriterTest, RefusesRequestsOutsideTheProtocol) {
  Plug();
  SkipStatus();
  const struct {
    const char* name;
    int request;
    Bytes data;
    int index;
    int value;
  } cases[] = {
      {"erase before unlock", 0x03, {0}, 0, kCommandValue},
      {"program with value 0", 0x02, {1, 2}, 0, 0},
      {"prepare with the command value", 0x01, {0x03}, 0, kCommandValue},
      {"block of 129 bytes", 0x22, Bytes(129, 0), 0, kCommandValue},
      {"block past the flash end", 0x02, Bytes(16, 0), 0xFFF8, kCommandValue},
      {"user key at 32", 0x06, Bytes(64, 0), 32, kCommandValue},
      {"first key block not at 0", 0x26, Bytes(64, 0), 64, kCommandValue},
      {"option block of 50 bytes", 0x04, Bytes(50, 0), 0, kCommandValue},
      {"unknown command", 0x30, {1}, 0, kCommandValue},
  };
  std::size_t errors = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(Send(c.request, c.data, c.index, c.value), UsbLinkResult::kOk);
    const Bytes reply = Receive();
    ASSERT_EQ(reply.size(), 2u);
    EXPECT_NE(reply[1], 'T');
    EXPECT_EQ(writer->Errors().size(), ++errors);
  }
  EXPECT_EQ(writer->erase_count(), 0);

  // A reply read with other setup values is stalled.
  Bytes buffer(132);
  EXPECT_EQ(device->ControlIn({1, 0, 0}, buffer, kUsbNoTimeLimit, nullptr).error,
            UsbTransferError::kFailed);
}

TEST_F(SimWriterTest, GarblesTheStatusReplyAsTold) {
  const struct {
    SimUsbReplyFault fault;
    UsbLinkResult expected;
  } cases[] = {
      {SimUsbReplyFault::kBadCheck, UsbLinkResult::kNoReply},
      {SimUsbReplyFault::kBadStart, UsbLinkResult::kNoReply},
      {SimUsbReplyFault::kOversize, UsbLinkResult::kNoReply},
      {SimUsbReplyFault::kTruncated, UsbLinkResult::kNoReply},
      {SimUsbReplyFault::kEmpty, UsbLinkResult::kNoReply},
      {SimUsbReplyFault::kSilent, UsbLinkResult::kTimedOut},
      {SimUsbReplyFault::kNone, UsbLinkResult::kOk},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.fault));
    Plug();
    writer->SetReplyFault(kSimStatusReply, c.fault);
    UsbLinkResult result;
    Receive(&result, 120);
    EXPECT_EQ(result, c.expected);
  }
}

TEST_F(SimWriterTest, RefusedReplyLacksTheAcceptance) {
  Plug();
  SkipStatus();
  writer->SetReplyFault(0x04, SimUsbReplyFault::kRefused);
  ASSERT_EQ(Send(0x04, Bytes(40, 0xFF)), UsbLinkResult::kOk);
  EXPECT_EQ(Receive(), (Bytes{0x04, 'N'}));
}

TEST_F(SimWriterTest, SlowEraseReplyComesWhenItIsDone) {
  SimUsbWriterConfig config = test::WriterTestConfig();
  config.erase_time = std::chrono::milliseconds(300);
  Plug(config);
  SkipStatus();
  ASSERT_EQ(Send(0x05, {0x00}), UsbLinkResult::kOk);
  ASSERT_EQ(Receive(), (Bytes{0x05, 'T'}));
  ASSERT_EQ(Send(0x03, {0}), UsbLinkResult::kOk);
  const auto start = Clock::now();
  UsbLinkResult result;
  Receive(&result, 100);
  EXPECT_EQ(result, UsbLinkResult::kTimedOut);
  EXPECT_EQ(Receive(&result).size(), 8u);
  EXPECT_EQ(result, UsbLinkResult::kOk);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(290));
}

TEST_F(SimWriterTest, StopEndsAWaitForASilentWriter) {
  Plug();
  writer->SetReplyFault(kSimStatusReply, SimUsbReplyFault::kSilent);
  std::atomic<bool> stop{false};
  std::jthread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    stop = true;
  });
  const auto start = Clock::now();
  UsbLinkResult result;
  Receive(&result, kUsbNoTimeLimit, [&] { return stop.load(); });
  EXPECT_EQ(result, UsbLinkResult::kStopped);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
}

TEST_F(SimWriterTest, UnpluggingEndsAWaitAtOnceAndEveryTransferAfterIt) {
  Plug();
  writer->SetReplyFault(kSimStatusReply, SimUsbReplyFault::kSilent);
  std::jthread unplugger([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    writer->Unplug();
  });
  const auto start = Clock::now();
  UsbLinkResult result;
  Receive(&result, kUsbNoTimeLimit, [] { return false; });
  EXPECT_EQ(result, UsbLinkResult::kGone);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(Send(0x05, {0}), UsbLinkResult::kGone);
  EXPECT_TRUE(bus->Enumerate(kUsbWriterVendorId, kUsbWriterProductId).empty());
}

TEST_F(SimWriterTest, UnplugsWhenTheChosenCommandArrivesAndComesBackWithANewSession) {
  Plug();
  writer->UnplugOnCommand(0x02);
  SkipStatus();
  ASSERT_EQ(Send(0x05, {0}), UsbLinkResult::kOk);
  ASSERT_EQ(Receive(), (Bytes{0x05, 'T'}));
  ASSERT_EQ(Send(0x03, {0}), UsbLinkResult::kOk);
  ASSERT_EQ(Receive().size(), 8u);
  ASSERT_EQ(Send(0x22, {1, 2, 3}), UsbLinkResult::kOk);
  ASSERT_EQ(Receive(), (Bytes{0x22, 'T'}));
  EXPECT_EQ(Send(0x02, {4, 5, 6}, 3), UsbLinkResult::kGone);
  EXPECT_FALSE(writer->plugged());
  UsbLinkResult result;
  Receive(&result);
  EXPECT_EQ(result, UsbLinkResult::kGone);

  writer->Replug();
  EXPECT_EQ(bus->Enumerate(kUsbWriterVendorId, kUsbWriterProductId).size(), 1u);
  UsbOpenResult again = bus->Open(1, kUsbWriterVendorId, kUsbWriterProductId);
  ASSERT_TRUE(again.device);
  device = std::move(again.device);
  EXPECT_FALSE(Receive().empty()) << "a fresh session starts with the status reply";
  const Bytes flash = writer->Flash();
  EXPECT_EQ(Bytes(flash.begin(), flash.begin() + 3), (Bytes{1, 2, 3}))
      << "the flash keeps what was written";
}

// A link holding a simulated writer, as the USB download sets it up.
class SimWriterOnLinkTest : public ::testing::Test {
 protected:
  void Plug(SimUsbWriterConfig config) {
    writer = std::make_shared<SimUsbWriter>(std::move(config));
    bus.Attach(writer, {1, {2}, 4});
    link.outputs.echo = nullptr;
    link.outputs.log_sink = &log;
    link.request.language = kLanguageEnglish;
    link.serial.link_kind = LinkKind::kUsbWriter;
    link.running = true;
    ASSERT_EQ(OpenUsbWriter(link, bus, 1, kUsbWriterVendorId, kUsbWriterProductId).error,
              UsbOpenError::kNone);
  }

  SimUsbBus bus;
  std::shared_ptr<SimUsbWriter> writer;
  IspLink link;
  test::StringLog log;
};

TEST_F(SimWriterOnLinkTest, StatusReplyLandsWhereIdentificationReadsIt) {
  const int index = test::ChipOfFamily(1);
  SimUsbWriterConfig config;
  config.chip.chip_index = index;
  Plug(config);
  ExpectChip(link, ChipTable()[static_cast<std::size_t>(index)]);

  ASSERT_EQ(UsbReceive(link, {0, 0, 0}, kReplySize, kUsbNoTimeLimit), UsbLinkResult::kOk);
  const Bytes status = BuildStatusPayload(config.chip, config.chip.reply_code, false, false);
  EXPECT_EQ(link.framing.received_length, static_cast<int>(status.size()));
  EXPECT_EQ(Bytes(link.framing.receive_buffer, link.framing.receive_buffer + status.size()),
            status);
  ASSERT_EQ(IdentifyTarget(link), kStepOk) << log.text;
  EXPECT_EQ(link.target.chip_index, index);

  ASSERT_EQ(UsbSend(link, {0x05, kCommandValue, 0}, Bytes{0x00}, kUsbNoTimeLimit),
            UsbLinkResult::kOk);
  ASSERT_EQ(UsbReceive(link, {0, 0, 0}, kReplySize, kUsbNoTimeLimit), UsbLinkResult::kOk);
  EXPECT_EQ(link.framing.received_length, 2);
  EXPECT_EQ(link.ReplyCode(), 0x05);
  EXPECT_EQ(link.framing.receive_buffer[1], 'T');
}

TEST_F(SimWriterOnLinkTest, ClearingRunningEndsTheWaitForASilentWriter) {
  Plug(test::WriterTestConfig());
  writer->SetReplyFault(kSimStatusReply, SimUsbReplyFault::kSilent);
  std::jthread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    link.running = false;
  });
  const auto start = Clock::now();
  // A limit only so that a stop that is not seen fails instead of hanging.
  EXPECT_EQ(UsbReceive(link, {0, 0, 0}, kReplySize, 5000), UsbLinkResult::kStopped);
  EXPECT_EQ(link.framing.received_length, 0);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
}

TEST(SimUsbBusTest, NumbersWritersByBusThenPortPathAndOpensTheNth) {
  SimUsbBus bus;
  std::vector<std::shared_ptr<SimUsbWriter>> writers;
  const UsbWriterLocation places[] = {{2, {1}, 3}, {1, {3}, 2}, {1, {1, 2}, 40}, {1, {1}, 9}};
  for (std::size_t k = 0; k < 4; ++k) {
    SimUsbWriterConfig config = test::WriterTestConfig();
    config.chip.serial_number[0] = static_cast<std::uint8_t>(k);
    writers.push_back(std::make_shared<SimUsbWriter>(config));
  }
  bus.Attach(writers[0], places[0]);
  bus.Attach(writers[1], places[1]);
  bus.Attach(writers[2], places[2]);
  bus.Attach(writers[3], places[3], 0x1234, kUsbWriterProductId);  // another maker's device

  const std::vector<UsbWriterLocation> found =
      bus.Enumerate(kUsbWriterVendorId, kUsbWriterProductId);
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[0].Text(), "1-1.2");
  EXPECT_EQ(found[1].Text(), "1-3");
  EXPECT_EQ(found[2].Text(), "2-1");

  UsbOpenResult second = bus.Open(2, kUsbWriterVendorId, kUsbWriterProductId);
  ASSERT_TRUE(second.device);
  EXPECT_EQ(second.location.Text(), "1-3");
  EXPECT_EQ(bus.Open(4, kUsbWriterVendorId, kUsbWriterProductId).error, UsbOpenError::kNotFound);
  EXPECT_EQ(bus.Open(1, 0x1234, kUsbWriterProductId).location.Text(), "1-1");

  // Commands reach only the writer that was opened.
  Bytes buffer(256);
  int length = 0;
  ASSERT_EQ(
      UsbReceive(*second.device, {0, 0, 0}, kReplySize, buffer, length, kUsbNoTimeLimit, nullptr),
      UsbLinkResult::kOk);
  ASSERT_EQ(UsbSend(*second.device, {0x05, kCommandValue, 0}, Bytes{0}, kUsbNoTimeLimit, nullptr),
            UsbLinkResult::kOk);
  EXPECT_EQ(writers[1]->Commands().size(), 1u);
  EXPECT_TRUE(writers[0]->Commands().empty());
  EXPECT_TRUE(writers[2]->Commands().empty());

  writers[2]->Unplug();
  EXPECT_EQ(bus.Enumerate(kUsbWriterVendorId, kUsbWriterProductId).size(), 2u);
  EXPECT_EQ(bus.Open(1, kUsbWriterVendorId, kUsbWriterProductId).location.Text(), "1-3");

  writers[1]->SetOpenError(UsbOpenError::kNoPermission);
  const UsbOpenResult denied = bus.Open(1, kUsbWriterVendorId, kUsbWriterProductId);
  EXPECT_EQ(denied.error, UsbOpenError::kNoPermission);
  EXPECT_FALSE(denied.device);
  EXPECT_EQ(denied.location.Text(), "1-3");
}

}  // namespace
}  // namespace fw::sim
