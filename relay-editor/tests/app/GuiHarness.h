#pragma once
// Starts the real main window in a temporary folder, with scripted dialogs.

#include "ScriptedDialogs.h"
#include "Unit1.h"

#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace relay::app::testing {

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

struct GuiHarness {
  QTemporaryDir folder;
  ScriptedDialogs dialogs;
  std::unique_ptr<TForm1> window;
  std::vector<std::string> systemPorts;  // the serial devices the system has

  std::string path(const char* name) const {
    return (folder.path() + QLatin1Char('/') + QLatin1String(name)).toStdString();
  }
  std::string settingsPath() const { return path("VYL_config.ini"); }
  // Where the window writes its settings at close; the file it reads unless set.
  std::string settingsWritePath;

  TForm1& start(std::vector<std::string> arguments = {}) {
    StartupOptions options;
    options.settings.readFrom = settingsPath();
    options.settings.writeTo = settingsWritePath.empty() ? settingsPath() : settingsWritePath;
    options.programFolder = folder.path().toStdString();
    options.arguments = std::move(arguments);
    options.systemPorts = systemPorts;
    window = std::make_unique<TForm1>(dialogs, options);
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get())) qWarning("main window not exposed");
    return *window;
  }

  // The hex texts of the Program list, in order.
  std::vector<std::string> entries() const { return window->program().HexTexts(); }

  void select(int row) {
    QTreeWidget* list = window->list();
    list->setCurrentItem(list->topLevelItem(row));
  }
};

}  // namespace relay::app::testing
