#include "target/usb_writer/libusb_writer_bus.h"

#include <libusb.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

namespace fw {
namespace {

// bmRequestType: direction, vendor type, device recipient.
constexpr std::uint8_t kVendorRequestIn = 0xC0;
constexpr std::uint8_t kVendorRequestOut = 0x40;
// Enough for any hub chain (USB allows 7 tiers).
constexpr int kMaxPortDepth = 8;

// Owns the libusb context; shared by the bus and every device opened from it,
// so that either may outlive the other.
class Context {
 public:
  explicit Context(libusb_context* context) : context_(context) {}
  ~Context() { libusb_exit(context_); }
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;
  libusb_context* get() const { return context_; }

 private:
  libusb_context* context_;
};

UsbTransferError FromTransferStatus(libusb_transfer_status status) {
  switch (status) {
    case LIBUSB_TRANSFER_COMPLETED:
      return UsbTransferError::kNone;
    case LIBUSB_TRANSFER_TIMED_OUT:
      return UsbTransferError::kTimedOut;
    case LIBUSB_TRANSFER_NO_DEVICE:
      return UsbTransferError::kGone;
    case LIBUSB_TRANSFER_CANCELLED:
      return UsbTransferError::kStopped;
    default:
      return UsbTransferError::kFailed;
  }
}

void LIBUSB_CALL MarkCompleted(libusb_transfer* transfer) {
  *static_cast<int*>(transfer->user_data) = 1;
}

class LibusbWriter : public UsbWriterDevice {
 public:
  LibusbWriter(std::shared_ptr<Context> context, libusb_device_handle* handle)
      : context_(std::move(context)), handle_(handle) {}
  ~LibusbWriter() override { libusb_close(handle_); }
  LibusbWriter(const LibusbWriter&) = delete;
  LibusbWriter& operator=(const LibusbWriter&) = delete;

  UsbTransferResult ControlIn(const UsbControlSetup& setup, std::span<std::uint8_t> data,
                              int timeout_ms, const StopRequested& stop) override {
    return Transfer(kVendorRequestIn, setup, data, timeout_ms, stop);
  }

  UsbTransferResult ControlOut(const UsbControlSetup& setup, std::span<const std::uint8_t> data,
                               int timeout_ms, const StopRequested& stop) override {
    // libusb wants a writable buffer for both directions; it only reads it here.
    std::vector<std::uint8_t> copy(data.begin(), data.end());
    return Transfer(kVendorRequestOut, setup, copy, timeout_ms, stop);
  }

 private:
  // One asynchronous transfer, waited for in slices so that the stop request
  // is seen while a writer takes its time (or never answers).
  UsbTransferResult Transfer(std::uint8_t request_type, const UsbControlSetup& setup,
                             std::span<std::uint8_t> data, int timeout_ms,
                             const StopRequested& stop) {
    UsbTransferResult result;
    if (data.size() > 0xFFFF) {  // wLength is 16 bits
      result.error = UsbTransferError::kFailed;
      return result;
    }
    std::vector<std::uint8_t> buffer(LIBUSB_CONTROL_SETUP_SIZE + data.size());
    libusb_fill_control_setup(buffer.data(), request_type, setup.request, setup.value, setup.index,
                              static_cast<std::uint16_t>(data.size()));
    const bool in = request_type == kVendorRequestIn;
    if (!in) std::copy(data.begin(), data.end(), buffer.begin() + LIBUSB_CONTROL_SETUP_SIZE);

    libusb_transfer* transfer = libusb_alloc_transfer(0);
    if (transfer == nullptr) {
      result.error = UsbTransferError::kFailed;
      return result;
    }
    int completed = 0;
    // libusb's own time-out (0 = none) ends the transfer as TIMED_OUT.
    const unsigned int libusb_timeout = timeout_ms > 0 ? static_cast<unsigned int>(timeout_ms) : 0;
    libusb_fill_control_transfer(transfer, handle_, buffer.data(), MarkCompleted, &completed,
                                 libusb_timeout);
    const int submitted = libusb_submit_transfer(transfer);
    if (submitted != LIBUSB_SUCCESS) {
      libusb_free_transfer(transfer);
      result.error =
          submitted == LIBUSB_ERROR_NO_DEVICE ? UsbTransferError::kGone : UsbTransferError::kFailed;
      return result;
    }

    bool cancelled_on_stop = false;
    bool cancelled_on_error = false;
    while (completed == 0) {
      timeval slice{0, kUsbWaitSliceMs * 1000};
      const int handled =
          libusb_handle_events_timeout_completed(context_->get(), &slice, &completed);
      if (completed != 0) break;
      const bool failed = handled != LIBUSB_SUCCESS && handled != LIBUSB_ERROR_INTERRUPTED;
      if (cancelled_on_stop || cancelled_on_error) continue;  // waiting for the cancellation
      if (failed) {
        cancelled_on_error = true;
        libusb_cancel_transfer(transfer);
      } else if (stop && stop()) {
        cancelled_on_stop = true;
        libusb_cancel_transfer(transfer);
      }
    }

    result.error = FromTransferStatus(transfer->status);
    if (transfer->status == LIBUSB_TRANSFER_CANCELLED && !cancelled_on_stop) {
      result.error = UsbTransferError::kFailed;
    }
    result.length = transfer->actual_length;
    if (result.ok() && in) {
      const std::size_t got =
          std::min(data.size(), static_cast<std::size_t>(std::max(0, result.length)));
      std::copy_n(libusb_control_transfer_get_data(transfer), got, data.begin());
      result.length = static_cast<int>(got);
    }
    libusb_free_transfer(transfer);
    return result;
  }

