// The result panel through real downloads into the simulated chip: waiting
// for the chip with the progress bar moving by itself, each step under way,
// then PASS in green or FAIL in red in large letters with the result in words
// and the serial numbers written, kept until the next start; a stop while
// waiting; a chip that falls silent; and the board operation on a port where
// no download board answers.
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include "app/gui/result_panel.h"
#include "app/run/download_run.h"
#include "app/run/profile.h"
#include "tests/app/gui/gui_harness.h"
#include "tests/app/gui/sim_harness.h"
#include "tests/support/pseudo_terminal.h"

using fw::RunPhase;
using fw::SerialEdit;
using fw::test::CableOn;
using fw::test::GuiHarness;
using fw::test::kDownloadTimeoutMs;
using fw::test::LogHas;
using fw::test::SimulatorProject;

namespace {

// Every status the panel showed, in order.
struct ShownStatuses {
  explicit ShownStatuses(fw::ResultPanel* panel) {
    QObject::connect(panel, &fw::ResultPanel::statusShown,
                     [this, panel] { seen.push_back(panel->status()); });
  }
  std::vector<RunPhase> Phases() const {
    std::vector<RunPhase> phases;
    for (const fw::RunStatus& s : seen)
      if (phases.empty() || phases.back() != s.phase) phases.push_back(s.phase);
    return phases;
  }
  bool Showed(const QString& detail) const {
    for (const fw::RunStatus& s : seen)
      if (QString::fromStdString(s.detail) == detail) return true;
    return false;
  }
  std::vector<fw::RunStatus> seen;
};

QColor Ground(const fw::ResultPanel* panel) { return panel->palette().color(QPalette::Window); }

}  // namespace

class ResultPanelTest : public QObject {
  Q_OBJECT
 private slots:
  void waitingForTheChipUntilStopped();
  void aDownloadThatPasses_data();
  void aDownloadThatPasses();
  void aChipThatFallsSilentFails();
  void theBoardOperationSaysThatNoBoardAnswered();
};

