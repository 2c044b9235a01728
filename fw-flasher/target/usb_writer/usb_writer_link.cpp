#include "target/usb_writer/usb_writer_link.h"

#include <algorithm>

namespace fw {
namespace {

UsbLinkResult FromTransferError(UsbTransferError error) {
  switch (error) {
    case UsbTransferError::kNone:
      return UsbLinkResult::kOk;
    case UsbTransferError::kTimedOut:
      return UsbLinkResult::kTimedOut;
    case UsbTransferError::kGone:
      return UsbLinkResult::kGone;
    case UsbTransferError::kStopped:
      return UsbLinkResult::kStopped;
    case UsbTransferError::kFailed:
      break;
  }
  return UsbLinkResult::kFailed;
}

// The stop request of a download: the user cleared the link's running flag or
// pressed the stop button.
StopRequested StopOf(const IspLink& link) {
  return [&link] { return !link.KeepsRunning(); };
}

}  // namespace

std::vector<std::uint8_t> GroupCommandData(std::span<const std::uint8_t> data) {
  std::vector<std::uint8_t> grouped;
  grouped.reserve(data.size() + data.size() / kUsbCommandGroupSize + 1);
  std::uint8_t sum = 0;
  int in_group = 0;
  for (std::uint8_t byte : data) {
    grouped.push_back(byte);
    sum = static_cast<std::uint8_t>(sum + byte);
    if (++in_group == kUsbCommandGroupSize) {
      grouped.push_back(static_cast<std::uint8_t>(-sum));
      sum = 0;
      in_group = 0;
    }
  }
  if (in_group != 0) grouped.push_back(static_cast<std::uint8_t>(-sum));
  return grouped;
}

std::optional<int> ValidReplyLength(std::span<const std::uint8_t> transferred, int size) {
  if (transferred.size() < static_cast<std::size_t>(kUsbReplyOverhead)) return std::nullopt;
  if (transferred[0] != kUsbReplyStart0 || transferred[1] != kUsbReplyStart1) return std::nullopt;
  const int length = transferred[2];
  if (length == 0 || length > size) return std::nullopt;
  const std::size_t frame_size = static_cast<std::size_t>(length) + kUsbReplyOverhead;
  if (frame_size > transferred.size()) return std::nullopt;
  std::uint8_t sum = 0;
  for (std::size_t k = 0; k < frame_size; ++k)
    sum = static_cast<std::uint8_t>(sum + transferred[k]);
  if (sum != kUsbReplyFrameSum) return std::nullopt;
  return length;
}

UsbOpenResult OpenUsbWriter(UsbWriterBus& bus, int n, std::uint16_t vendor_id,
                            std::uint16_t product_id) {
  if (n < 1) {
    UsbOpenResult none;
    none.error = UsbOpenError::kNotFound;
    return none;
  }
  return bus.Open(n, vendor_id, product_id);
}

UsbLinkResult UsbReceive(UsbWriterDevice& writer, const UsbControlSetup& setup, int size,
                         std::span<std::uint8_t> dst, int& received_length, int timeout_ms,
                         const StopRequested& stop) {
  received_length = 0;
  if (size < 0 || size > kUsbMaxDataStage - kUsbReplyOverhead ||
      dst.size() < static_cast<std::size_t>(size)) {
    return UsbLinkResult::kFailed;
  }
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(size) + kUsbReplyOverhead, 0);
  const UsbTransferResult transfer = writer.ControlIn(setup, buffer, timeout_ms, stop);
  if (!transfer.ok()) return FromTransferError(transfer.error);
  if (transfer.length < 0 || static_cast<std::size_t>(transfer.length) > buffer.size()) {
    return UsbLinkResult::kFailed;
  }
  const auto length =
      ValidReplyLength(std::span(buffer).first(static_cast<std::size_t>(transfer.length)), size);
  if (!length) return UsbLinkResult::kNoReply;
  std::copy_n(buffer.begin() + kUsbReplyHeaderSize, size, dst.begin());
  received_length = *length;
  return UsbLinkResult::kOk;
}

UsbLinkResult UsbSend(UsbWriterDevice& writer, const UsbControlSetup& setup,
                      std::span<const std::uint8_t> data, int timeout_ms,
                      const StopRequested& stop) {
  const std::vector<std::uint8_t> grouped = GroupCommandData(data);
  if (grouped.size() > static_cast<std::size_t>(kUsbMaxDataStage)) return UsbLinkResult::kFailed;
  const UsbTransferResult transfer = writer.ControlOut(setup, grouped, timeout_ms, stop);
  if (!transfer.ok()) return FromTransferError(transfer.error);
  // A device that takes fewer bytes than the command holds has not received it.
  if (transfer.length != static_cast<int>(grouped.size())) return UsbLinkResult::kFailed;
  return UsbLinkResult::kOk;
}

UsbOpenResult OpenUsbWriter(IspLink& link, UsbWriterBus& bus, int n, std::uint16_t vendor_id,
                            std::uint16_t product_id) {
  link.usb_writer.reset();
  UsbOpenResult opened = OpenUsbWriter(bus, n, vendor_id, product_id);
  link.usb_writer = std::move(opened.device);
  return opened;
}

UsbLinkResult UsbReceive(IspLink& link, const UsbControlSetup& setup, int size, int timeout_ms) {
  FramingState& framing = link.framing;
  framing.received_length = 0;
  if (link.usb_writer == nullptr) return UsbLinkResult::kFailed;
  return UsbReceive(*link.usb_writer, setup, size, framing.receive_buffer, framing.received_length,
                    timeout_ms, StopOf(link));
}

UsbLinkResult UsbSend(IspLink& link, const UsbControlSetup& setup,
                      std::span<const std::uint8_t> data, int timeout_ms) {
  if (link.usb_writer == nullptr) return UsbLinkResult::kFailed;
  return UsbSend(*link.usb_writer, setup, data, timeout_ms, StopOf(link));
}

}  // namespace fw
