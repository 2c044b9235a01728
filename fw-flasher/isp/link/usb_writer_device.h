// An opened USB writer as the link holds it: one vendor control transfer at a
// time, each waiting in slices that look at the stop request. How writers are
// found and opened, and what their requests mean, lies above this floor.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

namespace fw {

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

}  // namespace fw
