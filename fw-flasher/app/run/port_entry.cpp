#include "app/run/port_entry.h"

#include <strings.h>
#include <cerrno>
#include <cstdlib>
#include <utility>

#include "app/project/project.h"
#include "app/run/profile.h"

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

std::optional<PortEntry> PortEntryOfName(const std::string& name) {
  constexpr std::size_t kPrefixLength = 3;
  if (name.size() < kPrefixLength || strncasecmp(name.c_str(), "USB", kPrefixLength) != 0) {
    return SerialPortEntry(name);
  }
  const std::string number = name.substr(kPrefixLength);
  // strtoul would take a sign or blanks; a writer number is digits only.
  if (number.empty() || number.find_first_not_of("0123456789abcdefABCDEFxX") != std::string::npos) {
    return std::nullopt;
  }
  errno = 0;
  char* end = nullptr;
  const unsigned long n = std::strtoul(number.c_str(), &end, 0);
  if (errno != 0 || end == nullptr || *end != '\0' || n < 1 || n > kFirstWriterIndex) {
    return std::nullopt;
  }
  return UsbWriterEntry(static_cast<int>(n));
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
  if (project.string_settings.auto_start) {
    return project.string_settings.fixed_port_index;
  }
  const int stored = profile.ReadInt(profile_keys::kMainComx, 0);
  return stored >= 0 ? static_cast<unsigned long>(stored) : 0;
}

}  // namespace fw
