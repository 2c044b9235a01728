// The flasher's window: where its controls go with none, one and two serial
// numbers, its texts in both languages, the label colour, the baud-rate
// dialog and the pass-counter reset.
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTextBlock>
#include <QTextLayout>
#include <QtTest>

#include "app/gui/baud_rate_dialog.h"
#include "app/gui/dialog_layout.h"
#include "app/gui/qt_output_sinks.h"
#include "app/gui/result_panel.h"
#include "app/run/profile.h"
#include "tests/app/gui/gui_harness.h"

using fw::SerialEdit;
using fw::test::GuiHarness;
using fw::test::MakeProject;
using fw::test::ProjectStrings;

namespace {

QRect Rect(int x, int y, int w, int h) { return QRect(x, y, w, h); }

}  // namespace

class FlasherDialogTest : public QObject {
  Q_OBJECT
 private slots:
  void layoutFollowsTheSerialRows_data();
  void layoutFollowsTheSerialRows();
  void resizingStretchesTheLogAndMovesTheBottomRow();
  void theWindowCannotShrinkBelowItsControls();
  void atItsSmallestTheLogShowsFiveLines();
  void labelsKeepAGapToTheirFields();
  void timingsStandInOneColumn_data();
  void timingsStandInOneColumn();
  void anEmptyThirdCaptionHidesItsButtonInPlace();
  void textsInEachLanguage_data();
  void textsInEachLanguage();
  void theSecondNumberAloneTakesTheFirstRow();
  void labelsAreDrawnInTheProjectsColour();
  void aProjectThatWasNotLoadedShowsNoSerialRows();
  void theBaudDialogExchangesTheIndexes();
  void theBaudDialogsCancelChangesNothing();
  void resetAsksOnlyWhenThereIsSomethingToReset();
  void resetOnYesClearsTheCounterAndTheProfile();
  void busyDisablesTheStartControlsAndEnablesStop();
};

void FlasherDialogTest::layoutFollowsTheSerialRows_data() {
  QTest::addColumn<int>("serials");
  QTest::addColumn<int>("logTop");
  QTest::newRow("no serial number") << 0 << 70;
  QTest::newRow("one serial number") << 1 << 95;
  QTest::newRow("two serial numbers") << 2 << 120;
}

void FlasherDialogTest::layoutFollowsTheSerialRows() {
  QFETCH(int, serials);
  QFETCH(int, logTop);
  GuiHarness h;
  h.project = MakeProject(ProjectStrings(false, "Third"), serials);
  fw::FlasherDialog& d = h.Start();
  d.resize(900, 400);
  QTRY_COMPARE(d.width(), 900);
  const int w = 900;
  const int ht = 400;
  QCOMPARE(d.start_once_button()->geometry(), Rect(5, 5, 100, 32));
  QCOMPARE(d.stop_button()->geometry(), Rect(110, 5, 80, 32));
  QCOMPARE(d.start_repeat_button()->geometry(), Rect(195, 5, 100, 32));
  QCOMPARE(d.start_third_button()->geometry(), Rect(300, 5, 100, 32));
  QCOMPARE(d.baud_settings_button()->geometry(), Rect(405, 5, 100, 32));
  // The result panel takes the width the top row leaves.
  QCOMPARE(d.result_panel()->geometry(), Rect(510, 5, w - 515, 32));
  QCOMPARE(d.port_label()->geometry(), Rect(5, 45, 80, 20));
  QCOMPARE(d.port_list()->geometry(), Rect(85, 45, w - 90, 20));
  for (int row = 0; row < 2; ++row) {
    const auto edit = static_cast<SerialEdit>(row);
    QCOMPARE(d.serial_label(edit)->isVisible(), row < serials);
    QCOMPARE(d.serial_edit(edit)->isVisible(), row < serials);
    if (row < serials) {
      QCOMPARE(d.serial_label(edit)->geometry(), Rect(5, 70 + 25 * row, 80, 20));
      QCOMPARE(d.serial_edit(edit)->geometry(), Rect(85, 70 + 25 * row, w - 90, 20));
    }
  }
  QCOMPARE(d.log()->geometry(), Rect(5, logTop, w - 10, ht - (logTop - 70) - 100));
  QCOMPARE(d.progress_bar()->geometry(), Rect(5, ht - 25, w - 95, 20));
  QCOMPARE(d.counter_label()->geometry(), Rect(w - 85, ht - 25, 38, 20));
  QCOMPARE(d.reset_button()->geometry(), Rect(w - 45, ht - 25, 40, 20));
}

