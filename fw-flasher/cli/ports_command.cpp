#include "cli/ports_command.h"

#include <optional>

#include "app/project/project_loader.h"
#include "app/run/port_list.h"
#include "app/run/settings_profile.h"

namespace fw {

bool ListPorts(const PortsOptions& options, SerialDeviceSource& devices, UsbWriterBus* writers,
               std::FILE* out, std::string& error) {
  // The project's fixed entry and profile; a program that carries no project
  // has neither.
  const ProjectLoadResult loaded =
      options.project_file.empty() ? LoadOwnProject() : LoadProjectFile(options.project_file);
  if (!loaded.project && !options.project_file.empty()) {
    error = options.project_file + ": " + loaded.reason;
    return false;
  }
  std::optional<SettingsProfile> profile;
  if (loaded.project) profile.emplace(loaded.project->String(ProjectStringId::kApplicationName));
  const PortChoice choice = PortChoiceOf(loaded.project ? &*loaded.project : nullptr,
                                         profile ? &*profile : nullptr, options.port);
  const PortList list = RefreshPortList(devices, writers, choice);
  for (std::size_t i = 0; i < list.entries.size(); ++i) {
    const bool selected = static_cast<int>(i) == list.selected;
    std::fprintf(out, "%s%s\n", selected ? "* " : "  ", list.entries[i].display_text.c_str());
  }
  return true;
}

}  // namespace fw
