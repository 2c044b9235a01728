#include <gtest/gtest.h>

#include <cstring>
#include <numeric>

#include "messages/message_table.h"
#include "target/usb_writer/usb_open_failure.h"
#include "target/usb_writer/usb_writer_link.h"

namespace fw {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A writer that answers from a script and remembers what it was asked.
class ScriptedWriter : public UsbWriterDevice {
 public:
  UsbTransferResult ControlIn(const UsbControlSetup& setup, std::span<std::uint8_t> data,
                              int timeout_ms, const StopRequested& stop) override {
    stop_seen = stop && stop();
    last_setup = setup;
    last_in_length = static_cast<int>(data.size());
    last_timeout = timeout_ms;
    ++transfers;
    const std::size_t n = std::min(data.size(), reply.size());
    std::copy_n(reply.begin(), n, data.begin());
    UsbTransferResult result = in_result;
    if (result.ok() && result.length < 0) result.length = static_cast<int>(n);
    return result;
  }
  UsbTransferResult ControlOut(const UsbControlSetup& setup, std::span<const std::uint8_t> data,
                               int timeout_ms, const StopRequested& stop) override {
    stop_seen = stop && stop();
    last_setup = setup;
    last_timeout = timeout_ms;
    ++transfers;
    sent.assign(data.begin(), data.end());
    UsbTransferResult result = out_result;
    if (result.ok() && result.length < 0) result.length = static_cast<int>(data.size());
    return result;
  }

