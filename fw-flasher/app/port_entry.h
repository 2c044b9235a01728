// One entry of the port list: what the user sees and what the download opens.
#pragma once

#include <string>

namespace fw {

enum class PortKind {
  kSerial,     // a serial device or any terminal path
  kUsbWriter,  // the chip maker's USB writer
};

struct PortEntry {
  PortKind kind = PortKind::kSerial;
  std::string device_path;  // serial: the path the port opens
  int writer_number = 0;    // USB writer: 1 for the first writer found
  std::string display_text;

  friend bool operator==(const PortEntry&, const PortEntry&) = default;
};

}  // namespace fw
