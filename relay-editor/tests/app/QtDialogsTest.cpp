// The Qt message boxes behind the dialog interface: titles, texts, icons and
// the buttons "是" / "否" of which only "是" goes on.

#include "QtDialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QFontMetrics>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>

using namespace relay::app;

namespace {

struct SeenBox {
  QString title, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QStringList buttons;
  QWidget* parent = nullptr;
  int width = 0;
};

// Answers the next message box by pressing the button with `caption` (or
// Escape when empty) and records what it showed.
void AnswerNextBox(SeenBox& seen, const QString& caption) {
  QTimer::singleShot(0, [&seen, caption] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) {
      QTimer::singleShot(10, [&seen, caption] { AnswerNextBox(seen, caption); });
      return;
    }
    seen.title = box->windowTitle();
    seen.text = box->text();
    seen.icon = box->icon();
    seen.parent = box->parentWidget();
    seen.width = box->width();
    for (QAbstractButton* b : box->buttons()) seen.buttons << b->text();
    seen.buttons.sort();
    if (caption.isEmpty()) {
      QTest::keyClick(box, Qt::Key_Escape);
      return;
    }
    for (QAbstractButton* b : box->buttons())
      if (b->text() == caption) b->click();
  });
}

}  // namespace

class QtDialogsTest : public QObject {
  Q_OBJECT
 private slots:
  void questionsGoOnOnlyOnYes_data();
  void questionsGoOnOnlyOnYes();
  void messagesHaveOneOkButtonAndTheirIcon();
  void theErrorBoxCarriesTheApplicationTitle();
  void filtersMatchBothCases();
  void boxesBelongToTheirOwnerAndFitTheirTitle();
  void fileDialogsSpeakChineseAndCompleteTheExtension_data();
  void fileDialogsSpeakChineseAndCompleteTheExtension();
};

void QtDialogsTest::questionsGoOnOnlyOnYes_data() {
  QTest::addColumn<QString>("press");
  QTest::addColumn<bool>("result");
  QTest::newRow("是") << QStringLiteral("是") << true;
  QTest::newRow("否") << QStringLiteral("否") << false;
  QTest::newRow("Escape") << QString() << false;
}

void QtDialogsTest::questionsGoOnOnlyOnYes() {
  QFETCH(QString, press);
  QFETCH(bool, result);
  QtDialogs dialogs;
  SeenBox seen;
  AnswerNextBox(seen, press);
  QCOMPARE(dialogs.ask("警告！", "         本操作将清除设备编程扇区的数据，按 是 确认"), result);
  QCOMPARE(seen.title, QStringLiteral("警告！"));
  QCOMPARE(seen.text, QStringLiteral("         本操作将清除设备编程扇区的数据，按 是 确认"));
  QCOMPARE(seen.buttons, QStringList({"否", "是"}));
}

void QtDialogsTest::messagesHaveOneOkButtonAndTheirIcon() {
  QtDialogs dialogs;
  SeenBox seen;
  AnswerNextBox(seen, QStringLiteral("确定"));
  dialogs.tell("提示：", "存盘成功！", MessageIcon::Success);
  QCOMPARE(seen.title, QStringLiteral("提示："));
  QCOMPARE(seen.text, QStringLiteral("存盘成功！"));
  QCOMPARE(seen.icon, QMessageBox::Information);
  QCOMPARE(seen.buttons, QStringList({"确定"}));
  SeenBox failure;
  AnswerNextBox(failure, QStringLiteral("确定"));
  dialogs.tell("警告：", "操作失败！", MessageIcon::Error);
  QCOMPARE(failure.icon, QMessageBox::Critical);
}

void QtDialogsTest::theErrorBoxCarriesTheApplicationTitle() {
  QtDialogs dialogs;
  dialogs.setApplicationTitle("VYL 编程软件 Ver 0.05");
  SeenBox seen;
  AnswerNextBox(seen, QStringLiteral("确定"));
  dialogs.showError("Error opening serial port");
  QCOMPARE(seen.title, QStringLiteral("VYL 编程软件 Ver 0.05"));
  QCOMPARE(seen.text, QStringLiteral("Error opening serial port"));
  QCOMPARE(seen.icon, QMessageBox::Critical);
}

void QtDialogsTest::filtersMatchBothCases() {
  QCOMPARE(QtDialogs::toQtFilter("VYL编程文件(*.VYL)|*.vyl"),
           QStringLiteral("VYL编程文件(*.VYL *.vyl)"));
  QCOMPARE(QtDialogs::toQtFilter("Text|*.txt"), QStringLiteral("Text (*.txt)"));
  QCOMPARE(QtDialogs::toQtFilter("A(*.a)|*.a"), QStringLiteral("A(*.a)"));
  QCOMPARE(QtDialogs::toQtFilter("*.x"), QStringLiteral("*.x"));
}