  Bytes reply;
  UsbTransferResult in_result{UsbTransferError::kNone, -1};   // -1: all of the reply
  UsbTransferResult out_result{UsbTransferError::kNone, -1};  // -1: all of the data
  UsbControlSetup last_setup;
  int last_in_length = -1;
  int last_timeout = 0;
  int transfers = 0;
  bool stop_seen = false;  // what the stop request said when the transfer began
  Bytes sent;
};

Bytes Sequence(int n) {
  Bytes bytes(static_cast<std::size_t>(n));
  std::iota(bytes.begin(), bytes.end(), std::uint8_t{1});
  return bytes;
}

TEST(UsbCommandData, GroupsOfSevenEachCloseWithTheirCheck) {
  EXPECT_EQ(GroupCommandData(Bytes{}), Bytes{});
  EXPECT_EQ(GroupCommandData(Sequence(7)), (Bytes{1, 2, 3, 4, 5, 6, 7, 0xE4}));
  EXPECT_EQ(GroupCommandData(Sequence(8)), (Bytes{1, 2, 3, 4, 5, 6, 7, 0xE4, 8, 0xF8}));
  EXPECT_EQ(GroupCommandData(Bytes{0x00}), (Bytes{0x00, 0x00}));
  EXPECT_EQ(GroupCommandData(Bytes{0x80, 0x80}), (Bytes{0x80, 0x80, 0x00}));
}

TEST(UsbCommandData, EveryLengthHasTheGroupedSizeAndGroupsSumToZero) {
  for (int n = 0; n <= 40; ++n) {
    Bytes data(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k)
      data[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(37 * k + 200);
    const Bytes grouped = GroupCommandData(data);
    const int expected = 8 * (n / 7) + n % 7 + (n % 7 != 0 ? 1 : 0);
    ASSERT_EQ(static_cast<int>(grouped.size()), expected) << "n = " << n;
    Bytes back;
    for (std::size_t start = 0; start < grouped.size(); start += 8) {
      const std::size_t end = std::min(grouped.size(), start + 8);
      unsigned sum = 0;
      for (std::size_t k = start; k < end; ++k) sum += grouped[k];
      EXPECT_EQ(sum % 256, 0u) << "n = " << n << ", group at " << start;
      back.insert(back.end(), grouped.begin() + static_cast<std::ptrdiff_t>(start),
                  grouped.begin() + static_cast<std::ptrdiff_t>(end - 1));
    }
    EXPECT_EQ(back, data) << "n = " << n;
  }
}

TEST(UsbSendTest, SendsTheGroupedDataWithTheSetupAsGiven) {
  ScriptedWriter writer;
  const UsbControlSetup setup{0x22, 0xA55A, 0x0180};
  EXPECT_EQ(UsbSend(writer, setup, Sequence(8), kUsbNoTimeLimit, nullptr), UsbLinkResult::kOk);
  EXPECT_EQ(writer.last_setup.request, 0x22);
  EXPECT_EQ(writer.last_setup.value, 0xA55A);
  EXPECT_EQ(writer.last_setup.index, 0x0180);
  EXPECT_EQ(writer.last_timeout, kUsbNoTimeLimit);
  EXPECT_EQ(writer.sent, (Bytes{1, 2, 3, 4, 5, 6, 7, 0xE4, 8, 0xF8}));

  EXPECT_EQ(UsbSend(writer, setup, Bytes{}, kUsbNoTimeLimit, nullptr), UsbLinkResult::kOk);
  EXPECT_TRUE(writer.sent.empty()) << "an empty command has an empty data stage";
}

TEST(UsbSendTest, ReportsWhyATransferFailed) {
  const struct {
    UsbTransferResult transfer;
    UsbLinkResult expected;
  } cases[] = {
      {{UsbTransferError::kGone, 0}, UsbLinkResult::kGone},
      {{UsbTransferError::kStopped, 0}, UsbLinkResult::kStopped},
      {{UsbTransferError::kTimedOut, 0}, UsbLinkResult::kTimedOut},
      {{UsbTransferError::kFailed, 0}, UsbLinkResult::kFailed},
      {{UsbTransferError::kNone, 9}, UsbLinkResult::kFailed},  // the writer took less than sent
  };
  for (const auto& c : cases) {
    ScriptedWriter writer;
    writer.out_result = c.transfer;
    EXPECT_EQ(UsbSend(writer, {0x02, 0xA55A, 0}, Sequence(10), kUsbNoTimeLimit, nullptr),
              c.expected);
  }
}

TEST(UsbSendTest, RefusesACommandLongerThanOneDataStageWithoutSendingIt) {
  ScriptedWriter writer;
  // 57,343 bytes group into exactly 65,535; one more byte does not fit.
  EXPECT_EQ(UsbSend(writer, {0x02, 0xA55A, 0}, Bytes(57343, 0x11), kUsbNoTimeLimit, nullptr),
            UsbLinkResult::kOk);
  EXPECT_EQ(writer.sent.size(), 65535u);
  writer.transfers = 0;
  EXPECT_EQ(UsbSend(writer, {0x02, 0xA55A, 0}, Bytes(57344, 0x11), kUsbNoTimeLimit, nullptr),
            UsbLinkResult::kFailed);
  EXPECT_EQ(writer.transfers, 0);
}

struct ReceiveCase {
  const char* name;
  Bytes reply;
  int transferred;  // -1: the whole reply
  int size;
  UsbLinkResult expected;
  int received_length;
};

TEST(UsbReceiveTest, AcceptsOnlyWholeFramesThatFitAndSumRight) {
  const ReceiveCase cases[] = {
      {"valid", {0x46, 0xB9, 0x02, 0xAA, 0xBB, 0x99}, -1, 128, UsbLinkResult::kOk, 2},
      {"check one off", {0x46, 0xB9, 0x02, 0xAA, 0xBB, 0x98}, -1, 128, UsbLinkResult::kNoReply, 0},
      {"wrong start", {0x47, 0xB9, 0x02, 0xAA, 0xBB, 0x98}, -1, 128, UsbLinkResult::kNoReply, 0},
      {"no data", {0x46, 0xB9, 0x00, 0x00}, -1, 128, UsbLinkResult::kNoReply, 0},
      {"nothing transferred", {}, -1, 128, UsbLinkResult::kNoReply, 0},
      {"length over the room",
       {0x46, 0xB9, 0x05, 1, 2, 3, 4, 5, 0xEC},
       -1,
       4,
       UsbLinkResult::kNoReply,
       0},
      {"length at the room", {0x46, 0xB9, 0x04, 1, 2, 3, 4, 0xF2}, -1, 4, UsbLinkResult::kOk, 4},
      // The check byte would be the zero past the end of the transfer.
      {"transfer ends before the check",
       {0x46, 0xB9, 0x02, 0xAA, 0x54},
       -1,
       128,
       UsbLinkResult::kNoReply,
       0},
      {"frame cut short", {0x46, 0xB9, 0x02, 0xAA, 0xBB, 0x99}, 5, 128, UsbLinkResult::kNoReply, 0},
      {"length 255 in a 132-byte reply",
       {0x46, 0xB9, 0xFF, 0x01},
       132,
       128,
       UsbLinkResult::kNoReply,
       0},
  };
  for (const ReceiveCase& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedWriter writer;
    writer.reply = c.reply;
    if (c.transferred >= 0) writer.in_result.length = c.transferred;
    Bytes dst(256, 0x55);
    int received = -1;
    EXPECT_EQ(UsbReceive(writer, {0, 0, 0}, c.size, dst, received, kUsbNoTimeLimit, nullptr),
              c.expected);
    EXPECT_EQ(received, c.received_length);
    if (c.expected != UsbLinkResult::kOk) {
      EXPECT_EQ(dst, Bytes(256, 0x55)) << "dst untouched";
    }
  }
}

TEST(UsbReceiveTest, AsksForSizePlusFourAndCopiesSizeBytesWhateverTheLength) {
  ScriptedWriter writer;
  writer.reply = {0x46, 0xB9, 0x02, 0xAA, 0xBB, 0x99};
  Bytes dst(256, 0x55);
  int received = 0;
  ASSERT_EQ(UsbReceive(writer, {0, 0, 0}, 128, dst, received, kUsbNoTimeLimit, nullptr),
            UsbLinkResult::kOk);
  EXPECT_EQ(writer.last_in_length, 132);
  EXPECT_EQ(writer.last_setup.request, 0);
  EXPECT_EQ(received, 2);
  EXPECT_EQ(dst[0], 0xAA);
  EXPECT_EQ(dst[1], 0xBB);
  EXPECT_EQ(dst[2], 0x99) << "the check byte follows the data";
  EXPECT_EQ(Bytes(dst.begin() + 3, dst.begin() + 128), Bytes(125, 0x00));
  EXPECT_EQ(Bytes(dst.begin() + 128, dst.end()), Bytes(128, 0x55)) << "nothing past size";
}

TEST(UsbReceiveTest, ReportsTransferFailuresAndLeavesDstAlone) {
  const struct {
    UsbTransferError error;
    UsbLinkResult expected;
  } cases[] = {
      {UsbTransferError::kGone, UsbLinkResult::kGone},
      {UsbTransferError::kStopped, UsbLinkResult::kStopped},
      {UsbTransferError::kTimedOut, UsbLinkResult::kTimedOut},
      {UsbTransferError::kFailed, UsbLinkResult::kFailed},
  };
  for (const auto& c : cases) {
    ScriptedWriter writer;
    writer.reply = {0x46, 0xB9, 0x02, 0xAA, 0xBB, 0x99};
    writer.in_result = {c.error, 6};
    Bytes dst(128, 0x55);
    int received = 7;
    EXPECT_EQ(UsbReceive(writer, {0, 0, 0}, 128, dst, received, kUsbNoTimeLimit, nullptr),
              c.expected);
    EXPECT_EQ(received, 0);
    EXPECT_EQ(dst, Bytes(128, 0x55));
  }
}

TEST(UsbReceiveTest, RefusesRequestsItCannotHoldWithoutATransfer) {
  ScriptedWriter writer;
  writer.reply = {0x46, 0xB9, 0x02, 0xAA, 0xBB, 0x99};
  Bytes small(64);
  int received = 0;
  EXPECT_EQ(UsbReceive(writer, {0, 0, 0}, 128, small, received, kUsbNoTimeLimit, nullptr),
            UsbLinkResult::kFailed);
  Bytes big(70000);
  EXPECT_EQ(UsbReceive(writer, {0, 0, 0}, 65532, big, received, kUsbNoTimeLimit, nullptr),
            UsbLinkResult::kFailed)
      << "size + 4 must fit a 16-bit data stage";
  EXPECT_EQ(UsbReceive(writer, {0, 0, 0}, -1, big, received, kUsbNoTimeLimit, nullptr),
            UsbLinkResult::kFailed);
  EXPECT_EQ(writer.transfers, 0);

  writer.in_result.length = 500;  // more than was asked for
  EXPECT_EQ(UsbReceive(writer, {0, 0, 0}, 128, big, received, kUsbNoTimeLimit, nullptr),
            UsbLinkResult::kFailed);
}

class CountingBus : public UsbWriterBus {
 public:
  std::vector<UsbWriterLocation> Enumerate(std::uint16_t, std::uint16_t) override { return {}; }
  UsbOpenResult Open(int n, std::uint16_t vendor_id, std::uint16_t product_id) override {
    asked_n = n;
    asked_vendor = vendor_id;
    asked_product = product_id;
    UsbOpenResult result;
    result.error = UsbOpenError::kNoPermission;
    return result;
  }
  int asked_n = 0;
  int asked_vendor = 0;
  int asked_product = 0;
};

TEST(OpenUsbWriterTest, PassesTheNumberOnAndRefusesNumbersBelowOne) {
  CountingBus bus;
  EXPECT_EQ(OpenUsbWriter(bus, 2, kUsbWriterVendorId, kUsbWriterProductId).error,
            UsbOpenError::kNoPermission);
  EXPECT_EQ(bus.asked_n, 2);
  EXPECT_EQ(bus.asked_vendor, 0x514D);
  EXPECT_EQ(bus.asked_product, 0x4312);
  bus.asked_n = 0;
  EXPECT_EQ(OpenUsbWriter(bus, 0, kUsbWriterVendorId, kUsbWriterProductId).error,
            UsbOpenError::kNotFound);
  EXPECT_EQ(bus.asked_n, 0);
}

// The forms on the link: the writer it holds, its receive buffer, its running flag.
class UsbOnLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto scripted = std::make_unique<ScriptedWriter>();
    writer = scripted.get();
    link.usb_writer = std::move(scripted);
    link.running = true;
  }
  Bytes ReceiveBuffer() const {
    return Bytes(std::begin(link.framing.receive_buffer), std::end(link.framing.receive_buffer));
  }