void ResultPanelTest::waitingForTheChipUntilStopped() {
  fw::test::PseudoTerminal silent;
  QVERIFY(silent.ok());
  GuiHarness h;
  h.project = SimulatorProject();
  h.devices.devices = {CableOn(silent.slave_path())};
  fw::FlasherDialog& d = h.Start();
  fw::ResultPanel* panel = d.result_panel();
  QCOMPARE(panel->phase(), RunPhase::kIdle);
  QCOMPARE(panel->headline()->text(), QStringLiteral("READY"));
  QTest::mouseClick(d.start_once_button(), Qt::LeftButton);
  QTRY_COMPARE(panel->phase(), RunPhase::kWaiting);
  QCOMPARE(panel->headline()->text(), QStringLiteral("WAITING"));
  QCOMPARE(panel->status().detail, std::string("Waiting for the chip: power it on now"));
  QCOMPARE(Ground(panel), fw::ResultPanel::Ground(RunPhase::kWaiting));
  // The bar moves by itself while nothing answers.
  QCOMPARE(d.progress_bar()->minimum(), 0);
  QCOMPARE(d.progress_bar()->maximum(), 0);

  QTest::mouseClick(d.stop_button(), Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(!d.busy(), 5000);
  QTRY_COMPARE(panel->phase(), RunPhase::kStopped);
  QCOMPARE(panel->headline()->text(), QStringLiteral("STOPPED"));
  QCOMPARE(panel->status().detail, std::string("Result: stopped"));
  QCOMPARE(d.progress_bar()->maximum(), 100);
}

void ResultPanelTest::aDownloadThatPasses_data() {
  QTest::addColumn<bool>("chinese");
  QTest::addColumn<QString>("erasing");
  QTest::addColumn<QString>("passWord");
  QTest::addColumn<QString>("result");
  QTest::newRow("English") << false << QStringLiteral("Erasing MCU flash ...")
                           << QStringLiteral("PASS")
                           << QStringLiteral("Result: ok  ·  First no. 100");
  QTest::newRow("Chinese") << true << QStringLiteral("正在擦除目标区域 ...")
                           << QStringLiteral("合格")
                           << QStringLiteral("结果: 成功  ·  First no. 100");
}

void ResultPanelTest::aDownloadThatPasses() {
  QFETCH(bool, chinese);
  QFETCH(QString, erasing);
  QFETCH(QString, passWord);
  QFETCH(QString, result);
  fw::test::Simulator simulator;
  std::string error;
  QVERIFY2(simulator.Start(error), error.c_str());
  GuiHarness h;
  h.project = SimulatorProject(0, chinese);
  h.language = chinese ? fw::kLanguageChinese : fw::kLanguageEnglish;
  h.devices.devices = {CableOn(simulator->slave_path())};
  fw::FlasherDialog& d = h.Start();
  fw::ResultPanel* panel = d.result_panel();
  ShownStatuses shown(panel);
  QTest::mouseClick(d.start_once_button(), Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(!d.busy(), kDownloadTimeoutMs);
  QVERIFY2(d.run().last_result() == 0, qPrintable(d.log()->toPlainText()));

  QTRY_COMPARE(panel->phase(), RunPhase::kPassed);
  QCOMPARE(shown.Phases(), (std::vector<RunPhase>{RunPhase::kRunning, RunPhase::kWaiting,
                                                  RunPhase::kRunning, RunPhase::kPassed}));
  QVERIFY(shown.Showed(erasing));
  QCOMPARE(panel->headline()->text(), passWord);
  QCOMPARE(QString::fromStdString(panel->status().detail), result);
  QCOMPARE(Ground(panel), QColor(0x1B, 0x8A, 0x3A));
  // Large letters, readable from a distance.
  QVERIFY(panel->headline()->font().bold());
  QVERIFY(QFontInfo(panel->headline()->font()).pixelSize() >= 20);
  // The bar stays full, the result stays until the next start.
  QTRY_COMPARE(d.progress_bar()->value(), 100);
  QCOMPARE(d.progress_bar()->text(), QStringLiteral("100%"));
  QTest::qWait(300);
  QCOMPARE(panel->phase(), RunPhase::kPassed);
  QCOMPARE(d.serial_edit(SerialEdit::kFirst)->text(), QStringLiteral("101"));
}

void ResultPanelTest::aChipThatFallsSilentFails() {
  fw::test::Simulator simulator;
  simulator.faults.silent_after = fw::sim::SimStep::kErase;
  std::string error;
  QVERIFY2(simulator.Start(error), error.c_str());
  GuiHarness h;
  h.project = SimulatorProject();
  h.devices.devices = {CableOn(simulator->slave_path())};
  fw::FlasherDialog& d = h.Start();
  fw::ResultPanel* panel = d.result_panel();
  ShownStatuses shown(panel);
  QTest::mouseClick(d.start_once_button(), Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(!d.busy(), kDownloadTimeoutMs);
  QCOMPARE(d.run().last_result(), 2);
  QTRY_COMPARE(panel->phase(), RunPhase::kFailed);
  QVERIFY(shown.Showed(QStringLiteral("Programming user code ...")));
  QCOMPARE(panel->headline()->text(), QStringLiteral("FAIL"));
  QCOMPARE(panel->status().detail, std::string("Result: time-out"));
  QCOMPARE(Ground(panel), QColor(0xC6, 0x28, 0x28));
  QCOMPARE(d.counter_label()->text(), QStringLiteral("0"));
  QVERIFY(d.progress_bar()->value() < 100);
  // The next start takes the result away.
  QTest::mouseClick(d.start_once_button(), Qt::LeftButton);
  QTRY_VERIFY(panel->phase() != RunPhase::kFailed);
  d.StopDownload();
  QTRY_VERIFY_WITH_TIMEOUT(!d.busy(), kDownloadTimeoutMs);
}

// A chip's boot loader answers where the board operation looks for a download
// board: the log says that no board answered, before the failure line.
void ResultPanelTest::theBoardOperationSaysThatNoBoardAnswered() {
  fw::test::Simulator simulator;
  simulator.chip.reply_code = 0x80;
  std::string error;
  QVERIFY2(simulator.Start(error), error.c_str());
  GuiHarness h;
  std::vector<std::string> strings = fw::test::ProjectStrings(false, "Load board");
  h.project = SimulatorProject();
  h.project.strings[13] = strings[13];
  h.project.board_program = {0x02, 0x00, 0x30};
  h.devices.devices = {CableOn(simulator->slave_path())};
  fw::FlasherDialog& d = h.Start();
  QTest::mouseClick(d.start_third_button(), Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(!d.busy(), kDownloadTimeoutMs);
  const QString log = d.log()->toPlainText();
  const int no_board = log.indexOf(QStringLiteral("No download board answered on this port !"));
  const int failed = log.indexOf(QStringLiteral("Download failed ! ()"));
  QVERIFY2(no_board >= 0 && failed > no_board, qPrintable(log));
  QCOMPARE(d.result_panel()->phase(), RunPhase::kFailed);
  QCOMPARE(d.result_panel()->status().detail, std::string("Result: unexpected reply or refused"));
}

QTEST_MAIN(ResultPanelTest)
#include "result_panel_test.moc"
