// One entry of the port list: what the user sees, and what the download opens.
// The worker takes the link from the entry's kind and device path or writer
// number, never from its display text.
#pragma once

#include <optional>
#include <string>

#include "isp/link/serial_settings.h"

namespace fw {

struct PortEntry {
  LinkKind kind = LinkKind::kSerialPort;
  // Serial port: a device path, a name under /dev, or "COMn" (/dev/ttyS(n-1)).
  std::string device_path;
  // USB writer: 1 for the first writer found.
  int writer_number = 0;
  // For the user only, e.g. "USB-Serial CH340 (ttyUSB0)" or "QMV USB Writer (USB1)".
  std::string display_text;
};

// A serial port entry; the display text is the path when none is given.
PortEntry SerialPortEntry(std::string device_path, std::string display_text = {});

// The entry of USB writer `number`: "QMV USB Writer (USB<number>)".
PortEntry UsbWriterEntry(int number);

// The entry a port name gives, as on fw-flash's command line: "USB" in any case
// followed by a number (decimal, 0x hexadecimal or 0 octal) from 1 to 255 names
// that USB writer; any other name a serial port. None for "USB" with anything
// else after it.
std::optional<PortEntry> PortEntryOfName(const std::string& name);

// The port-list index of the first USB writer: the 255 serial ports COM1 to
// COM255 come first.
constexpr unsigned long kFirstWriterIndex = 255;

// The entry a stored port-list index names: below 255 the serial port
// COM(index + 1), which is /dev/ttyS(index); from 255 to 509 writer
// index - 254; beyond the list COM1.
PortEntry PortEntryOfIndex(unsigned long index);

class Profile;
struct Project;

// The index to preselect without a better candidate: project string 15 when
// string 14 is "1", else the profile's "Main_COMx" (0 when absent or negative).
unsigned long StoredPortIndex(const Project& project, Profile& profile);

}  // namespace fw
