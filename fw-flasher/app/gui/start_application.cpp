#include "app/gui/start_application.h"

#include <cstdio>

#include "app/gui/error_box.h"
#include "app/gui/flasher_dialog.h"
#include "app/gui/login_dialog.h"
#include "app/gui/qt_app_dialogs.h"
#include "app/gui/qt_text.h"
#include "app/project/project.h"
#include "app/project/project_loader.h"
#include "app/run/port_devices.h"
#include "app/run/settings_profile.h"
#include "messages/message_table.h"
#include "target/usb_writer/libusb_writer_bus.h"

namespace fw {
namespace {

constexpr int kExitRefused = 1;

}  // namespace

void AttachDialogs(QtAppDialogs& dialogs, FlasherDialog& dialog) {
  dialogs.SetParent(&dialog);
  // The worker's questions and boxes give up on a stop, so that a stop or a
  // close never waits for a box nobody answers, and the stop takes the boxes
  // away.
  dialogs.SetStopRequested([&dialog] { return dialog.stop_requested(); });
  QObject::connect(&dialog, &FlasherDialog::stopRequested, &dialog,
                   [&dialogs] { dialogs.CloseWorkerBoxes(); });
}

FlasherApplication::FlasherApplication() = default;
FlasherApplication::~FlasherApplication() = default;

bool FlasherApplication::Start(const StartOptions& options, int& exit_code) {
  exit_code = kExitRefused;
  ProjectLoadResult loaded =
      options.project_file.empty() ? LoadOwnProject() : LoadProjectFile(options.project_file);
  if (!loaded.project) {
    // What went wrong in detail is for whoever looks at the terminal; the box
    // says it in the words of the start-up errors, in Chinese as before the
    // project chooses a language.
    std::fprintf(stderr, "fw-flasher: %s%s%s\n", options.project_file.c_str(),
                 options.project_file.empty() ? "" : ": ", loaded.reason.c_str());
    ShowError(nullptr, MessageText(loaded.message_id, kLanguageChinese));
    return false;
  }
  project_ = std::make_unique<Project>(std::move(*loaded.project));
  const int language = LanguageFromProjectString(project_->String(ProjectStringId::kLanguage));
  profile_ = std::make_unique<SettingsProfile>(project_->String(ProjectStringId::kApplicationName));

  if (project_->string_settings.login_required) {
    switch (RunLogin(*project_, language)) {
      case LoginOutcome::kPassed:
        break;
      case LoginOutcome::kCancelled:
        exit_code = 0;
        return false;
      case LoginOutcome::kWrongPassword:
        return false;
    }
  }

  FlasherDialogParts parts;
  parts.project = project_.get();
  parts.language = language;
  parts.profile = profile_.get();
  parts.command_line_port = options.port;
  parts.serial_wrap = options.serial_wrap;
  if (options.serial_devices != nullptr) {
    parts.serial_devices = options.serial_devices;
  } else {
    system_devices_ = MakeUdevSerialDeviceSource();
    parts.serial_devices = system_devices_.get();
  }
  if (options.list_usb_writers) {
    std::string error;
    usb_writers_ = MakeLibusbWriterBus(error);
    if (!usb_writers_)
      std::fprintf(stderr, "fw-flasher: USB writers are not listed: %s\n", error.c_str());
    parts.usb_writers = usb_writers_.get();
  }
  if (options.watch_devices) {
    std::string error;
    device_monitor_ = MakeUdevDeviceMonitor(error);
    if (!device_monitor_)
      std::fprintf(stderr, "fw-flasher: the port list will not follow devices: %s\n",
                   error.c_str());
    parts.device_monitor = device_monitor_.get();
  }
  dialogs_ = std::make_unique<QtAppDialogs>(language);
  parts.dialogs = dialogs_.get();
  dialog_ = std::make_unique<FlasherDialog>(parts);
  AttachDialogs(*dialogs_, *dialog_);
  dialog_->InitDialog();
  exit_code = 0;
  return true;
}

int FlasherApplication::Run() {
  dialog_->exec();
  return 0;
}

int StartApplication(const StartOptions& options) {
  FlasherApplication application;
  int exit_code = 0;
  if (!application.Start(options, exit_code)) return exit_code;
  return application.Run();
}

}  // namespace fw
