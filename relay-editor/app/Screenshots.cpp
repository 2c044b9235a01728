// relay-editor-shots DIR [FILE.vyl]: opens the editor's real windows one after
// the other, with the project file loaded, and saves a picture of each into DIR.
// scripts/screenshots runs it under a virtual X server.

#include "IO.h"
#include "QtDialogs.h"
#include "QtTexts.h"
#include "SettingsFile.h"
#include "Skin.h"
#include "Unit1.h"
#include "Unit4.h"
#include "ptimes.h"
#include "xunhuan.h"

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <cstdio>

namespace {

bool Save(QWidget* window, const QString& path) {
  QTest::qWait(300);
  QApplication::processEvents();
  const QPixmap picture =
      window->screen()->grabWindow(0, window->x(), window->y(), window->width(), window->height());
  const bool ok = picture.save(path);
  std::printf("%s %s\n", ok ? "saved" : "FAILED", path.toLocal8Bit().constData());
  return ok;
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: relay-editor-shots DIR [FILE.vyl]\n");
    return 2;
  }
  relay::app::InstallQtChineseTexts(app);
  relay::app::ApplySkin(app);
  const QString dir = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(dir);
  QTemporaryDir settings;
  relay::app::StartupOptions options;
  const std::string settingsFile =
      (settings.path() + QStringLiteral("/VYL_config.ini")).toStdString();
  options.settings = {settingsFile, settingsFile};
  options.programFolder = settings.path().toStdString();
  if (argc > 2) options.arguments.emplace_back(argv[2]);

  relay::app::QtDialogs dialogs;
  relay::app::TForm1 window(dialogs, options);
  dialogs.setParent(&window);
  window.show();
  window.move(40, 40);
  bool ok = Save(&window, dir + QStringLiteral("/main-window.png"));

  const struct {
    int row;
    const char* button;
    const char* file;
  } editors[] = {
      {0, "IO类动作", "io-action-editor.png"},
      {1, "定时器", "timer-editor.png"},
      {8, "循环类动作", "loop-editor.png"},
      {4, "串口类动作", "serial-trigger-editor.png"},
  };
  for (const auto& e : editors) {
    if (QTreeWidgetItem* item = window.list()->topLevelItem(e.row))
      window.list()->setCurrentItem(item);
    window.button(QString::fromUtf8(e.button))->click();
    QWidget* editor = QApplication::activeWindow();
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w != &window && w->isVisible() && w->inherits("relay::app::EditorWindow")) editor = w;
    ok = Save(editor, dir + QLatin1Char('/') + QLatin1String(e.file)) && ok;
    static_cast<relay::app::EditorWindow*>(editor)->finish();
  }

  window.pages()->setCurrentIndex(1);
  ok = Save(&window, dir + QStringLiteral("/settings-page.png")) && ok;
  window.pages()->setCurrentIndex(0);
  window.commands().setModified(false);
  window.close();
  return ok ? 0 : 1;
}
