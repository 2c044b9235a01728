// The USB writer as the flasher sees it: writers found by vendor and product,
// and the n-th of them opened as a device the link holds. The libusb
// implementation and the simulated writer both sit behind this. Header-only
// (with isp/link/usb_writer_device.h), so that the simulated writer plugs in
// without linking anything of the flasher.
#pragma once

#include <algorithm>
#include <compare>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "isp/link/usb_writer_device.h"

namespace fw {

// The writer's USB identifiers.
inline constexpr std::uint16_t kUsbWriterVendorId = 0x514D;
inline constexpr std::uint16_t kUsbWriterProductId = 0x4312;

// Where a writer is attached. Writers are numbered in the order of this
// comparison: bus, then the port path from the root hub.
struct UsbWriterLocation {
  int bus = 0;
  std::vector<std::uint8_t> port_path;
  int address = 0;  // the bus address; changes on every plug, so not part of the order

  // "1-1.3", as the system names the attachment point.
  std::string Text() const {
    std::string text = std::to_string(bus);
    for (std::size_t k = 0; k < port_path.size(); ++k) {
      text += k == 0 ? '-' : '.';
      text += std::to_string(port_path[k]);
    }
    return text;
  }
  // "/dev/bus/usb/001/005".
  std::string DeviceNode() const {
    char node[32];
    std::snprintf(node, sizeof node, "/dev/bus/usb/%03d/%03d", bus & 0xFFFF, address & 0xFFFF);
    return node;
  }

  std::strong_ordering operator<=>(const UsbWriterLocation& other) const {
    if (auto order = bus <=> other.bus; order != 0) return order;
    return std::lexicographical_compare_three_way(port_path.begin(), port_path.end(),
                                                  other.port_path.begin(), other.port_path.end());
  }
  bool operator==(const UsbWriterLocation& other) const { return (*this <=> other) == 0; }
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
