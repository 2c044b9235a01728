#include "sim/sim_usb_bus.h"

#include <algorithm>
#include <chrono>

namespace fw::sim {
namespace {

// An open simulated writer. Its transfers wait as a real one's do: in slices
// that look at the stop request, ending at once when the writer disappears.
class SimWriterHandle : public UsbWriterDevice {
 public:
  explicit SimWriterHandle(std::shared_ptr<SimUsbWriter> writer) : writer_(std::move(writer)) {}

  UsbTransferResult ControlIn(const UsbControlSetup& setup, std::span<std::uint8_t> data,
                              int timeout_ms, const StopRequested& stop) override {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    const auto slice = std::chrono::milliseconds(kUsbWaitSliceMs);
    for (;;) {
      if (auto reply = writer_->TakeReply(setup, data)) return *reply;
      if (stop && stop()) return {UsbTransferError::kStopped, 0};
      auto wait = slice;
      if (timeout_ms > 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return {UsbTransferError::kTimedOut, 0};
        wait = std::min(wait, left);
      }
      writer_->WaitForChange(wait);
    }
  }

  UsbTransferResult ControlOut(const UsbControlSetup& setup, std::span<const std::uint8_t> data,
                               int /*timeout_ms*/, const StopRequested& /*stop*/) override {
    // The simulated writer takes a command at once.
    return writer_->Command(setup, data);
  }

 private:
  std::shared_ptr<SimUsbWriter> writer_;
};

}  // namespace

void SimUsbBus::Attach(std::shared_ptr<SimUsbWriter> writer, UsbWriterLocation location,
                       std::uint16_t vendor_id, std::uint16_t product_id) {
  std::lock_guard lock(mutex_);
  slots_.push_back({std::move(writer), std::move(location), vendor_id, product_id});
}

std::vector<SimUsbBus::Slot> SimUsbBus::FindLocked(std::uint16_t vendor_id,
                                                   std::uint16_t product_id) const {
  std::vector<Slot> found;
  for (const Slot& slot : slots_) {
    if (slot.vendor_id == vendor_id && slot.product_id == product_id && slot.writer->plugged()) {
      found.push_back(slot);
    }
  }
  std::stable_sort(found.begin(), found.end(),
                   [](const Slot& a, const Slot& b) { return a.location < b.location; });
  return found;
}

std::vector<UsbWriterLocation> SimUsbBus::Enumerate(std::uint16_t vendor_id,
                                                    std::uint16_t product_id) {
  std::lock_guard lock(mutex_);
  std::vector<UsbWriterLocation> locations;
  for (const Slot& slot : FindLocked(vendor_id, product_id)) locations.push_back(slot.location);
  return locations;
}

UsbOpenResult SimUsbBus::Open(int n, std::uint16_t vendor_id, std::uint16_t product_id) {
  std::lock_guard lock(mutex_);
  const std::vector<Slot> found = FindLocked(vendor_id, product_id);
  UsbOpenResult result;
  if (n < 1 || static_cast<std::size_t>(n) > found.size()) {
    result.error = UsbOpenError::kNotFound;
    return result;
  }
  const Slot& slot = found[static_cast<std::size_t>(n) - 1];
  result.location = slot.location;
  result.error = slot.writer->open_error();
  if (result.error == UsbOpenError::kNone) {
    result.device = std::make_unique<SimWriterHandle>(slot.writer);
  }
  return result;
}

}  // namespace fw::sim
