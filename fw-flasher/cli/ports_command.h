// fw-flash ports: the port list as the flasher's window builds it.
#pragma once

#include <cstdio>
#include <string>

namespace fw {

class SerialDeviceSource;
class UsbWriterBus;

struct PortsOptions {
  std::string project_file;  // empty: the project this program carries, if any
  std::string port;          // --port: added and selected as in the window
};

// The preselection reads the project's fixed port and the stored port index of
// its profile ("Main_COMx"), as the window does. Writes one entry a line, the preselected one
// marked with "* ", the others indented by two blanks. writers may be null (no USB). Returns false
// with error set when the project file cannot be used.
bool ListPorts(const PortsOptions& options, SerialDeviceSource& devices, UsbWriterBus* writers,
               std::FILE* out, std::string& error);

}  // namespace fw