  IspLink link;
  ScriptedWriter* writer = nullptr;
};

TEST_F(UsbOnLinkTest, ReceiveFillsTheReceiveBufferAndTheReceivedLength) {
  std::memset(link.framing.receive_buffer, 0x55, sizeof link.framing.receive_buffer);
  writer->reply = {0x46, 0xB9, 0x02, 0xAA, 0xBB, 0x99};
  ASSERT_EQ(UsbReceive(link, {0, 0, 0}, 128, kUsbNoTimeLimit), UsbLinkResult::kOk);
  EXPECT_EQ(writer->last_in_length, 132);
  EXPECT_EQ(writer->last_timeout, kUsbNoTimeLimit);
  EXPECT_EQ(link.framing.received_length, 2);
  EXPECT_EQ(link.ReplyCode(), 0xAA);
  const Bytes filled = ReceiveBuffer();
  EXPECT_EQ(filled[1], 0xBB);
  EXPECT_EQ(Bytes(filled.begin() + 3, filled.begin() + 128), Bytes(125, 0x00));
  EXPECT_EQ(Bytes(filled.begin() + 128, filled.end()), Bytes(128, 0x55)) << "nothing past size";

  // A bad frame next: no received length, and the last reply stays where it was.
  writer->reply = {0x46, 0xB9, 0x02, 0xAA, 0xBC, 0x99};
  EXPECT_EQ(UsbReceive(link, {0, 0, 0}, 128, kUsbNoTimeLimit), UsbLinkResult::kNoReply);
  EXPECT_EQ(link.framing.received_length, 0);
  EXPECT_EQ(ReceiveBuffer(), filled);
}

