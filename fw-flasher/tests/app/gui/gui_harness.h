// The flasher's real window on the offscreen platform, built from a project
// made in the test, with a profile in memory, scripted questions and the
// serial devices the test gives.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include "app/gui/flasher_dialog.h"
#include "app/gui/qt_app_dialogs.h"
#include "app/gui/start_application.h"
#include "app/project/gbk_text.h"
#include "app/project/project.h"
#include "app/run/port_devices.h"
#include "app/run/serial_numbers.h"
#include "messages/message_table.h"
#include "tests/app/run/app_fakes.h"

namespace fw::test {

class ListedDevices final : public SerialDeviceSource {
 public:
  std::vector<SerialDeviceInfo> devices;
  std::vector<SerialDeviceInfo> SerialDevices() override { return devices; }
};

// A project with its strings given in UTF-8 (stored as GBK, as a project
// carries them) and the first `serials` serial numbers enabled (BCD, 4 bytes
// at 0x100 and 0x110, starting at 100 and 200).
inline Project MakeProject(const std::vector<std::string>& strings_utf8, int serials = 0) {
  Project p;
  for (const std::string& s : strings_utf8) p.strings.push_back(Utf8ToGbk(s).value_or(""));
  for (int n = 0; n < serials && n < 2; ++n) {
    SerialNumberSettings& s = p.serial_numbers[static_cast<std::size_t>(n)];
    s.enabled = true;
    s.length = 4;
    s.address = 0x100 + 0x10 * n;
    s.start = SerialValue::FromUnsigned64(100 * static_cast<std::uint64_t>(n + 1));
    s.step = SerialValue::FromUnsigned64(1);
    s.format = static_cast<std::uint8_t>(kSerialBcd);
  }
  p.string_settings = ReadStringSettings(p);
  return p;
}

// Project strings 0 to 13 of a Chinese or English project.
inline std::vector<std::string> ProjectStrings(bool chinese,
                                               const std::string& third_caption = "") {
  return {chinese ? "CH" : "EN", "Flasher title", "Go", "First no.",  "Initial log\r\nline 2\r\n",
          "1,9,0,255",           "Again",         "",   "",           "CHIP",
          "Second no.",          "TestApp",       "0",  third_caption};
}

struct GuiHarness {
  Project project;
  bool project_loaded = true;
  int language = kLanguageEnglish;
  MemoryProfile profile;
  std::unique_ptr<ScriptedDialogs> dialogs = std::make_unique<ScriptedDialogs>(true);
  // Set: the questions and boxes are real message boxes, as the program has them.
  bool message_boxes = false;
  std::unique_ptr<QtAppDialogs> boxes;
  ListedDevices devices;
  DeviceMonitor* monitor = nullptr;
  std::string command_line_port;
  bool serial_wrap = false;
  std::unique_ptr<FlasherDialog> dialog;

  FlasherDialog& Start() {
    FlasherDialogParts parts;
    parts.project = project_loaded ? &project : nullptr;
    parts.language = language;
    parts.profile = &profile;
    if (message_boxes) boxes = std::make_unique<QtAppDialogs>(language);
    parts.dialogs = message_boxes ? static_cast<AppDialogs*>(boxes.get()) : dialogs.get();
    parts.serial_devices = &devices;
    parts.device_monitor = monitor;
    parts.command_line_port = command_line_port;
    parts.serial_wrap = serial_wrap;
    dialog = std::make_unique<FlasherDialog>(parts);
    if (boxes) AttachDialogs(*boxes, *dialog);
    dialog->InitDialog();
    dialog->show();
    if (!QTest::qWaitForWindowExposed(dialog.get())) qWarning("window not exposed");
    return *dialog;
  }
};

// Runs `answer` on the next modal window that opens (a box or a dialog run
// with exec), from the event loop that runs it. Gives up after a few seconds.
inline void OnNextModal(std::function<void(QWidget*)> answer) {
  auto* poll = new QTimer;
  auto tries = std::make_shared<int>(0);
  QObject::connect(poll, &QTimer::timeout, [poll, tries, answer = std::move(answer)] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr && ++*tries < 300) return;
    poll->stop();
    poll->deleteLater();
    if (modal != nullptr) answer(modal);
  });
  poll->start(10);
}

}  // namespace fw::test
