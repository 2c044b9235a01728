// The three primitives the USB writer download is built from: open the n-th
// writer, send one command, receive one reply. Each comes in two forms: on the
// link (the writer it holds, the reply in its receive buffer, Stop from its
// running flag), as the download uses them, and on a bare writer.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "isp/link/isp_link.h"
#include "target/usb_writer/usb_writer_transport.h"

namespace fw {

// Reply frame: 46 B9 L, L data bytes, and a check byte that makes the 8-bit
// sum of the whole frame 0xFF.
inline constexpr std::uint8_t kUsbReplyStart0 = 0x46;
inline constexpr std::uint8_t kUsbReplyStart1 = 0xB9;
inline constexpr int kUsbReplyHeaderSize = 3;
inline constexpr int kUsbReplyOverhead = kUsbReplyHeaderSize + 1;
inline constexpr std::uint8_t kUsbReplyFrameSum = 0xFF;

// Command data: the bytes in groups of seven, each group (the last one may be
// shorter) followed by a check byte that makes the group sum to 0 modulo 256.
inline constexpr int kUsbCommandGroupSize = 7;

// The longest data stage a control request can describe (wLength).
inline constexpr int kUsbMaxDataStage = 0xFFFF;

enum class UsbLinkResult {
  kOk,
  kNoReply,  // the transfer completed but held no valid reply frame with data
  kTimedOut,
  kGone,
  kStopped,
  kFailed,  // the transfer failed, or the request could not be made
};

// The command-data layout of data.
std::vector<std::uint8_t> GroupCommandData(std::span<const std::uint8_t> data);

// L of the reply frame in the transferred bytes, accepted only when the frame
// starts 46 B9, L is at most size (the room the caller has), the whole frame
// lies within what was transferred, its sum is right and L is not 0.
std::optional<int> ValidReplyLength(std::span<const std::uint8_t> transferred, int size);

// The n-th (from 1) writer with these identifiers.
UsbOpenResult OpenUsbWriter(UsbWriterBus& bus, int n, std::uint16_t vendor_id,
                            std::uint16_t product_id);

// One IN request with a data stage of size + 4 bytes. On a valid reply frame
// copies size bytes from the frame's data on into dst (bytes past the frame are
// zero) and sets received_length to L; otherwise received_length is 0 and dst
// is left as it was. dst must have room for size bytes.
UsbLinkResult UsbReceive(UsbWriterDevice& writer, const UsbControlSetup& setup, int size,
                         std::span<std::uint8_t> dst, int& received_length, int timeout_ms,
                         const StopRequested& stop);

// One OUT request carrying data in the command-data layout. Nothing is read back.
UsbLinkResult UsbSend(UsbWriterDevice& writer, const UsbControlSetup& setup,
                      std::span<const std::uint8_t> data, int timeout_ms,
                      const StopRequested& stop);

// --- On the link ---------------------------------------------------------

// Opens the n-th writer and hands it to the link (usb_writer); the writer the
// link held before is closed first, so the device is never open twice. On a
// failure the link holds none and the result says why (message 8107).
UsbOpenResult OpenUsbWriter(IspLink& link, UsbWriterBus& bus, int n, std::uint16_t vendor_id,
                            std::uint16_t product_id);

// One reply through the link's writer into framing.receive_buffer, setting
// framing.received_length to L or 0 as UsbReceive above. size is at most the
// receive buffer. The wait, however long timeout_ms allows, ends with kStopped
// once running is cleared. kFailed when the link holds no writer.
UsbLinkResult UsbReceive(IspLink& link, const UsbControlSetup& setup, int size, int timeout_ms);

// One command through the link's writer; Stop as UsbReceive on the link.
UsbLinkResult UsbSend(IspLink& link, const UsbControlSetup& setup,
                      std::span<const std::uint8_t> data, int timeout_ms);

}  // namespace fw
