// What the port list is built from: the system's serial devices, and news of
// devices that come and go. The udev implementation reads the system; tests
// give their own devices.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace fw {

struct SerialDeviceInfo {
  std::string kernel_name;  // "ttyUSB0"
  std::string device_path;  // "/dev/ttyUSB0"
  std::string vendor;       // from the hardware database; may be empty
  std::string model;        // from the hardware database; may be empty
  std::string driver;       // the driver serving the device ("ch341", "cdc_acm", "serial")
};

class SerialDeviceSource {
 public:
  virtual ~SerialDeviceSource() = default;
  // Every present serial device, in no particular order.
  virtual std::vector<SerialDeviceInfo> SerialDevices() = 0;
};

// Tells when a tty or USB device was added or removed.
class DeviceMonitor {
 public:
  virtual ~DeviceMonitor() = default;
  // Readable while events wait; -1 when the monitor could not be started.
  virtual int Fd() const = 0;
  // Reads every waiting event; true when one of them added or removed a device.
  virtual bool TakeEvents() = 0;
};

// The system's serial devices as udev knows them.
std::unique_ptr<SerialDeviceSource> MakeUdevSerialDeviceSource();

// Null, with the reason in error, when udev's monitor cannot be started.
std::unique_ptr<DeviceMonitor> MakeUdevDeviceMonitor(std::string& error);

}  // namespace fw
