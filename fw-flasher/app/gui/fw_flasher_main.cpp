// fw-flasher: the flasher's window. It downloads the firmware of the project it
// carries (or of --project FILE) through the port chosen in its port list.
#include <cstdio>
#include <cstdlib>

#include <QApplication>

#include <CLI/CLI.hpp>

#include "app/gui/start_application.h"
#include "version/version.h"

int main(int argc, char** argv) {
  fw::StartOptions options;
  CLI::App cli{"Firmware flasher: downloads the firmware of its project into the target chip"};
  cli.add_option(
      "--project", options.project_file,
      "Project file: a flasher program or a project block (default: this program's own)");
  cli.add_option("--port", options.port,
                 "Port to add to the port list and select: a device path, a name under /dev, COMn "
                 "or USBn");
  cli.add_flag("--serial-wrap", options.serial_wrap,
               "A serial number that outgrows its length is written as its low bytes (without "
               "it the download stops before erasing)");
  cli.set_version_flag("--version", fw::version::VersionLine("fw-flasher"));
  try {
    cli.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return cli.exit(e) == 0 ? 0 : 2;  // 2: a usage error
  }
  // Without a window system Qt would end the program with an abort.
  if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr &&
      std::getenv("QT_QPA_PLATFORM") == nullptr) {
    std::fprintf(stderr,
                 "fw-flasher: no display to open the window on (DISPLAY is not set); fw-flash does "
                 "the flasher's work without a window\n");
    return 1;
  }
  QApplication application(argc, argv);
  return fw::StartApplication(options);
}