TEST_F(UsbOnLinkTest, ReceiveAsksForNoMoreThanTheReceiveBufferHolds) {
  writer->reply = {0x46, 0xB9, 0x01, 0x07, 0xF8};
  link.framing.received_length = 9;
  EXPECT_EQ(UsbReceive(link, {0, 0, 0}, FramingState::kBufferSize + 1, kUsbNoTimeLimit),
            UsbLinkResult::kFailed);
  EXPECT_EQ(writer->transfers, 0);
  EXPECT_EQ(link.framing.received_length, 0);
  EXPECT_EQ(UsbReceive(link, {0, 0, 0}, FramingState::kBufferSize, kUsbNoTimeLimit),
            UsbLinkResult::kOk);
  EXPECT_EQ(writer->last_in_length, FramingState::kBufferSize + 4);
  EXPECT_EQ(link.framing.received_length, 1);
}

TEST_F(UsbOnLinkTest, SendGoesThroughTheLinksWriter) {
  EXPECT_EQ(UsbSend(link, {0x22, 0xA55A, 0x0080}, Sequence(7), kUsbNoTimeLimit),
            UsbLinkResult::kOk);
  EXPECT_EQ(writer->sent, (Bytes{1, 2, 3, 4, 5, 6, 7, 0xE4}));
  EXPECT_EQ(writer->last_setup.index, 0x0080);
  EXPECT_EQ(writer->last_timeout, kUsbNoTimeLimit);
}