void FlasherDialogTest::resizingStretchesTheLogAndMovesTheBottomRow() {
  GuiHarness h;
  h.project = MakeProject(ProjectStrings(false), 1);
  fw::FlasherDialog& d = h.Start();
  d.resize(1000, 500);
  QTRY_COMPARE(d.height(), 500);
  QCOMPARE(d.port_list()->width(), 910);
  QCOMPARE(d.log()->geometry(), Rect(5, 95, 990, 375));
  QCOMPARE(d.reset_button()->geometry(), Rect(955, 475, 40, 20));
  d.resize(820, 300);
  QTRY_COMPARE(d.height(), 300);
  QCOMPARE(d.log()->geometry(), Rect(5, 95, 810, 175));
  QCOMPARE(d.progress_bar()->geometry(), Rect(5, 275, 725, 20));
}

void FlasherDialogTest::theWindowCannotShrinkBelowItsControls() {
  for (int serials = 0; serials <= 2; ++serials) {
    GuiHarness h;
    h.project = MakeProject(ProjectStrings(false), serials);
    fw::FlasherDialog& d = h.Start();
    const fw::ClientSize minimum = fw::MinimumClientSize(serials, d.minimum_log_height());
    QCOMPARE(d.minimumSize(), QSize(minimum.width, minimum.height));
    d.resize(100, 60);
    QTest::qWait(20);
    QVERIFY(d.log()->height() > 0);
    QVERIFY(d.progress_bar()->width() > 0);
    QVERIFY(d.log()->geometry().bottom() < d.progress_bar()->geometry().top());
    QVERIFY(d.baud_settings_button()->geometry().right() < d.width());
    // The same rule holds for any size the layout is asked for.
    const fw::DialogLayout tiny = fw::ComputeDialogLayout(0, 0, serials);
    QVERIFY(tiny.log.height > 0 && tiny.port_list.width > 0 && tiny.progress.width > 0);
  }
}

// With two serial rows at the window's smallest size the log still shows five
// whole lines of its font.
void FlasherDialogTest::atItsSmallestTheLogShowsFiveLines() {
  for (const bool chinese : {false, true}) {
    GuiHarness h;
    h.project = MakeProject(ProjectStrings(chinese), 2);
    h.language = chinese ? fw::kLanguageChinese : fw::kLanguageEnglish;
    fw::FlasherDialog& d = h.Start();
    d.resize(1, 1);
    QTRY_COMPARE(d.size(), d.minimumSize());
    QStringList lines;
    for (int i = 1; i <= 12; ++i) lines << QStringLiteral("line %1 正在").arg(i);
    d.log()->setPlainText(lines.join(QLatin1Char('\n')));
    d.log()->moveCursor(QTextCursor::Start);
    const QTextCursor fifth(d.log()->document()->findBlockByNumber(4));
    QVERIFY2(d.log()->cursorRect(fifth).bottom() < d.log()->viewport()->height(),
             qPrintable(QStringLiteral("line 5 ends at %1, the log shows %2 pixels")
                            .arg(d.log()->cursorRect(fifth).bottom())
                            .arg(d.log()->viewport()->height())));
  }
}

