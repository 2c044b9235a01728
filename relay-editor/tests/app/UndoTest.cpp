// Undo and redo of every change of the Program list, through the real window:
// each operation is one step named after it, Ctrl+Z takes it back (selection
// and file included), Ctrl+Y does it again, and the unsaved-changes mark of the
// title follows.

#include "GuiHarness.h"

#include "IO.h"
#include "Unit4.h"
#include "ptimes.h"
#include "xunhuan.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QtTest>

#include <functional>

using namespace relay::app;
using relay::app::testing::GuiHarness;
using relay::app::testing::WriteBytes;
using Lines = std::vector<std::string>;

namespace {

// A loop, an IO action (selected) and a timer.
const Lines kStart = {"00 00 03 03", "02 80 01 83", "04 00 01 05"};

void Click(TForm1& w, const char* caption) {
  QPushButton* b = w.button(QString::fromUtf8(caption));
  QVERIFY2(b != nullptr, caption);
  QTest::mouseClick(b, Qt::LeftButton);
}

std::string Text(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& l : lines) text += l + "\r\n";
  return text;
}

}  // namespace

class UndoTest : public QObject {
  Q_OBJECT
 private slots:
  void everyChangeIsOneStep_data();
  void everyChangeIsOneStep();
  void theModifiedMarkFollowsUndo();
  void loadingAndTrimmingAreTwoSteps();
  void theListsMenuAndDeleteKey();
  void nothingChangedIsNoStep();
};

void UndoTest::everyChangeIsOneStep_data() {
  QTest::addColumn<QString>("step");
  QTest::addColumn<QStringList>("after");
  using Op = std::function<void(TForm1&, GuiHarness&)>;
  QTest::addColumn<Op>("operation");
  QTest::addColumn<bool>("modifiedAfterUndo");
  auto editor = [](const char* button, int mode, std::function<void(TForm1&)> fill) -> Op {
    return [=](TForm1& w, GuiHarness&) {
      Click(w, button);
      fill(w);
      EditorWindow* open = nullptr;
      for (EditorWindow* e : std::initializer_list<EditorWindow*>{
               w.ioEditor(), w.timerEditor(), w.loopEditor(), w.triggerEditor()})
        if (e->isVisible()) open = e;
      QVERIFY(open != nullptr);
      QTest::mouseClick(open->buttonForMode(mode), Qt::LeftButton);
    };
  };
  auto typeTimer = [](TForm1& w) {
    w.timerEditor()->valueBox()->setFocus();
    w.timerEditor()->valueBox()->selectAll();
    QTest::keyClicks(w.timerEditor()->valueBox(), QStringLiteral("10"));
  };
  QTest::newRow("增加") << "增加"
                        << QStringList{"00 00 03 03", "02 80 01 83", "04 00 01 05", "04 00 0A 0E"}
                        << editor("定时器", 0, typeTimer) << false;
  QTest::newRow("修改") << "修改" << QStringList{"00 00 03 03", "04 00 0A 0E", "04 00 01 05"}
                        << editor("定时器", 1, typeTimer) << false;
  QTest::newRow("向上插入") << "向上插入"
                            << QStringList{"00 00 03 03", "04 00 0A 0E", "02 80 01 83",
                                           "04 00 01 05"}
                            << editor("定时器", 2, typeTimer) << false;
  QTest::newRow("向下插入") << "向下插入"
                            << QStringList{"00 00 03 03", "02 80 01 83", "04 00 0A 0E",
                                           "04 00 01 05"}
                            << editor("定时器", 3, typeTimer) << false;
  auto button = [](const char* caption) -> Op {
    return [=](TForm1& w, GuiHarness&) { Click(w, caption); };
  };
  QTest::newRow("上移") << "上移" << QStringList{"02 80 01 83", "00 00 03 03", "04 00 01 05"}
                        << button("上移") << false;
  QTest::newRow("下移") << "下移" << QStringList{"00 00 03 03", "04 00 01 05", "02 80 01 83"}
                        << button("下移") << false;
  QTest::newRow("删除") << "删除" << QStringList{"00 00 03 03", "04 00 01 05"} << button("删除")
                        << false;
  QTest::newRow("清除") << "清除" << QStringList{} << button("清除") << false;
  QTest::newRow("优化指令") << "优化指令"
                            << QStringList{"02 80 01 83", "04 00 01 05", "00 00 03 03"}
                            << button("优化指令") << false;
  // Undone, the list is the one loaded before, while the saved state is the new file's.
  QTest::newRow("读入") << "读入" << QStringList{"00 FF FF FE"} << Op([](TForm1& w, GuiHarness& h) {
    WriteBytes(h.path("other.vyl"), Text({"00 FF FF FE"}));
    h.dialogs.answerFile(h.path("other.vyl"));
    Click(w, "读入");
  }) << true;
  QTest::newRow("读入 cancelled") << "读入" << QStringList{} << Op([](TForm1& w, GuiHarness& h) {
    h.dialogs.answerFile(std::nullopt);
    Click(w, "读入");
  }) << false;
}

