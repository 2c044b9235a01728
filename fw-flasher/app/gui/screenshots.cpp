// fw-flasher-shots DIR PROJECT: draws the flasher's window for the project in
// English and Chinese, with none, one and two serial numbers, and saves each
// picture into DIR. scripts/screenshots runs it under a virtual X server.
#include <cstdio>
#include <string>
#include <vector>

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTest>

#include "app/gui/flasher_dialog.h"
#include "app/gui/qt_app_dialogs.h"
#include "app/project/gbk_text.h"
#include "app/project/project.h"
#include "app/project/project_loader.h"
#include "app/run/port_devices.h"
#include "app/run/profile_counters.h"
#include "app/run/settings_profile.h"

namespace {

// The same ports on every machine, so that the pictures do not depend on it.
class ShownPorts final : public fw::SerialDeviceSource {
 public:
  std::vector<fw::SerialDeviceInfo> SerialDevices() override {
    return {{"ttyS0", "/dev/ttyS0", "", "", "serial"},
            {"ttyUSB0", "/dev/ttyUSB0", "Acme Cables", "CH340 serial converter", "ch341"}};
  }
};

void SetString(fw::Project& project, fw::ProjectStringId id, const std::string& utf8) {
  const auto k = static_cast<std::size_t>(id);
  if (project.strings.size() <= k) project.strings.resize(k + 1);
  project.strings[k] = fw::Utf8ToGbk(utf8).value_or(std::string());
}

// The project with its texts in one language and the first `serials` serial
// numbers enabled.
fw::Project Variant(fw::Project project, bool chinese, int serials) {
  using Id = fw::ProjectStringId;
  SetString(project, Id::kLanguage, chinese ? "CH" : "EN");
  SetString(project, Id::kTitle, chinese ? "继电器控制器固件下载" : "Relay controller firmware");
  SetString(project, Id::kStartOnceCaption, chinese ? "下载" : "Download");
  SetString(project, Id::kStartRepeatCaption, chinese ? "重复下载" : "Repeat");
  SetString(project, Id::kSerial1Label, chinese ? "序列号" : "Serial no.");
  SetString(project, Id::kSerial2Label, chinese ? "批号" : "Batch no.");
  SetString(project, Id::kInitialLog,
            chinese
                ? "继电器控制器固件 1.0\r\n按\"下载\"后给目标芯片上电。\r\n"
                : "Relay controller firmware 1.0\r\nPress Download, then power the target.\r\n");
  for (int n = 0; n < 2; ++n) {
    fw::SerialNumberSettings& serial = project.serial_numbers[static_cast<std::size_t>(n)];
    serial.enabled = n < serials;
    if (serial.enabled && serial.length == 0) {
      serial.length = 4;
      serial.address = 0x0200;
      serial.start = fw::SerialValue::FromUnsigned64(20240001);
      serial.step = fw::SerialValue::FromUnsigned64(1);
    }
  }
  return project;
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: fw-flasher-shots DIR PROJECT\n");
    return 2;
  }
  const QString dir = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(dir);
  QTemporaryDir profiles;
  qputenv("XDG_CONFIG_HOME", profiles.path().toLocal8Bit());
  fw::ProjectLoadResult loaded = fw::LoadProjectFile(argv[2]);
  if (!loaded.project) {
    std::fprintf(stderr, "fw-flasher-shots: %s: %s\n", argv[2], loaded.reason.c_str());
    return 1;
  }

  bool ok = true;
  ShownPorts ports;
  for (const bool chinese : {false, true}) {
    for (int serials = 0; serials <= 2; ++serials) {
      const fw::Project project = Variant(*loaded.project, chinese, serials);
      const int language = chinese ? 1 : 0;
      fw::SettingsProfile profile(project.String(fw::ProjectStringId::kApplicationName));
      std::string reason;
      if (!profile.Write(fw::CounterChanges(17, {}), reason)) {
        std::fprintf(stderr, "fw-flasher-shots: %s: %s\n", profile.file_path().c_str(),
                     reason.c_str());
        return 1;
      }
      fw::QtAppDialogs dialogs(language);
      fw::FlasherDialogParts parts;
      parts.project = &project;
      parts.language = language;
      parts.profile = &profile;
      parts.dialogs = &dialogs;
      parts.serial_devices = &ports;
      fw::FlasherDialog dialog(parts);
      dialogs.SetParent(&dialog);
      dialog.InitDialog();
      dialog.show();
      QTest::qWait(200);
      const QString path = QStringLiteral("%1/flasher-%2-%3-serial.png")
                               .arg(dir, chinese ? QStringLiteral("zh") : QStringLiteral("en"))
                               .arg(serials);
      const bool saved = dialog.grab().save(path);
      std::printf("%s %s\n", saved ? "saved" : "FAILED", path.toLocal8Bit().constData());
      ok = ok && saved;
    }
  }
  return ok ? 0 : 1;
}