TEST_F(UsbOnLinkTest, TransfersAreToldToStopOnceRunningIsCleared) {
  writer->reply = {0x46, 0xB9, 0x02, 0xAA, 0xBB, 0x99};
  for (bool running : {true, false}) {
    SCOPED_TRACE(running);
    link.running = running;
    UsbSend(link, {0x05, 0xA55A, 0}, Bytes{0}, kUsbNoTimeLimit);
    EXPECT_EQ(writer->stop_seen, !running);
    UsbReceive(link, {0, 0, 0}, 128, kUsbNoTimeLimit);
    EXPECT_EQ(writer->stop_seen, !running);
  }
}

TEST(UsbOnLinkWithoutWriterTest, FailsWithoutATransfer) {
  IspLink link;
  link.running = true;
  link.framing.received_length = 5;
  EXPECT_EQ(UsbReceive(link, {0, 0, 0}, 128, kUsbNoTimeLimit), UsbLinkResult::kFailed);
  EXPECT_EQ(link.framing.received_length, 0);
  EXPECT_EQ(UsbSend(link, {0x05, 0xA55A, 0}, Bytes{0}, kUsbNoTimeLimit), UsbLinkResult::kFailed);
}

// Writers 1 .. attached, each a scripted writer that counts itself while open.
class WriterShelf : public UsbWriterBus {
 public:
  class CountedWriter : public ScriptedWriter {
   public:
    explicit CountedWriter(int& open) : open_(open) { ++open_; }
    ~CountedWriter() override { --open_; }

   private:
    int& open_;
  };

  std::vector<UsbWriterLocation> Enumerate(std::uint16_t, std::uint16_t) override { return {}; }
  UsbOpenResult Open(int n, std::uint16_t, std::uint16_t) override {
    open_when_asked = open;
    UsbOpenResult result;
    if (n > attached) {
      result.error = UsbOpenError::kNotFound;
      return result;
    }
    result.location.bus = n;
    result.device = std::make_unique<CountedWriter>(open);
    return result;
  }

  int attached = 2;
  int open = 0;
  int open_when_asked = -1;
};

