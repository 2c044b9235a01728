#include "app/port_entry.h"

#include <utility>

namespace fw {

PortEntry SerialPortEntry(std::string device_path, std::string display_text) {
  PortEntry entry;
  entry.kind = LinkKind::kSerialPort;
  entry.display_text = display_text.empty() ? device_path : std::move(display_text);
  entry.device_path = std::move(device_path);
  return entry;
}

PortEntry UsbWriterEntry(int number) {
  PortEntry entry;
  entry.kind = LinkKind::kUsbWriter;
  entry.writer_number = number;
  entry.display_text = "QMV USB Writer (USB" + std::to_string(number) + ")";
  return entry;
}

}  // namespace fw
