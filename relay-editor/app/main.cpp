// relay-editor [FILE.vyl]: composes the relay controller's program, keeps it
// in project files and writes it to the controller over a serial port.

#include "PortList.h"
#include "QtDialogs.h"
#include "QtTexts.h"
#include "SettingsFile.h"
#include "Skin.h"
#include "Unit1.h"

#include "version/Version.h"

#include <QApplication>
#include <QStandardPaths>

#include <cstdio>
#include <cstring>

int main(int argc, char* argv[]) {
  // Answered before the window system is needed, so it works without a display.
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::puts(relay::version::VersionLine("relay-editor").c_str());
    return 0;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationVersion(QString::fromStdString(relay::version::VersionText()));
  QApplication::setOrganizationName(QStringLiteral("Horvane"));
  QApplication::setApplicationName(QStringLiteral("relay-editor"));
  // Ties the window to the installed relay-editor.desktop, whose icon the desktop shows.
  QGuiApplication::setDesktopFileName(QStringLiteral("relay-editor"));
  relay::app::InstallQtChineseTexts(app);
  relay::app::ApplySkin(app);

  relay::app::StartupOptions options;
  options.programFolder = QCoreApplication::applicationDirPath().toStdString();
  options.settings = relay::app::ChooseSettingsFiles(
      options.programFolder,
      QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation).toStdString());
  for (int i = 1; i < argc; ++i) options.arguments.emplace_back(argv[i]);
  options.systemPorts = relay::app::SystemSerialPorts();

  relay::app::QtDialogs dialogs;
  relay::app::TForm1 window(dialogs, std::move(options));
  dialogs.setParent(&window);
  window.show();
  return app.exec();
}
