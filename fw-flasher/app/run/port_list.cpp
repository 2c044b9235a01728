#include "app/run/port_list.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <tuple>

#include "app/project/project.h"
#include "app/run/profile.h"
#include "isp/link/termios_port.h"
#include "target/usb_writer/usb_writer_transport.h"

namespace fw {
namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

// The drivers of the USB-serial adapters that download cables are built on.
bool IsDownloadCableDriver(std::string_view driver) {
  for (std::string_view cable : {"ch341", "ch341-uart", "pl2303"})
    if (EqualsIgnoringCase(driver, cable)) return true;
  return false;
}

// "ttyS10" sorts as ("ttyS", 10): by kind, then by number.
std::tuple<std::string, unsigned long, std::string> SortKey(const std::string& name) {
  std::size_t digits = name.size();
  while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1]))) --digits;
  const std::string number = name.substr(digits);
  // More digits than a number holds sort after every shorter number.
  const unsigned long value = number.empty() || number.size() > 9 ? ~0ul : std::stoul(number);
  return {name.substr(0, digits), value, name};
}

bool SamePort(const PortEntry& a, const PortEntry& b) {
  if (a.kind != b.kind) return false;
  return a.kind == LinkKind::kUsbWriter ? a.writer_number == b.writer_number
                                        : a.device_path == b.device_path;
}

int IndexOf(const std::vector<PortEntry>& entries, const PortEntry& port) {
  for (std::size_t i = 0; i < entries.size(); ++i)
    if (SamePort(entries[i], port)) return static_cast<int>(i);
  return -1;
}

// Selects the port, adding it at the end when it is not in the list.
int SelectOrAdd(std::vector<PortEntry>& entries, const PortEntry& port) {
  const int found = IndexOf(entries, port);
  if (found >= 0) return found;
  entries.push_back(port);
  return static_cast<int>(entries.size() - 1);
}

// A writer name ("USB2") names that writer, as on fw-flash's command line;
// anything else is a serial port name.
PortEntry CommandLinePort(const std::string& name) {
  if (const std::optional<PortEntry> entry = PortEntryOfName(name);
      entry && entry->kind == LinkKind::kUsbWriter) {
    return *entry;
  }
  return SerialPortEntry(ResolvePortName(name));
}

}  // namespace

const PortEntry* PortList::Selected() const {
  if (selected < 0 || static_cast<std::size_t>(selected) >= entries.size()) return nullptr;
  return &entries[static_cast<std::size_t>(selected)];
}

std::string SerialDisplayText(const SerialDeviceInfo& device) {
  std::string name = device.vendor;
  if (!device.model.empty()) name += (name.empty() ? "" : " ") + device.model;
  if (name.empty()) name = device.driver;
  return name.empty() ? device.kernel_name : name + " (" + device.kernel_name + ")";
}

PortEntry PortOfStoredIndex(unsigned long index) {
  const PortEntry entry = PortEntryOfIndex(index);
  if (entry.kind != LinkKind::kSerialPort) return entry;
  return SerialPortEntry(ResolvePortName(entry.device_path));
}

PortChoice PortChoiceOf(const Project* project, Profile* profile, std::string command_line_port) {
  PortChoice choice;
  if (project != nullptr && project->string_settings.auto_start)
    choice.fixed_index = project->string_settings.fixed_port_index;
  if (profile != nullptr) choice.stored_index = profile->ReadInt(profile_keys::kMainComx, 0);
  choice.command_line_port = std::move(command_line_port);
  return choice;
}

PortList BuildPortList(std::vector<SerialDeviceInfo> devices, std::size_t writer_count,
                       const PortChoice& choice) {
  std::sort(devices.begin(), devices.end(), [](const auto& a, const auto& b) {
    return SortKey(a.kernel_name) < SortKey(b.kernel_name);
  });
  PortList list;
  int preferred = -1;
  if (choice.stored_index >= 0) {
    const PortEntry stored = PortOfStoredIndex(static_cast<unsigned long>(choice.stored_index));
    if (stored.kind == LinkKind::kSerialPort) {
      for (std::size_t i = 0; i < devices.size(); ++i)
        if (devices[i].device_path == stored.device_path) preferred = static_cast<int>(i);
    } else if (static_cast<std::size_t>(stored.writer_number) <= writer_count) {
      preferred = static_cast<int>(devices.size()) + stored.writer_number - 1;
    }
  }
  for (const SerialDeviceInfo& device : devices) {
    if (IsDownloadCableDriver(device.driver)) preferred = static_cast<int>(list.entries.size());
    list.entries.push_back(SerialPortEntry(device.device_path, SerialDisplayText(device)));
  }
  for (std::size_t k = 1; k <= writer_count; ++k) {
    preferred = static_cast<int>(list.entries.size());
    list.entries.push_back(UsbWriterEntry(static_cast<int>(k)));
  }
  if (choice.fixed_index)
    preferred = SelectOrAdd(list.entries, PortOfStoredIndex(*choice.fixed_index));
  if (!choice.command_line_port.empty())
    preferred = SelectOrAdd(list.entries, CommandLinePort(choice.command_line_port));
  if (preferred < 0 || static_cast<std::size_t>(preferred) >= list.entries.size()) preferred = 0;
  list.selected = list.entries.empty() ? -1 : preferred;
  return list;
}

PortList RefreshPortList(SerialDeviceSource& devices, UsbWriterBus* writers,
                         const PortChoice& choice) {
  const std::size_t writer_count =
      writers != nullptr ? writers->Enumerate(kUsbWriterVendorId, kUsbWriterProductId).size() : 0;
  return BuildPortList(devices.SerialDevices(), writer_count, choice);
}

}  // namespace fw