// A label's text ends a few pixels before the field it names.
void FlasherDialogTest::labelsKeepAGapToTheirFields() {
  GuiHarness h;
  h.project = MakeProject(ProjectStrings(false), 2);
  fw::FlasherDialog& d = h.Start();
  const QList<QPair<QLabel*, QWidget*>> rows = {
      {d.port_label(), d.port_list()},
      {d.serial_label(SerialEdit::kFirst), d.serial_edit(SerialEdit::kFirst)},
      {d.serial_label(SerialEdit::kSecond), d.serial_edit(SerialEdit::kSecond)}};
  for (const auto& [label, field] : rows) {
    // Right-aligned text ends at the right edge of the label's contents.
    const int text_end = label->mapToParent(label->contentsRect().topRight()).x();
    QVERIFY2(field->x() - text_end >= 4, qPrintable(label->text()));
  }
}

void FlasherDialogTest::timingsStandInOneColumn_data() {
  QTest::addColumn<bool>("chinese");
  QTest::newRow("English") << false;
  QTest::newRow("Chinese") << true;
}

// The steps pad their timings with two or three tabs after texts of any width:
// in the log they all stand in one column, also when the step's text and its
// outcome arrive as two pieces.
void FlasherDialogTest::timingsStandInOneColumn() {
  QFETCH(bool, chinese);
  const int language = chinese ? fw::kLanguageChinese : fw::kLanguageEnglish;
  GuiHarness h;
  h.project = MakeProject(ProjectStrings(chinese));
  h.language = language;
  fw::FlasherDialog& d = h.Start();
  d.log()->clear();
  const auto text = [language](int id) { return QString::fromUtf8(fw::GetText(id, language)); };
  const auto timed = [&](int outcome) {
    return text(outcome).replace(QStringLiteral("%.3f"), QStringLiteral("1.234"));
  };
  const QList<QStringList> pieces = {
      {text(fw::kMsgAdjustingFrequency), QStringLiteral("\t\t\t[0.910\"]\r\n")},
      {text(fw::kMsgRehandshaking), timed(fw::kMsgSuccessfulElapsed)},
      {text(fw::kMsgErasing), timed(fw::kMsgOkElapsed)},
      {text(fw::kMsgProgrammingCode), timed(fw::kMsgOkElapsed)},
      {text(fw::kMsgProgrammingOptions) + timed(fw::kMsgOkElapsed)},
  };
  for (const QStringList& line : pieces)
    for (const QString& piece : line) fw::AppendToLog(*d.log(), piece);
  QList<int> columns;
  for (QTextBlock block = d.log()->document()->begin(); block.isValid(); block = block.next()) {
    const int bracket = block.text().indexOf(QLatin1Char('['));
    if (bracket < 0) continue;
    columns << qRound(block.layout()->lineForTextPosition(bracket).cursorToX(bracket));
  }
  QCOMPARE(columns.size(), pieces.size());
  for (int x : columns) QCOMPARE(x, columns.first());
  // The column leaves room after the widest text.
  QVERIFY(columns.first() > d.log()->fontMetrics().horizontalAdvance(text(fw::kMsgProgrammingCode) +
                                                                     QStringLiteral("OK !")));
}

void FlasherDialogTest::anEmptyThirdCaptionHidesItsButtonInPlace() {
  GuiHarness h;
  h.project = MakeProject(ProjectStrings(false, ""));
  fw::FlasherDialog& d = h.Start();
  QVERIFY(!d.start_third_button()->isVisible());
  QCOMPARE(d.baud_settings_button()->geometry().x(), 405);
  GuiHarness shown;
  shown.project = MakeProject(ProjectStrings(false, "Board"));
  QVERIFY(shown.Start().start_third_button()->isVisible());
  QCOMPARE(shown.dialog->start_third_button()->text(), QStringLiteral("Board"));
}