  std::shared_ptr<Context> context_;
  libusb_device_handle* handle_;
};

struct FoundDevice {
  UsbWriterLocation location;
  libusb_device* device;
};

UsbOpenError FromOpenError(int error) {
  switch (error) {
    case LIBUSB_ERROR_ACCESS:
      return UsbOpenError::kNoPermission;
    case LIBUSB_ERROR_BUSY:
      return UsbOpenError::kBusy;
    case LIBUSB_ERROR_NO_DEVICE:
    case LIBUSB_ERROR_NOT_FOUND:
      return UsbOpenError::kGone;
    default:
      return UsbOpenError::kFailed;
  }
}

class LibusbWriterBus : public UsbWriterBus {
 public:
  explicit LibusbWriterBus(std::shared_ptr<Context> context) : context_(std::move(context)) {}

  std::vector<UsbWriterLocation> Enumerate(std::uint16_t vendor_id,
                                           std::uint16_t product_id) override {
    std::vector<UsbWriterLocation> locations;
    WithWriters(vendor_id, product_id, [&](const std::vector<FoundDevice>& found) {
      for (const FoundDevice& f : found) locations.push_back(f.location);
    });
    return locations;
  }

  UsbOpenResult Open(int n, std::uint16_t vendor_id, std::uint16_t product_id) override {
    UsbOpenResult result;
    result.error = UsbOpenError::kNotFound;
    WithWriters(vendor_id, product_id, [&](const std::vector<FoundDevice>& found) {
      if (n < 1 || static_cast<std::size_t>(n) > found.size()) return;
      const FoundDevice& chosen = found[static_cast<std::size_t>(n) - 1];
      result.location = chosen.location;
      // Vendor requests to the device itself need no claimed interface, so
      // none is claimed and no kernel driver is detached.
      libusb_device_handle* handle = nullptr;
      const int opened = libusb_open(chosen.device, &handle);
      if (opened != LIBUSB_SUCCESS) {
        result.error = FromOpenError(opened);
        result.detail = libusb_strerror(opened);
        return;
      }
      result.error = UsbOpenError::kNone;
      result.device = std::make_unique<LibusbWriter>(context_, handle);
    });
    return result;
  }

 private:
  // Calls use with the matching devices in writer order while the system's
  // device list is held.
  template <typename Use>
  void WithWriters(std::uint16_t vendor_id, std::uint16_t product_id, Use use) {
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context_->get(), &list);
    std::vector<FoundDevice> found;
    for (ssize_t k = 0; k < count; ++k) {
      libusb_device_descriptor descriptor{};
      if (libusb_get_device_descriptor(list[k], &descriptor) != LIBUSB_SUCCESS) continue;
      if (descriptor.idVendor != vendor_id || descriptor.idProduct != product_id) continue;
      FoundDevice f{{}, list[k]};
      f.location.bus = libusb_get_bus_number(list[k]);
      f.location.address = libusb_get_device_address(list[k]);
      std::uint8_t ports[kMaxPortDepth];
      const int depth = libusb_get_port_numbers(list[k], ports, kMaxPortDepth);
      if (depth > 0) f.location.port_path.assign(ports, ports + depth);
      found.push_back(std::move(f));
    }
    std::stable_sort(found.begin(), found.end(), [](const FoundDevice& a, const FoundDevice& b) {
      return a.location < b.location;
    });
    use(found);
    if (count >= 0) libusb_free_device_list(list, 1);
  }

  std::shared_ptr<Context> context_;
};

}  // namespace

std::unique_ptr<UsbWriterBus> MakeLibusbWriterBus(std::string& error) {
  libusb_context* context = nullptr;
  const int started = libusb_init(&context);
  if (started != LIBUSB_SUCCESS) {
    error = libusb_strerror(started);
    return nullptr;
  }
  return std::make_unique<LibusbWriterBus>(std::make_shared<Context>(context));
}

}  // namespace fw
