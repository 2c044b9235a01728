// The port list: every present serial device, then every attached USB writer,
// and the entry preselected as the most likely download cable.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "app/run/port_devices.h"
#include "app/run/port_entry.h"

namespace fw {

class UsbWriterBus;

struct PortChoice {
  long stored_index = 0;  // the profile's "Main_COMx"
  // The project's fixed entry (strings 14 and 15); it wins over the stored
  // index and the cable preference.
  std::optional<unsigned long> fixed_index;
  // --port on the command line: a device path, a name under /dev, COMn, or USBn
  // for the n-th writer. It wins over everything else.
  std::string command_line_port;
};

class Profile;
struct Project;

// The choice a project (null: none), its profile (null: none) and the command
// line make.
PortChoice PortChoiceOf(const Project* project, Profile* profile, std::string command_line_port);

struct PortList {
  std::vector<PortEntry> entries;
  int selected = -1;  // -1 only when the list is empty

  const PortEntry* Selected() const;
};

// "Acme Cables CH340 serial converter (ttyUSB0)": vendor and model from
// the hardware database, else the driver's name, then the device's own name.
std::string SerialDisplayText(const SerialDeviceInfo& device);

// The device a stored index names (PortEntryOfIndex), a serial port by its
// device path (/dev/ttyS(index)) so that it matches the devices found.
PortEntry PortOfStoredIndex(unsigned long index);

// Builds the list from the devices found: serial devices ordered by kind and
// number ("ttyACM0", "ttyS0", "ttyS2", "ttyS10", "ttyUSB0"), then writers 1 to
// writer_count. Preselection, each rule overriding the ones before it: the
// stored index when it names a present device; the last serial device served
// by a download cable's driver; the last writer; the fixed entry (added when
// its device is absent); the command-line port (added when absent). Without a
// candidate the first entry is selected.
PortList BuildPortList(std::vector<SerialDeviceInfo> devices, std::size_t writer_count,
                       const PortChoice& choice);

// The same from what the system has now; writers is null when USB cannot be
// used.
PortList RefreshPortList(SerialDeviceSource& devices, UsbWriterBus* writers,
                         const PortChoice& choice);

}  // namespace fw