void FlasherDialogTest::textsInEachLanguage_data() {
  QTest::addColumn<bool>("chinese");
  QTest::addColumn<QStringList>("fixed");  // stop, help, reset, port label
  QTest::addColumn<QString>("downloadTip");
  QTest::addColumn<QString>("counterTip");
  QTest::addColumn<QString>("panelWord");
  QTest::newRow("English") << false << QStringList{"Stop", "Help", "Reset", "COM Port"}
                           << QStringLiteral(
                                  "Start download/program \n(Please power on the "
                                  "target MCU after press down the button)")
                           << QStringLiteral("Passes") << QStringLiteral("READY");
  QTest::newRow("Chinese") << true << QStringList{"停止", "疑难帮助", "清零", "串口"}
                           << QStringLiteral("开始下载编程\n(请先点击下载按钮后,再给目标芯片上电)")
                           << QStringLiteral("合格数") << QStringLiteral("就绪");
}

void FlasherDialogTest::textsInEachLanguage() {
  QFETCH(bool, chinese);
  QFETCH(QStringList, fixed);
  QFETCH(QString, downloadTip);
  QFETCH(QString, counterTip);
  QFETCH(QString, panelWord);
  GuiHarness h;
  std::vector<std::string> strings = ProjectStrings(chinese, "Board");
  strings[1] = "继电器 flasher";
  h.project = MakeProject(strings, 2);
  h.language = chinese ? fw::kLanguageChinese : fw::kLanguageEnglish;
  fw::FlasherDialog& d = h.Start();
  QCOMPARE(d.windowTitle(), QStringLiteral("继电器 flasher"));
  QCOMPARE(d.start_once_button()->text(), QStringLiteral("Go"));
  QCOMPARE(d.start_repeat_button()->text(), QStringLiteral("Again"));
  QCOMPARE(d.start_third_button()->text(), QStringLiteral("Board"));
  QCOMPARE(d.stop_button()->text(), fixed[0]);
  QCOMPARE(d.baud_settings_button()->text(), fixed[1]);
  QCOMPARE(d.reset_button()->text(), fixed[2]);
  QCOMPARE(d.port_label()->text(), fixed[3]);
  QCOMPARE(d.serial_label(SerialEdit::kFirst)->text(), QStringLiteral("First no."));
  QCOMPARE(d.serial_label(SerialEdit::kSecond)->text(), QStringLiteral("Second no."));
  QCOMPARE(d.log()->toPlainText(), QStringLiteral("Initial log\nline 2\n"));
  QCOMPARE(d.start_once_button()->toolTip(), downloadTip);
  QVERIFY(d.baud_settings_button()->toolTip().contains(
      chinese ? QStringLiteral("最低波特率") : QStringLiteral("lowest baudrate")));
  QCOMPARE(d.start_once_button()->toolTipDuration(), 30000);
  QVERIFY(d.stop_button()->toolTip().isEmpty());
  QCOMPARE(d.counter_label()->toolTip(), counterTip);
  QCOMPARE(d.result_panel()->headline()->text(), panelWord);
  QCOMPARE(d.serial_edit(SerialEdit::kFirst)->text(), QStringLiteral("100"));
  QCOMPARE(d.serial_edit(SerialEdit::kSecond)->text(), QStringLiteral("200"));
}

void FlasherDialogTest::theSecondNumberAloneTakesTheFirstRow() {
  GuiHarness h;
  h.project = MakeProject(ProjectStrings(false), 2);
  h.project.serial_numbers[0].enabled = false;
  fw::FlasherDialog& d = h.Start();
  QVERIFY(d.serial_label(SerialEdit::kFirst)->isVisible());
  QVERIFY(!d.serial_label(SerialEdit::kSecond)->isVisible());
  QCOMPARE(d.serial_label(SerialEdit::kFirst)->text(), QStringLiteral("Second no."));
  QCOMPARE(d.serial_edit(SerialEdit::kFirst)->text(), QStringLiteral("200"));
  QCOMPARE(d.log()->y(), 95);
}