void UndoTest::everyChangeIsOneStep() {
  QFETCH(QString, step);
  QFETCH(QStringList, after);
  using Op = std::function<void(TForm1&, GuiHarness&)>;
  QFETCH(Op, operation);
  QFETCH(bool, modifiedAfterUndo);
  GuiHarness h;
  const std::string project = h.path("p.vyl");
  WriteBytes(project, Text(kStart));
  TForm1& w = h.start({project});
  h.select(1);
  operation(w, h);
  Lines expected;
  for (const QString& line : after) expected.push_back(line.toStdString());
  QCOMPARE(h.entries(), expected);
  QCOMPARE(QString::fromStdString(w.commands().history().undoText()), step);
  QCOMPARE(w.undoAction()->text(), QStringLiteral("撤销 ") + step);
  QVERIFY(w.undoAction()->isEnabled());

  // Ctrl+Z: the list, its selection and its file as they were.
  w.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&w));
  QTest::keyClick(w.list(), Qt::Key_Z, Qt::ControlModifier);
  QCOMPARE(h.entries(), kStart);
  QCOMPARE(w.program().Selection(), std::optional<size_t>(1));
  QCOMPARE(w.commands().projectFile(), project);
  QCOMPARE(w.commands().modified(), modifiedAfterUndo);
  QVERIFY(!w.undoAction()->isEnabled());
  QCOMPARE(w.redoAction()->text(), QStringLiteral("重做 ") + step);

  // Ctrl+Y: again as after the operation.
  QTest::keyClick(w.list(), Qt::Key_Y, Qt::ControlModifier);
  QCOMPARE(h.entries(), expected);
  QCOMPARE(w.commands().history().steps(), 1);
}

void UndoTest::theModifiedMarkFollowsUndo() {
  GuiHarness h;
  const std::string project = h.path("p.vyl");
  WriteBytes(project, Text(kStart));
  TForm1& w = h.start({project});
  const QString name = QStringLiteral("VYL 编程软件 Ver 0.05");
  QCOMPARE(w.windowTitle(), name + QStringLiteral(" - p.vyl"));
  QVERIFY(!w.commands().modified());
  h.select(0);
  Click(w, "删除");
  QCOMPARE(w.windowTitle(), name + QStringLiteral(" - p.vyl *"));
  QVERIFY(w.titleLabel()->text().endsWith(QStringLiteral("*")));
  QVERIFY(w.commands().modified());
  w.commands().undo();
  QCOMPARE(w.windowTitle(), name + QStringLiteral(" - p.vyl"));
  QVERIFY(!w.commands().modified());
  // Closing now asks nothing: undone to the saved state, nothing is lost.
  w.commands().redo();
  QVERIFY(w.commands().modified());

  // Saved under another name: that is the saved state now.
  const std::string other = h.path("q.vyl");
  h.dialogs.answerFile(other);
  Click(w, "存盘");
  QCOMPARE(w.windowTitle(), name + QStringLiteral(" - q.vyl"));
  QVERIFY(!w.commands().modified());
  w.commands().undo();  // the entry deleted before the save comes back, in q.vyl
  QCOMPARE(h.entries(), kStart);
  QCOMPARE(w.windowTitle(), name + QStringLiteral(" - q.vyl *"));
  QVERIFY(w.commands().modified());
  w.commands().redo();
  QCOMPARE(w.windowTitle(), name + QStringLiteral(" - q.vyl"));
  QVERIFY(!w.commands().modified());
  // A list that no file holds: the program's name and the mark only.
  h.dialogs.answerAsk(true);  // nothing is discarded, but the list is not empty
  h.dialogs.answerFile(std::nullopt);
  Click(w, "读入");
  QVERIFY(h.entries().empty());
  w.program().Store("02 80 01 83", 0);
  QCOMPARE(w.windowTitle(), name + QStringLiteral(" *"));
  // Undoing the load takes its file back too.
  h.dialogs.forget();
  w.commands().undo();
  QCOMPARE(w.windowTitle(), name + QStringLiteral(" - q.vyl"));
}

