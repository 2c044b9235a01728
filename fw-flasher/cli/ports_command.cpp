#include "cli/ports_command.h"

#include <optional>

#include "app/port_list.h"
#include "app/project_loader.h"

namespace fw {

bool ListPorts(const PortsOptions& options, SerialDeviceSource& devices, UsbWriterBus* writers,
               std::FILE* out, std::string& error) {
  PortChoice choice;
  choice.stored_index = options.stored_index;
  choice.command_line_port = options.port;
  // The project's fixed entry; a program that carries no project has none.
  const ProjectLoadResult loaded =
      options.project_file.empty() ? LoadOwnProject() : LoadProjectFile(options.project_file);
  if (!loaded.project && !options.project_file.empty()) {
    error = options.project_file + ": " + loaded.reason;
    return false;
  }
  if (loaded.project && loaded.project->string_settings.auto_start)
    choice.fixed_index = loaded.project->string_settings.fixed_port_index;

  const PortList list = RefreshPortList(devices, writers, choice);
  for (std::size_t i = 0; i < list.entries.size(); ++i) {
    const bool selected = static_cast<int>(i) == list.selected;
    std::fprintf(out, "%s%s\n", selected ? "* " : "  ", list.entries[i].display_text.c_str());
  }
  return true;
}

}  // namespace fw