void FlasherDialogTest::labelsAreDrawnInTheProjectsColour() {
  // 0x00BBGGRR: 0x00C08040 is red 0x40, green 0x80, blue 0xC0.
  GuiHarness h;
  std::vector<std::string> strings = ProjectStrings(false);
  strings[5] = "1,9,0," + std::to_string(0x00C08040);
  h.project = MakeProject(strings, 2);
  fw::FlasherDialog& d = h.Start();
  for (SerialEdit edit : {SerialEdit::kFirst, SerialEdit::kSecond}) {
    QCOMPARE(d.serial_label(edit)->palette().color(QPalette::WindowText), QColor(0x40, 0x80, 0xC0));
    QVERIFY(!d.serial_label(edit)->autoFillBackground());
  }
  QCOMPARE(d.port_label()->palette().color(QPalette::WindowText),
           d.palette().color(QPalette::WindowText));
}

void FlasherDialogTest::aProjectThatWasNotLoadedShowsNoSerialRows() {
  GuiHarness h;
  h.project = MakeProject(ProjectStrings(false), 2);
  h.project_loaded = false;
  fw::FlasherDialog& d = h.Start();
  QVERIFY(!d.serial_edit(SerialEdit::kFirst)->isVisible());
  QCOMPARE(d.log()->y(), 70);
}

void FlasherDialogTest::theBaudDialogExchangesTheIndexes() {
  GuiHarness h;
  h.project = MakeProject(ProjectStrings(true));
  h.language = fw::kLanguageChinese;
  fw::FlasherDialog& d = h.Start();
  QCOMPARE(d.lowest_baud_index(), 1);
  QCOMPARE(d.highest_baud_index(), 9);
  bool seen = false;
  fw::test::OnNextModal([&seen](QWidget* modal) {
    auto* baud = qobject_cast<fw::BaudRateDialog*>(modal);
    if (baud == nullptr) return;
    seen = true;
    QCOMPARE(baud->windowTitle(), QStringLiteral("设置波特率"));
    QCOMPARE(baud->lowest_list()->count(), 10);
    QCOMPARE(baud->lowest_list()->itemText(0), QStringLiteral("1200"));
    QCOMPARE(baud->highest_list()->itemText(9), QStringLiteral("115200"));
    QCOMPARE(baud->lowest_list()->currentIndex(), 1);
    QCOMPARE(baud->highest_list()->currentIndex(), 9);
    QVERIFY(baud->findChild<QLabel*>()->text() == QStringLiteral("最低波特率"));
    auto* warning = baud->findChild<QLabel*>(QStringLiteral("baudWarning"));
    QVERIFY(warning != nullptr);
    QVERIFY(warning->isHidden());
    // The lowest above the highest is warned about, and stored as it is.
    baud->lowest_list()->setCurrentIndex(9);
    baud->highest_list()->setCurrentIndex(0);
    QVERIFY(!warning->isHidden());
    QCOMPARE(warning->text(),
             QStringLiteral("最低波特率 (115200) 高于最高波特率 (1200). 按确定后仍按所选保存."));
    baud->highest_list()->setCurrentIndex(9);
    QVERIFY(warning->isHidden());
    baud->highest_list()->setCurrentIndex(0);
    QAbstractButton* ok = baud->findChild<QDialogButtonBox*>()->buttons().at(0);
    QCOMPARE(ok->text(), QStringLiteral("确定"));
    ok->click();
  });
  QTest::mouseClick(d.baud_settings_button(), Qt::LeftButton);
  QVERIFY(seen);
  QCOMPARE(d.lowest_baud_index(), 9);
  QCOMPARE(d.highest_baud_index(), 0);
}

