// The flasher's start: its project, the language, the profile, the login, and
// the window run until it closes.
#pragma once

#include <memory>
#include <string>

namespace fw {

class DeviceMonitor;
class FlasherDialog;
class Profile;
class QtAppDialogs;
class SerialDeviceSource;
class UsbWriterBus;
struct Project;

struct StartOptions {
  std::string project_file;  // empty: the project this program carries
  std::string port;          // --port: added to the port list and selected
  bool serial_wrap = false;  // --serial-wrap: a full serial number keeps its low bytes
  // The serial devices to list; null: the system's.
  SerialDeviceSource* serial_devices = nullptr;
  bool list_usb_writers = true;
  bool watch_devices = true;
};

class FlasherApplication {
 public:
  FlasherApplication();
  ~FlasherApplication();

  // Loads and checks the project (an error box and the end on failure), chooses
  // the language, opens the profile, asks for the login password when the
  // project wants one, and builds the initialised window. False when the
  // program must end; exit_code says how.
  bool Start(const StartOptions& options, int& exit_code);

  // Runs the window until it closes; returns the exit code.
  int Run();

  FlasherDialog& dialog() { return *dialog_; }
  const Project& project() const { return *project_; }

 private:
  std::unique_ptr<Project> project_;
  std::unique_ptr<Profile> profile_;
  std::unique_ptr<SerialDeviceSource> system_devices_;
  std::unique_ptr<UsbWriterBus> usb_writers_;
  std::unique_ptr<DeviceMonitor> device_monitor_;
  std::unique_ptr<QtAppDialogs> dialogs_;
  std::unique_ptr<FlasherDialog> dialog_;
};

// Makes the boxes belong to the window, and the worker's boxes give way to its
// stop button and its close. Before InitDialog, which may start a download.
void AttachDialogs(QtAppDialogs& dialogs, FlasherDialog& dialog);

// The whole start as the program runs it; returns its exit code.
int StartApplication(const StartOptions& options);

}  // namespace fw
