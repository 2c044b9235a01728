#include "app/port_entry.h"

#include <utility>

#include "app/profile.h"
#include "app/project.h"

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

PortEntry PortEntryOfIndex(unsigned long index) {
  // At most 255 writers follow the serial ports; an index beyond the list is COM1.
  constexpr unsigned long kLastIndex = 2 * kFirstWriterIndex - 1;
  if (index > kLastIndex) index = 0;
  if (index >= kFirstWriterIndex)
    return UsbWriterEntry(static_cast<int>(index - kFirstWriterIndex + 1));
  return SerialPortEntry("COM" + std::to_string(index + 1));
}

unsigned long StoredPortIndex(const Project& project, Profile& profile) {
  if (project.String(ProjectStringId::kAutoStart) == "1") {
    return project.string_settings.fixed_port_index;
  }
  const int stored = profile.ReadInt(profile_keys::kMainComx, 0);
  return stored >= 0 ? static_cast<unsigned long>(stored) : 0;
}

}  // namespace fw
