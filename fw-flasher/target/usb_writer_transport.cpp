#include "target/usb_writer_transport.h"

#include <algorithm>
#include <cstdio>

namespace fw {

std::string UsbWriterLocation::Text() const {
  std::string text = std::to_string(bus);
  for (std::size_t k = 0; k < port_path.size(); ++k) {
    text += k == 0 ? '-' : '.';
    text += std::to_string(port_path[k]);
  }
  return text;
}

std::string UsbWriterLocation::DeviceNode() const {
  char node[32];
  std::snprintf(node, sizeof node, "/dev/bus/usb/%03d/%03d", bus & 0xFFFF, address & 0xFFFF);
  return node;
}

std::strong_ordering UsbWriterLocation::operator<=>(const UsbWriterLocation& other) const {
  if (auto order = bus <=> other.bus; order != 0) return order;
  return std::lexicographical_compare_three_way(port_path.begin(), port_path.end(),
                                                other.port_path.begin(), other.port_path.end());
}

bool UsbWriterLocation::operator==(const UsbWriterLocation& other) const {
  return (*this <=> other) == 0;
}

}  // namespace fw
