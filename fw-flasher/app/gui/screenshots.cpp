// fw-flasher-shots DIR PROJECT PASS_PORT FAIL_PORT: draws the flasher's window
// for the project in English and Chinese and saves each picture into DIR: idle
// with none, one and two serial numbers, then with one serial number while a
// download waits for a chip that does not answer (a pseudo-terminal of its
// own), after a download that passed (into the chip on PASS_PORT) and after
// one that failed (the chip on FAIL_PORT falls silent). scripts/screenshots
// runs it under a virtual X server with the simulated chips.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
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
#include "app/run/download_run.h"
#include "app/run/port_devices.h"
#include "app/run/profile_counters.h"
#include "app/run/settings_profile.h"

namespace {

// A download that does not end by itself ends after this long.
constexpr int kDownloadWaitMs = 60000;
// Long enough for the window to draw what it was last told.
constexpr int kSettleMs = 300;

// The same ports on every machine, so that the pictures do not depend on it;
// the cable's adapter opens the given device.
class ShownPorts final : public fw::SerialDeviceSource {
 public:
  explicit ShownPorts(std::string cable = "/dev/ttyUSB0") : cable_(std::move(cable)) {}
  std::vector<fw::SerialDeviceInfo> SerialDevices() override {
    return {{"ttyS0", "/dev/ttyS0", "", "", "serial"},
            {"ttyUSB0", cable_, "Acme Cables", "CH340 serial converter", "ch341"}};
  }

 private:
  std::string cable_;
};

// A line with nobody on it: a download waits for the chip there.
class SilentLine {
 public:
  SilentLine() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    const char* name = ptsname(master_);
    if (name != nullptr) path_ = name;
  }
  ~SilentLine() {
    if (master_ >= 0) close(master_);
  }
  SilentLine(const SilentLine&) = delete;
  SilentLine& operator=(const SilentLine&) = delete;
  const std::string& path() const { return path_; }

 private:
  int master_ = -1;
  std::string path_;
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

bool Save(fw::FlasherDialog& dialog, const QString& path) {
  const bool saved = dialog.grab().save(path);
  std::printf("%s %s\n", saved ? "saved" : "FAILED", path.toLocal8Bit().constData());
  return saved;
}

// What is done with the shown window before its picture is taken.
using Action = std::function<void(fw::FlasherDialog&)>;

// One picture of the window for the project in the language, on the ports.
bool Shoot(const fw::Project& project, bool chinese, fw::SerialDeviceSource& ports,
           const Action& action, const QString& path) {
  const int language = chinese ? 1 : 0;
  fw::SettingsProfile profile(project.String(fw::ProjectStringId::kApplicationName));
  std::string reason;
  if (!profile.Write(fw::CounterChanges(17, {}), reason)) {
    std::fprintf(stderr, "fw-flasher-shots: %s: %s\n", profile.file_path().c_str(), reason.c_str());
    return false;
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
  QTest::qWait(kSettleMs);
  if (action) action(dialog);
  QTest::qWait(kSettleMs);
  const bool saved = Save(dialog, path);
  dialog.StopDownload();
  return saved;
}

void DownloadToEnd(fw::FlasherDialog& dialog) {
  dialog.StartDownload(fw::RunMode::kOnce);
  for (int waited = 0; dialog.run().busy() && waited < kDownloadWaitMs; waited += 50)
    QTest::qWait(50);
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  if (argc != 5) {
    std::fprintf(stderr, "usage: fw-flasher-shots DIR PROJECT PASS_PORT FAIL_PORT\n");
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
  SilentLine silent;
  if (silent.path().empty()) {
    std::fprintf(stderr, "fw-flasher-shots: no pseudo-terminal for the waiting window\n");
    return 1;
  }

  bool ok = true;
  for (const bool chinese : {false, true}) {
    const QString language = chinese ? QStringLiteral("zh") : QStringLiteral("en");
    const auto path = [&](const QString& what) {
      return QStringLiteral("%1/flasher-%2-%3.png").arg(dir, language, what);
    };
    ShownPorts idle_ports;
    for (int serials = 0; serials <= 2; ++serials) {
      ok = Shoot(Variant(*loaded.project, chinese, serials), chinese, idle_ports, {},
                 path(QStringLiteral("%1-serial").arg(serials))) &&
           ok;
    }
    const fw::Project project = Variant(*loaded.project, chinese, 1);
    ShownPorts waiting_ports(silent.path());
    ok = Shoot(
             project, chinese, waiting_ports,
             [](fw::FlasherDialog& d) {
               d.StartDownload(fw::RunMode::kOnce);
               QTest::qWait(1000);
             },
             path(QStringLiteral("waiting"))) &&
         ok;
    ShownPorts pass_ports(argv[3]);
    ok = Shoot(project, chinese, pass_ports, DownloadToEnd, path(QStringLiteral("passed"))) && ok;
    ShownPorts fail_ports(argv[4]);
    ok = Shoot(project, chinese, fail_ports, DownloadToEnd, path(QStringLiteral("failed"))) && ok;
  }
  return ok ? 0 : 1;
}