void FlasherDialogTest::theBaudDialogsCancelChangesNothing() {
  GuiHarness h;
  h.project = MakeProject(ProjectStrings(false));
  fw::FlasherDialog& d = h.Start();
  fw::test::OnNextModal([](QWidget* modal) {
    auto* baud = qobject_cast<fw::BaudRateDialog*>(modal);
    QVERIFY(baud != nullptr);
    baud->lowest_list()->setCurrentIndex(4);
    QTest::keyClick(baud, Qt::Key_Escape);
  });
  QTest::mouseClick(d.baud_settings_button(), Qt::LeftButton);
  QCOMPARE(d.lowest_baud_index(), 1);
  QCOMPARE(d.highest_baud_index(), 9);
}

void FlasherDialogTest::resetAsksOnlyWhenThereIsSomethingToReset() {
  GuiHarness h;
  h.project = MakeProject(ProjectStrings(false));
  h.dialogs = std::make_unique<fw::test::ScriptedDialogs>(false);
  fw::FlasherDialog& d = h.Start();
  QCOMPARE(d.counter_label()->text(), QStringLiteral("0"));
  QTest::mouseClick(d.reset_button(), Qt::LeftButton);
  QVERIFY(h.dialogs->Questions().empty());

  GuiHarness counted;
  counted.project = MakeProject(ProjectStrings(false));
  counted.dialogs = std::make_unique<fw::test::ScriptedDialogs>(false);
  counted.profile.ints[std::string(fw::profile_keys::kPassCounter)] = 12;
  fw::FlasherDialog& c = counted.Start();
  QCOMPARE(c.counter_label()->text(), QStringLiteral("12"));
  QTest::mouseClick(c.reset_button(), Qt::LeftButton);
  QCOMPARE(counted.dialogs->Questions(),
           std::vector<std::string>{"TestApp: Do you want to reset the counter ?"});
  QCOMPARE(c.counter_label()->text(), QStringLiteral("12"));
  QCOMPARE(counted.profile.ReadInt(fw::profile_keys::kPassCounter, -1), 12);
}

void FlasherDialogTest::resetOnYesClearsTheCounterAndTheProfile() {
  GuiHarness h;
  h.project = MakeProject(ProjectStrings(false));
  // A counter past 2^31 is shown unsigned, as it is kept.
  h.profile.ints[std::string(fw::profile_keys::kPassCounter)] = -2;
  fw::FlasherDialog& d = h.Start();
  QCOMPARE(d.counter_label()->text(), QStringLiteral("4294967294"));
  QTest::mouseClick(d.reset_button(), Qt::LeftButton);
  QCOMPARE(h.dialogs->Questions().size(), std::size_t(1));
  QCOMPARE(d.counter_label()->text(), QStringLiteral("0"));
  QCOMPARE(h.profile.ReadInt(fw::profile_keys::kPassCounter, -1), 0);
}

void FlasherDialogTest::busyDisablesTheStartControlsAndEnablesStop() {
  GuiHarness h;
  h.project = MakeProject(ProjectStrings(false, "Board"), 2);
  fw::FlasherDialog& d = h.Start();
  const QList<QWidget*> idle_only = {d.port_list(),
                                     d.baud_settings_button(),
                                     d.serial_edit(SerialEdit::kFirst),
                                     d.serial_edit(SerialEdit::kSecond),
                                     d.start_once_button(),
                                     d.start_repeat_button(),
                                     d.start_third_button()};
  for (QWidget* w : idle_only) QVERIFY(w->isEnabled());
  QVERIFY(!d.stop_button()->isEnabled());
  d.SetBusy(true);
  for (QWidget* w : idle_only) QVERIFY(!w->isEnabled());
  QVERIFY(d.stop_button()->isEnabled());
  QVERIFY(d.reset_button()->isEnabled());
  d.SetBusy(false);
  for (QWidget* w : idle_only) QVERIFY(w->isEnabled());
  QVERIFY(!d.stop_button()->isEnabled());
}

QTEST_MAIN(FlasherDialogTest)
#include "flasher_dialog_test.moc"
