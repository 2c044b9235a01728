// Simulated writers made visible to libusb: a umockdev test bed holds their
// sysfs entries and device nodes, and answers the usbfs requests that libusb
// makes on those nodes from the simulated writers. Only works in a process
// started under umockdev-wrapper.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sim/usb_writer_sim.h"
#include "target/usb_writer/usb_writer_transport.h"

namespace fw::test {

class UmockdevWriterBridge {
 public:
  UmockdevWriterBridge();
  ~UmockdevWriterBridge();
  UmockdevWriterBridge(const UmockdevWriterBridge&) = delete;
  UmockdevWriterBridge& operator=(const UmockdevWriterBridge&) = delete;

  // A device at location (with its hubs) answered by writer; with other
  // identifiers it stands for another maker's device.
  void Attach(std::shared_ptr<sim::SimUsbWriter> writer, const UsbWriterLocation& location,
              std::uint16_t vendor_id = kUsbWriterVendorId,
              std::uint16_t product_id = kUsbWriterProductId);
  // Removes the device as the system would after an unplug: pending and later
  // requests fail, the node and sysfs entry go away and a remove event is sent.
  void Remove(const UsbWriterLocation& location);

  // Setup packets the writers were sent whose request type was not a vendor
  // request to the device (0x40 out, 0xC0 in).
  std::vector<std::string> Errors() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace fw::test
