// The USB writer as the flasher sees it: writers found by vendor and product,
// the n-th of them opened, and one vendor control transfer at a time. The
// libusb implementation and the simulated writer both sit behind this.
#pragma once

#include <compare>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace fw {

// The writer's USB identifiers.
inline constexpr std::uint16_t kUsbWriterVendorId = 0x514D;
inline constexpr std::uint16_t kUsbWriterProductId = 0x4312;

// A transfer's time-out that never expires; the wait still ends on Stop or
// when the writer disappears.
inline constexpr int kUsbNoTimeLimit = -1;
// How often a waiting transfer looks at the stop request.
inline constexpr int kUsbWaitSliceMs = 100;

enum class UsbTransferError {
  kNone,
  kTimedOut,
  kGone,     // the writer was unplugged or vanished
  kStopped,  // the stop request ended the wait
  kFailed,   // any other failure (stall, bad request, system error)
};

struct UsbTransferResult {
  UsbTransferError error = UsbTransferError::kNone;
  int length = 0;  // bytes actually transferred in the data stage
  bool ok() const { return error == UsbTransferError::kNone; }
};

// The setup values of a vendor request addressed to the device.
struct UsbControlSetup {
  std::uint8_t request = 0;
  std::uint16_t value = 0;
  std::uint16_t index = 0;
};

// True when the user asked to stop; tested while a transfer waits.
using StopRequested = std::function<bool()>;

class UsbWriterDevice {
 public:
  virtual ~UsbWriterDevice() = default;
  // One device-to-host vendor request with data.size() as its length. Waits
  // up to timeout_ms (0 or less, e.g. kUsbNoTimeLimit: no limit), testing
  // stop every slice.
  virtual UsbTransferResult ControlIn(const UsbControlSetup& setup, std::span<std::uint8_t> data,
                                      int timeout_ms, const StopRequested& stop) = 0;
  // One host-to-device vendor request carrying data.
  virtual UsbTransferResult ControlOut(const UsbControlSetup& setup,
                                       std::span<const std::uint8_t> data, int timeout_ms,
                                       const StopRequested& stop) = 0;
};

// Where a writer is attached. Writers are numbered in the order of this
// comparison: bus, then the port path from the root hub.
struct UsbWriterLocation {
  int bus = 0;
  std::vector<std::uint8_t> port_path;
  int address = 0;  // the bus address; changes on every plug, so not part of the order

  // "1-1.3", as the system names the attachment point.
  std::string Text() const;
  // "/dev/bus/usb/001/005".
  std::string DeviceNode() const;

  std::strong_ordering operator<=>(const UsbWriterLocation& other) const;
  bool operator==(const UsbWriterLocation& other) const;
};

enum class UsbOpenError {
  kNone,
  kNotFound,      // no n-th writer attached
  kNoPermission,  // the device node may not be opened by this user
  kBusy,          // another program holds the writer
  kGone,          // unplugged while being opened
  kFailed,        // any other failure; see detail
};

struct UsbOpenResult {
  std::unique_ptr<UsbWriterDevice> device;  // null on failure
  UsbOpenError error = UsbOpenError::kNone;
  UsbWriterLocation location;  // of the writer tried, when there was one
  std::string detail;          // the system's own words for kFailed
};

class UsbWriterBus {
 public:
  virtual ~UsbWriterBus() = default;
  // The attached devices with these identifiers, in writer order. Works from
  // what the system already knows of each device; nothing is opened.
  virtual std::vector<UsbWriterLocation> Enumerate(std::uint16_t vendor_id,
                                                   std::uint16_t product_id) = 0;
  // Opens the n-th (from 1) device of Enumerate's list.
  virtual UsbOpenResult Open(int n, std::uint16_t vendor_id, std::uint16_t product_id) = 0;
};

}  // namespace fw