void UndoTest::loadingAndTrimmingAreTwoSteps() {
  GuiHarness h;
  const std::string big = h.path("big.vyl");
  WriteBytes(big, Text(Lines(130, "04 00 01 05")));
  TForm1& w = h.start();
  QVERIFY(w.program().Store("02 80 01 83", 0));
  w.commands().history().reset();
  h.dialogs.answerFile(big);
  h.dialogs.answerAsk(true);  // trim
  Click(w, "读入");
  QCOMPARE(h.entries().size(), size_t(128));
  QCOMPARE(QString::fromStdString(w.commands().history().undoText()),
           QStringLiteral("删除多余指令"));
  QVERIFY(w.commands().modified());  // trimmed: no longer what the file holds
  w.commands().undo();
  QCOMPARE(h.entries().size(), size_t(130));
  QVERIFY(!w.commands().modified());  // as the file holds it
  QCOMPARE(QString::fromStdString(w.commands().history().undoText()), QStringLiteral("读入"));
  w.commands().undo();
  QCOMPARE(h.entries(), Lines{"02 80 01 83"});
  QVERIFY(w.commands().modified());
  QVERIFY(w.commands().projectFile().empty());
}

void UndoTest::theListsMenuAndDeleteKey() {
  GuiHarness h;
  TForm1& w = h.start();
  for (const auto& e : kStart) QVERIFY(w.program().Store(e, 0));
  const QList<QAction*> menu = w.list()->actions();
  QCOMPARE(w.list()->contextMenuPolicy(), Qt::ActionsContextMenu);
  QVERIFY(menu.contains(w.undoAction()));
  QVERIFY(menu.contains(w.redoAction()));
  QVERIFY(menu.contains(w.deleteAction()));
  // Delete in the list removes the selected entry, as "删除" does.
  h.select(2);
  w.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&w));
  w.list()->setFocus();
  QTest::keyClick(w.list(), Qt::Key_Delete);
  QCOMPARE(h.entries(), (Lines{"00 00 03 03", "02 80 01 83"}));
  QCOMPARE(w.program().Selection(), std::optional<size_t>(1));
  QCOMPARE(w.undoAction()->text(), QStringLiteral("撤销 删除"));
  w.undoAction()->trigger();
  QCOMPARE(h.entries(), kStart);
  QCOMPARE(w.program().Selection(), std::optional<size_t>(2));
  w.redoAction()->trigger();
  QCOMPARE(h.entries().size(), size_t(2));
  // While an editor is open the main window takes no Ctrl+Z.
  Click(w, "定时器");
  QVERIFY(!w.isEnabled());
  QTest::keyClick(w.timerEditor()->valueBox(), Qt::Key_Z, Qt::ControlModifier);
  QCOMPARE(h.entries().size(), size_t(2));
  w.timerEditor()->finish();
}

void UndoTest::nothingChangedIsNoStep() {
  GuiHarness h;
  TForm1& w = h.start();
  QVERIFY(w.program().Store("02 80 01 83", 0));
  w.commands().history().reset();
  h.select(0);
  Click(w, "上移");  // the first cannot move up
  Click(w, "优化指令");
  Click(w, "优化指令");  // nothing more to do
  QCOMPARE(w.commands().history().steps(), 1);
  // A refused store is no step either.
  w.program().Select(std::nullopt);
  Click(w, "IO类动作");
  QTest::mouseClick(w.ioEditor()->buttonForMode(0), Qt::LeftButton);  // no action chosen
  w.ioEditor()->finish();
  QCOMPARE(w.commands().history().steps(), 1);
  // At most kUndoLimit steps are kept.
  QVERIFY(w.program().Store("04 00 01 05", 0));
  for (int i = 0; i < ProgramHistory::kUndoLimit + 20; ++i) {
    h.select(1);
    Click(w, i % 2 ? "上移" : "下移");
  }
  QCOMPARE(w.commands().history().steps(), ProgramHistory::kUndoLimit);
}

QTEST_MAIN(UndoTest)
#include "UndoTest.moc"
