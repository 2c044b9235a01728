// The serial devices and the device monitor through libudev (the one file that
// includes it).
#include <libudev.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/run/port_devices.h"

namespace fw {
namespace {

using UdevPtr = std::unique_ptr<udev, decltype(&udev_unref)>;
using DevicePtr = std::unique_ptr<udev_device, decltype(&udev_device_unref)>;
using EnumeratePtr = std::unique_ptr<udev_enumerate, decltype(&udev_enumerate_unref)>;
using MonitorPtr = std::unique_ptr<udev_monitor, decltype(&udev_monitor_unref)>;

std::string Text(const char* value) { return value != nullptr ? value : ""; }

bool Is(const char* value, const char* expected) {
  return value != nullptr && std::strcmp(value, expected) == 0;
}

// The driver that serves a terminal: the USB interface's driver when udev
// recorded it, else the first driver above the terminal, passing over the
// serial core's own port and controller devices.
std::string DriverOf(udev_device* tty) {
  if (const char* usb_driver = udev_device_get_property_value(tty, "ID_USB_DRIVER"))
    return usb_driver;
  for (udev_device* d = udev_device_get_parent(tty); d != nullptr; d = udev_device_get_parent(d)) {
    if (Is(udev_device_get_subsystem(d), "serial-base")) continue;
    if (const char* driver = udev_device_get_driver(d)) return driver;
  }
  return {};
}

// A serial core port whose probe found no UART reports the type 0 (unknown):
// the legacy ports that exist whether or not hardware is behind them.
bool HasNoUart(udev_device* tty) { return Is(udev_device_get_sysattr_value(tty, "type"), "0"); }

class UdevSerialDeviceSource final : public SerialDeviceSource {
 public:
  std::vector<SerialDeviceInfo> SerialDevices() override {
    std::vector<SerialDeviceInfo> devices;
    UdevPtr context(udev_new(), &udev_unref);
    if (!context) return devices;
    EnumeratePtr scan(udev_enumerate_new(context.get()), &udev_enumerate_unref);
    if (!scan) return devices;
    udev_enumerate_add_match_subsystem(scan.get(), "tty");
    udev_enumerate_scan_devices(scan.get());
    for (udev_list_entry* e = udev_enumerate_get_list_entry(scan.get()); e != nullptr;
         e = udev_list_entry_get_next(e)) {
      DevicePtr tty(udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(e)),
                    &udev_device_unref);
      if (!tty) continue;
      // Terminals without a parent device (consoles, pseudo-terminals) are no
      // serial ports.
      const char* node = udev_device_get_devnode(tty.get());
      if (node == nullptr || udev_device_get_parent(tty.get()) == nullptr) continue;
      if (HasNoUart(tty.get())) continue;
      SerialDeviceInfo info;
      info.kernel_name = Text(udev_device_get_sysname(tty.get()));
      info.device_path = node;
      info.vendor = Text(udev_device_get_property_value(tty.get(), "ID_VENDOR_FROM_DATABASE"));
      info.model = Text(udev_device_get_property_value(tty.get(), "ID_MODEL_FROM_DATABASE"));
      info.driver = DriverOf(tty.get());
      devices.push_back(std::move(info));
    }
    return devices;
  }
};

class UdevDeviceMonitor final : public DeviceMonitor {
 public:
  UdevDeviceMonitor(UdevPtr context, MonitorPtr monitor)
      : context_(std::move(context)), monitor_(std::move(monitor)) {}

  int Fd() const override { return udev_monitor_get_fd(monitor_.get()); }

  bool TakeEvents() override {
    bool changed = false;
    // The monitor's socket does not block: this ends when no event is left.
    while (DevicePtr device{udev_monitor_receive_device(monitor_.get()), &udev_device_unref}) {
      const char* action = udev_device_get_action(device.get());
      if (Is(action, "add") || Is(action, "remove")) changed = true;
    }
    return changed;
  }

 private:
  UdevPtr context_;
  MonitorPtr monitor_;
};

}  // namespace

std::unique_ptr<SerialDeviceSource> MakeUdevSerialDeviceSource() {
  return std::make_unique<UdevSerialDeviceSource>();
}

std::unique_ptr<DeviceMonitor> MakeUdevDeviceMonitor(std::string& error) {
  UdevPtr context(udev_new(), &udev_unref);
  if (!context) {
    error = "udev is not available";
    return nullptr;
  }
  // Without a running udev daemon its processed events never come; the
  // kernel's own announcements then tell of the same devices.
  const bool udev_running = access("/run/udev/control", F_OK) == 0;
  MonitorPtr monitor(udev_monitor_new_from_netlink(context.get(), udev_running ? "udev" : "kernel"),
                     &udev_monitor_unref);
  if (!monitor) {
    error = "the device monitor cannot be opened";
    return nullptr;
  }
  udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "tty", nullptr);
  udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "usb", "usb_device");
  if (udev_monitor_enable_receiving(monitor.get()) < 0) {
    error = "the device monitor cannot receive events";
    return nullptr;
  }
  return std::make_unique<UdevDeviceMonitor>(std::move(context), std::move(monitor));
}

}  // namespace fw