TEST(OpenUsbWriterOnLinkTest, TheLinkHoldsTheWriterUntilTheNextOpenOrItsEnd) {
  WriterShelf shelf;
  {
    IspLink link;
    UsbOpenResult opened = OpenUsbWriter(link, shelf, 2, kUsbWriterVendorId, kUsbWriterProductId);
    EXPECT_EQ(opened.error, UsbOpenError::kNone);
    EXPECT_EQ(opened.location.bus, 2);
    EXPECT_FALSE(opened.device) << "the link holds it";
    ASSERT_TRUE(link.usb_writer);
    EXPECT_EQ(shelf.open, 1);

    link.Reinitialise();
    EXPECT_TRUE(link.usb_writer) << "re-initialisation leaves the writer to its flow";

    OpenUsbWriter(link, shelf, 1, kUsbWriterVendorId, kUsbWriterProductId);
    EXPECT_EQ(shelf.open_when_asked, 0) << "the writer held before is closed first";
    EXPECT_EQ(shelf.open, 1);

    opened = OpenUsbWriter(link, shelf, 3, kUsbWriterVendorId, kUsbWriterProductId);
    EXPECT_EQ(opened.error, UsbOpenError::kNotFound);
    EXPECT_FALSE(link.usb_writer);
    EXPECT_EQ(shelf.open, 0);

    OpenUsbWriter(link, shelf, 1, kUsbWriterVendorId, kUsbWriterProductId);
    EXPECT_EQ(shelf.open, 1);
  }
  EXPECT_EQ(shelf.open, 0) << "a writer still open closes with the link";
}

TEST(UsbOpenFailureTextTest, NamesTheWriterTheNodeAndTheReasonInTheUsersLanguage) {
  UsbOpenResult result;
  result.location.bus = 1;
  result.location.address = 5;
  const struct {
    UsbOpenError error;
    const char* detail;
    int language;
    const char* expected;
  } cases[] = {
      {UsbOpenError::kNotFound, "", kLanguageEnglish, "USB2: no such USB writer is attached"},
      {UsbOpenError::kNoPermission, "", kLanguageEnglish,
       "USB2 (/dev/bus/usb/001/005): no permission to open the device; install the udev rule "
       "(see README)"},
      {UsbOpenError::kNoPermission, "", kLanguageChinese,
       "USB2 (/dev/bus/usb/001/005): 无权打开该设备, 请安装 udev 规则 (见 README)"},
      {UsbOpenError::kGone, "", kLanguageChinese, "USB2 (/dev/bus/usb/001/005): 该设备已被拔出"},
      {UsbOpenError::kBusy, "", kLanguageEnglish,
       "USB2 (/dev/bus/usb/001/005): the device is in use by another program"},
      {UsbOpenError::kFailed, "Input/Output Error", kLanguageEnglish,
       "USB2 (/dev/bus/usb/001/005): the device could not be opened (Input/Output Error)"},
      {UsbOpenError::kNone, "", kLanguageEnglish, ""},
  };
  for (const auto& c : cases) {
    result.error = c.error;
    result.detail = c.detail;
    EXPECT_EQ(UsbOpenFailureText(result, 2, c.language), c.expected);
  }
}

TEST(UsbWriterLocationTest, OrdersByBusThenPortPathAndNamesItLikeTheSystem) {
  const UsbWriterLocation a{1, {1, 2}, 40};
  const UsbWriterLocation b{1, {3}, 2};
  const UsbWriterLocation c{2, {1}, 3};
  const UsbWriterLocation d{1, {1}, 9};
  EXPECT_LT(d, a) << "a hub's own port comes before the ports behind it";
  EXPECT_LT(a, b);
  EXPECT_LT(b, c);
  EXPECT_EQ(a, (UsbWriterLocation{1, {1, 2}, 7})) << "the address is no part of the place";
  EXPECT_EQ(a.Text(), "1-1.2");
  EXPECT_EQ(c.DeviceNode(), "/dev/bus/usb/002/003");
}

}  // namespace
}  // namespace fw
