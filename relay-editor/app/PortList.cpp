#include "PortList.h"

#include <libudev.h>

#include <algorithm>
#include <memory>

namespace relay::app {

std::vector<std::string> SystemSerialPorts() {
  std::vector<std::string> ports;
  std::unique_ptr<udev, decltype(&udev_unref)> context(udev_new(), &udev_unref);
  if (!context) return ports;
  std::unique_ptr<udev_enumerate, decltype(&udev_enumerate_unref)> scan(
      udev_enumerate_new(context.get()), &udev_enumerate_unref);
  if (!scan) return ports;
  udev_enumerate_add_match_subsystem(scan.get(), "tty");
  udev_enumerate_scan_devices(scan.get());
  for (udev_list_entry* e = udev_enumerate_get_list_entry(scan.get()); e != nullptr;
       e = udev_list_entry_get_next(e)) {
    std::unique_ptr<udev_device, decltype(&udev_device_unref)> device(
        udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(e)),
        &udev_device_unref);
    if (!device) continue;
    // Terminals without a parent device (consoles, ptys) are no serial ports.
    udev_device* parent = udev_device_get_parent(device.get());
    const char* node = udev_device_get_devnode(device.get());
    if (parent == nullptr || node == nullptr) continue;
    const char* driver = udev_device_get_driver(parent);
    // The legacy 8250 ports exist whether or not a UART is behind them.
    if (driver != nullptr && std::string(driver) == "serial8250") continue;
    ports.emplace_back(node);
  }
  std::sort(ports.begin(), ports.end());
  return ports;
}

}  // namespace relay::app
