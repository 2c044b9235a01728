// Simulated USB writers plugged into a simulated bus, reached through the same
// transport interface as real ones. Writers may be attached, unplugged and
// plugged in again while a download runs on another thread.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "sim/usb_writer_sim.h"
#include "target/usb_writer/usb_writer_transport.h"

namespace fw::sim {

class SimUsbBus : public UsbWriterBus {
 public:
  // A device at location; the identifiers decide whether a search finds it.
  void Attach(std::shared_ptr<SimUsbWriter> writer, UsbWriterLocation location,
              std::uint16_t vendor_id = kUsbWriterVendorId,
              std::uint16_t product_id = kUsbWriterProductId);

  std::vector<UsbWriterLocation> Enumerate(std::uint16_t vendor_id,
                                           std::uint16_t product_id) override;
  UsbOpenResult Open(int n, std::uint16_t vendor_id, std::uint16_t product_id) override;

 private:
  struct Slot {
    std::shared_ptr<SimUsbWriter> writer;
    UsbWriterLocation location;
    std::uint16_t vendor_id;
    std::uint16_t product_id;
  };
  // Plugged devices with these identifiers, in writer order.
  std::vector<Slot> FindLocked(std::uint16_t vendor_id, std::uint16_t product_id) const;

  mutable std::mutex mutex_;
  std::vector<Slot> slots_;
};

}  // namespace fw::sim