void QtDialogsTest::fileDialogsSpeakChineseAndCompleteTheExtension_data() {
  QTest::addColumn<bool>("save");
  QTest::addColumn<QString>("title");
  QTest::addColumn<QString>("accept");
  QTest::addColumn<bool>("exists");
  QTest::newRow("save a new file")
      << true << QStringLiteral("保存文件路径") << QStringLiteral("保存") << false;
  QTest::newRow("save over a file")
      << true << QStringLiteral("保存文件路径") << QStringLiteral("保存") << true;
  QTest::newRow("open") << false << QStringLiteral("打开") << QStringLiteral("打开") << true;
}

void QtDialogsTest::fileDialogsSpeakChineseAndCompleteTheExtension() {
  QFETCH(bool, save);
  QFETCH(QString, title);
  QFETCH(QString, accept);
  QFETCH(bool, exists);
  QTemporaryDir folder;
  const QString existing = folder.filePath(QStringLiteral("prog.vyl"));
  if (exists) {
    QFile file(existing);
    QVERIFY(file.open(QIODevice::WriteOnly));
  }
  QStringList seen;
  bool askedToReplace = false;
  int replaceChecks = 0;
  std::function<void()> answerReplace = [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      askedToReplace = true;
      if (QAbstractButton* yes = box->button(QMessageBox::Yes)) yes->click();
    } else if (QApplication::activeModalWidget() != nullptr && ++replaceChecks < 200) {
      QTimer::singleShot(10, answerReplace);
    }
  };
  std::function<void()> answer = [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) {
      QTimer::singleShot(10, answer);
      return;
    }
    seen << dialog->windowTitle() << dialog->labelText(QFileDialog::Accept)
         << dialog->labelText(QFileDialog::Reject) << dialog->labelText(QFileDialog::FileName)
         << dialog->labelText(QFileDialog::FileType) << dialog->labelText(QFileDialog::LookIn)
         << dialog->nameFilters().join(QLatin1Char(';'));
    dialog->selectFile(QStringLiteral("prog"));
    // A question about replacing the file would open in accept().
    QTimer::singleShot(0, answerReplace);
    QMetaObject::invokeMethod(dialog, "accept");
  };
  QTimer::singleShot(0, answer);
  QtDialogs dialogs;
  const FileRequest request{title.toStdString(), "VYL编程文件(*.VYL)|*.vyl",
                            folder.path().toStdString(), save ? ".vyl" : "*.vyl"};
  const auto chosen = save ? dialogs.pickFileToSave(request) : dialogs.pickFileToOpen(request);
  QCOMPARE(seen, QStringList({title, accept, "取消", "文件名：", "文件类型：", "查找范围：",
                              "VYL编程文件(*.VYL *.vyl)"}));
  // A name typed without extension gets ".vyl".
  QVERIFY(chosen.has_value());
  QCOMPARE(QString::fromStdString(*chosen), existing);
  // "存盘" replaces an existing file of that name without asking.
  QVERIFY(!askedToReplace);
}

// A box shown while an editor's action runs belongs to the editor (the window
// manager gives the focus back to it), else to the main window; every box is
// wide enough that its window frame shows the whole title, not "警…".
void QtDialogsTest::boxesBelongToTheirOwnerAndFitTheirTitle() {
  QWidget main;
  QWidget editor(&main, Qt::Dialog);
  main.show();
  editor.show();
  QtDialogs dialogs(&main);
  SeenBox seen;
  AnswerNextBox(seen, QStringLiteral("确定"));
  dialogs.tell("提示：", "存盘成功！", MessageIcon::Success);
  QCOMPARE(seen.parent, &main);
  QVERIFY2(seen.width >= QtDialogs::widthForTitle(QStringLiteral("提示：")),
           QByteArray::number(seen.width));
  {
    const DialogOwner owner(dialogs, &editor);
    AnswerNextBox(seen, QStringLiteral("确定"));
    dialogs.tell("警告：", "操作失败！", MessageIcon::Error);
    QCOMPARE(seen.parent, &editor);
    AnswerNextBox(seen, QStringLiteral("否"));
    QVERIFY(!dialogs.ask("警告！", "是"));
    QCOMPARE(seen.parent, &editor);
    QVERIFY(seen.width >= QtDialogs::widthForTitle(QStringLiteral("警告！")));
  }
  AnswerNextBox(seen, QStringLiteral("确定"));
  dialogs.tell("提示：", "读取成功！", MessageIcon::Success);
  QCOMPARE(seen.parent, &main);
  // The room for the frame's buttons comes on top of the title's own width.
  QVERIFY(QtDialogs::widthForTitle(QStringLiteral("提示：")) >
          QFontMetrics(QApplication::font()).horizontalAdvance(QStringLiteral("提示：")) + 100);
}

QTEST_MAIN(QtDialogsTest)
#include "QtDialogsTest.moc"
