// The window's start and stop buttons driving the download worker: a whole
// download into the simulator from a press of the start button, the stop in a
// repeated run, closing while a download runs, and the worker's boxes that
// give way to a stop.
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include <algorithm>

#include "app/run/download_run.h"
#include "app/run/profile.h"
#include "app/run/profile_counters.h"
#include "tests/app/gui/gui_harness.h"
#include "tests/app/gui/sim_harness.h"
#include "tests/support/pseudo_terminal.h"

using fw::SerialEdit;
using fw::test::GuiHarness;
using fw::test::MakeProject;
using fw::test::OnNextModal;
using fw::test::ProjectStrings;

using fw::test::CableOn;
using fw::test::kDownloadTimeoutMs;
using fw::test::LogHas;
using fw::test::SimulatorProject;
using Simulator = fw::test::Simulator;

class DialogDownloadTest : public QObject {
  Q_OBJECT
 private slots:
  void theStartButtonDownloadsIntoTheChip();
  void stopEndsARepeatedRunInItsWait();
  void stopEndsADownloadThatWaitsForTheChip();
  void aProjectThatStartsAtOnceNeedsNoPress();
  void closingWhileBusyOnNoGoesOn();
  void closingWhileBusyOnYesStopsAndWaitsForTheWorker();
  void aWorkersBoxGivesWayToTheStop();
  void aWorkersBoxAnsweredEndsTheRun();
  void anotherProgramsNumberReplacesOnlyAnUntouchedEdit();
  void aSerialNumberThatOutgrowsItsLengthStopsUnlessItWraps();
};

void DialogDownloadTest::theStartButtonDownloadsIntoTheChip() {
  Simulator simulator;
  std::string error;
  QVERIFY2(simulator.Start(error), error.c_str());
  fw::sim::BootLoaderSim& sim = *simulator;
  GuiHarness h;
  h.project = SimulatorProject();
  h.devices.devices = {{"ttyS0", "/dev/ttyS0", "", "", "serial"}, CableOn(sim.slave_path())};
  h.profile.ints[std::string(fw::profile_keys::kPassCounter)] = 5;
  fw::FlasherDialog& d = h.Start();
  QCOMPARE(d.port_list()->currentText(), QStringLiteral("Test Cable (pts)"));
  QCOMPARE(d.serial_edit(SerialEdit::kFirst)->text(), QStringLiteral("100"));

  int highest_progress = 0;
  QObject::connect(d.progress_bar(), &QProgressBar::valueChanged, [&highest_progress](int v) {
    highest_progress = std::max(highest_progress, v);
  });
  QTest::mouseClick(d.start_once_button(), Qt::LeftButton);
  QVERIFY(d.run().busy());
  QVERIFY(!d.start_once_button()->isEnabled());
  QVERIFY(!d.serial_edit(SerialEdit::kFirst)->isEnabled());
  QVERIFY(d.stop_button()->isEnabled());
  QTRY_VERIFY_WITH_TIMEOUT(!d.run().busy() && !d.busy(), kDownloadTimeoutMs);

  QVERIFY2(d.run().last_result() == 0, qPrintable(d.log()->toPlainText()));
  QVERIFY(LogHas(d, QStringLiteral("  Complete !(")));
  QVERIFY(!LogHas(d, QStringLiteral("Initial log")));  // the download clears the log
  // The bar runs up while the code is programmed and stays full once the
  // download has passed.
  QVERIFY2(highest_progress >= 80, qPrintable(QString::number(highest_progress)));
  QTRY_COMPARE(d.progress_bar()->value(), 100);
  QCOMPARE(d.counter_label()->text(), QStringLiteral("6"));
  QCOMPARE(h.profile.ReadInt(fw::profile_keys::kPassCounter, 0), 6);
  QCOMPARE(d.serial_edit(SerialEdit::kFirst)->text(), QStringLiteral("101"));
  QCOMPARE(h.profile.ReadInt(fw::profile_keys::kIncValue1Valid, 0), 1);
  QVERIFY(d.start_once_button()->isEnabled());
  QVERIFY(!d.stop_button()->isEnabled());

  const std::vector<std::uint8_t> flash = sim.Flash();
  QVERIFY(flash.size() >= static_cast<std::size_t>(fw::test::kSimCodeSize));
  const std::vector<std::uint8_t>& code = h.project.code_block;
  QVERIFY(std::equal(code.begin(), code.begin() + 0x100, flash.begin()));
  // The serial number as it was shown before the download, in BCD.
  QCOMPARE(std::vector<std::uint8_t>(flash.begin() + 0x100, flash.begin() + 0x104),
           (std::vector<std::uint8_t>{0x00, 0x00, 0x01, 0x00}));
  QVERIFY(std::equal(code.begin() + 0x104, code.end(), flash.begin() + 0x104));
}

void DialogDownloadTest::stopEndsARepeatedRunInItsWait() {
  Simulator simulator;
  std::string error;
  QVERIFY2(simulator.Start(error), error.c_str());
  fw::sim::BootLoaderSim& sim = *simulator;
  GuiHarness h;
  h.project = SimulatorProject(/*repeat_delay=*/9);
  h.devices.devices = {CableOn(sim.slave_path())};
  fw::FlasherDialog& d = h.Start();
  QTest::mouseClick(d.start_repeat_button(), Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(LogHas(d, QStringLiteral("Repeat after 10 secs .")), kDownloadTimeoutMs);
  QCOMPARE(d.counter_label()->text(), QStringLiteral("1"));
  QVERIFY(d.run().busy());

  QElapsedTimer stopping;
  stopping.start();
  QTest::mouseClick(d.stop_button(), Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(!d.busy(), 5000);
  QVERIFY(stopping.elapsed() < 2000);
  // The wait's line of dots ends in a line that says it was stopped.
  static const QRegularExpression kStoppedWait(
      QStringLiteral("Repeat after 10 secs \\.+\nStopped\\.\n$"));
  QVERIFY2(d.log()->toPlainText().contains(kStoppedWait), qPrintable(d.log()->toPlainText()));
  QCOMPARE(d.run().passes_this_run(), 1);
  QCOMPARE(d.counter_label()->text(), QStringLiteral("1"));
  QCOMPARE(d.serial_edit(SerialEdit::kFirst)->text(), QStringLiteral("101"));
  QVERIFY(d.start_repeat_button()->isEnabled());
  QVERIFY(!d.stop_button()->isEnabled());
  QCOMPARE(sim.downloads(), 1);
}

void DialogDownloadTest::stopEndsADownloadThatWaitsForTheChip() {
  // Nobody answers on this line: the download waits for the chip until stopped.
  fw::test::PseudoTerminal silent;
  QVERIFY(silent.ok());
  GuiHarness h;
  h.project = SimulatorProject();
  h.devices.devices = {CableOn(silent.slave_path())};
  fw::FlasherDialog& d = h.Start();
  QTest::mouseClick(d.start_once_button(), Qt::LeftButton);
  QTest::qWait(300);
  QVERIFY(d.run().busy());
  QTest::mouseClick(d.stop_button(), Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(!d.busy(), 5000);
  QVERIFY(d.run().last_result() != 0);
  QCOMPARE(d.counter_label()->text(), QStringLiteral("0"));
  QCOMPARE(d.serial_edit(SerialEdit::kFirst)->text(), QStringLiteral("100"));
  QVERIFY(!h.profile.ints.count(std::string(fw::profile_keys::kIncValue1Valid)));
}

void DialogDownloadTest::aProjectThatStartsAtOnceNeedsNoPress() {
  fw::test::PseudoTerminal silent;
  QVERIFY(silent.ok());
  GuiHarness h;
  std::vector<std::string> strings = ProjectStrings(false);
  strings.resize(16);
  strings[14] = "1";
  strings[15] = "0";
  h.project = MakeProject(strings);
  h.project.code_block = {1, 2, 3};
  h.command_line_port = silent.slave_path();
  fw::FlasherDialog& d = h.Start();
  QVERIFY(d.run().busy());
  QCOMPARE(d.port_list()->currentText(), QString::fromStdString(silent.slave_path()));
  // Destroying the window stops the download and waits for its worker.
}

void DialogDownloadTest::closingWhileBusyOnNoGoesOn() {
  fw::test::PseudoTerminal silent;
  QVERIFY(silent.ok());
  GuiHarness h;
  h.project = SimulatorProject();
  h.dialogs = std::make_unique<fw::test::ScriptedDialogs>(false);
  h.devices.devices = {CableOn(silent.slave_path())};
  fw::FlasherDialog& d = h.Start();
  QTest::mouseClick(d.start_once_button(), Qt::LeftButton);
  QVERIFY(!d.close());
  QCOMPARE(h.dialogs->Questions(),
           std::vector<std::string>{
               "TestApp: Downloading is in progress.\r\nAre you sure to terminate ?"});
  QVERIFY(d.isVisible());
  QTest::keyClick(&d, Qt::Key_Escape);
  QCOMPARE(h.dialogs->Questions().size(), std::size_t(2));
  QVERIFY(d.isVisible());
  QTest::qWait(100);
  QVERIFY(d.run().busy());
  QVERIFY(!d.stop_requested());
}

void DialogDownloadTest::closingWhileBusyOnYesStopsAndWaitsForTheWorker() {
  fw::test::PseudoTerminal silent;
  QVERIFY(silent.ok());
  GuiHarness h;
  h.project = SimulatorProject();
  h.message_boxes = true;
  h.devices.devices = {CableOn(silent.slave_path())};
  fw::FlasherDialog& d = h.Start();
  QTest::mouseClick(d.start_once_button(), Qt::LeftButton);
  QTest::qWait(100);
  QString asked;
  OnNextModal([&asked](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (box == nullptr) return;
    asked = box->windowTitle() + ": " + box->text();
    for (QAbstractButton* b : box->buttons())
      if (b->text() == QStringLiteral("Yes")) b->click();
  });
  QVERIFY(d.close());
  QCOMPARE(asked,
           QStringLiteral("TestApp: Downloading is in progress.\nAre you sure to terminate ?"));
  // Closed only once the worker has ended: nothing it uses is gone before.
  QVERIFY(!d.run().busy());
  QVERIFY(!d.isVisible());
  h.dialog.reset();
}

void DialogDownloadTest::aWorkersBoxGivesWayToTheStop() {
  GuiHarness h;
  h.project = SimulatorProject();
  h.message_boxes = true;
  h.command_line_port = "/nonexistent/ttyQ9";
  fw::FlasherDialog& d = h.Start();
  QString shown;
  bool worker_waiting = false;
  OnNextModal([&](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (box == nullptr) return;
    shown = box->windowTitle() + ": " + box->text();
    // The box is the worker's: the window's thread runs it while the worker waits.
    worker_waiting = d.run().busy();
    d.stop_button()->click();
  });
  QTest::mouseClick(d.start_once_button(), Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(!d.busy(), 5000);
  QVERIFY2(shown.startsWith(QStringLiteral("ERROR: Device open fail !")), qPrintable(shown));
  QVERIFY(worker_waiting);
  QCOMPARE(d.run().last_result(), -1);
  QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
  QVERIFY(LogHas(d, QStringLiteral("Device open fail !")));
}

void DialogDownloadTest::aWorkersBoxAnsweredEndsTheRun() {
  GuiHarness h;
  h.project = SimulatorProject();
  h.message_boxes = true;
  h.command_line_port = "/nonexistent/ttyQ9";
  fw::FlasherDialog& d = h.Start();
  bool answered = false;
  OnNextModal([&](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (box == nullptr) return;
    QVERIFY(d.run().busy());
    answered = true;
    box->buttons().at(0)->click();
  });
  QTest::mouseClick(d.start_once_button(), Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(!d.busy(), 5000);
  QVERIFY(answered);
  QVERIFY(!d.stop_requested());
  QCOMPARE(d.counter_label()->text(), QStringLiteral("0"));
}

namespace {

// What another program of the project stores after its download.
void StoreElsewhere(fw::Profile& profile, std::uint64_t serial, std::uint32_t passes) {
  std::string reason;
  QVERIFY(profile.Write(
      fw::CounterChanges(passes, {fw::SerialValue::FromUnsigned64(serial), std::nullopt}), reason));
}

std::vector<std::uint8_t> FlashSerial(const fw::sim::BootLoaderSim& sim) {
  const std::vector<std::uint8_t> flash = sim.Flash();
  if (flash.size() < 0x104) return {};
  return {flash.begin() + 0x100, flash.begin() + 0x104};
}

}  // namespace

// Another program of the project advanced the profile while the window was
// open: its number replaces the edit the operator left alone, and the counter
// counts on from its count; a number the operator typed wins.
void DialogDownloadTest::anotherProgramsNumberReplacesOnlyAnUntouchedEdit() {
  Simulator simulator;
  std::string error;
  QVERIFY2(simulator.Start(error), error.c_str());
  fw::sim::BootLoaderSim& sim = *simulator;
  GuiHarness h;
  h.project = SimulatorProject();
  h.devices.devices = {CableOn(sim.slave_path())};
  fw::FlasherDialog& d = h.Start();
  QCOMPARE(d.serial_edit(SerialEdit::kFirst)->text(), QStringLiteral("100"));

  StoreElsewhere(h.profile, 150, 7);
  QTest::mouseClick(d.start_once_button(), Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(!d.busy(), kDownloadTimeoutMs);
  QVERIFY2(d.run().last_result() == 0, qPrintable(d.log()->toPlainText()));
  QCOMPARE(FlashSerial(sim), (std::vector<std::uint8_t>{0x00, 0x00, 0x01, 0x50}));
  QCOMPARE(d.serial_edit(SerialEdit::kFirst)->text(), QStringLiteral("151"));
  QCOMPARE(d.counter_label()->text(), QStringLiteral("8"));

  StoreElsewhere(h.profile, 300, 9);
  QLineEdit* edit = d.serial_edit(SerialEdit::kFirst);
  edit->clear();
  QTest::keyClicks(edit, QStringLiteral("500"));
  QTest::mouseClick(d.start_once_button(), Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(!d.busy(), kDownloadTimeoutMs);
  QVERIFY2(d.run().last_result() == 0, qPrintable(d.log()->toPlainText()));
  QCOMPARE(FlashSerial(sim), (std::vector<std::uint8_t>{0x00, 0x00, 0x05, 0x00}));
  QCOMPARE(edit->text(), QStringLiteral("501"));
  QCOMPARE(fw::ReadStoredSerials(h.profile)[0], fw::SerialValue::FromUnsigned64(501));
  QCOMPARE(d.counter_label()->text(), QStringLiteral("10"));
}

// The number grows past what four BCD bytes hold (the edit takes no more
// digits, but a download advances it): the next start stops before the chip is
// contacted, with the message in the log and a box; a window started with
// --serial-wrap writes the low bytes.
void DialogDownloadTest::aSerialNumberThatOutgrowsItsLengthStopsUnlessItWraps() {
  Simulator simulator;
  std::string error;
  QVERIFY2(simulator.Start(error), error.c_str());
  fw::sim::BootLoaderSim& sim = *simulator;
  const QString message = QStringLiteral(
      "Serial number 1 is 100000000, more than its 4 bytes hold in its format (at most "
      "99999999): nothing was erased, the run stops !");
  for (const bool wrap : {false, true}) {
    GuiHarness h;
    h.project = SimulatorProject();
    h.devices.devices = {CableOn(sim.slave_path())};
    h.serial_wrap = wrap;
    fw::FlasherDialog& d = h.Start();
    QLineEdit* edit = d.serial_edit(SerialEdit::kFirst);
    edit->clear();
    QTest::keyClicks(edit, QStringLiteral("99999999"));
    QTest::mouseClick(d.start_once_button(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!d.busy(), kDownloadTimeoutMs);
    QVERIFY2(d.run().last_result() == 0, qPrintable(d.log()->toPlainText()));
    QCOMPARE(FlashSerial(sim), (std::vector<std::uint8_t>{0x99, 0x99, 0x99, 0x99}));
    QCOMPARE(edit->text(), QStringLiteral("100000000"));
    const int downloads = sim.downloads();
    QTest::mouseClick(d.start_once_button(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!d.busy(), kDownloadTimeoutMs);
    if (!wrap) {
      QVERIFY2(LogHas(d, message), qPrintable(d.log()->toPlainText()));
      QCOMPARE(h.dialogs->Messages(), std::vector<std::string>{"ERROR: " + message.toStdString()});
      QCOMPARE(sim.downloads(), downloads);
      QCOMPARE(edit->text(), QStringLiteral("100000000"));
      QCOMPARE(d.counter_label()->text(), QStringLiteral("1"));
      QVERIFY(d.start_once_button()->isEnabled());
    } else {
      QVERIFY2(d.run().last_result() == 0, qPrintable(d.log()->toPlainText()));
      QCOMPARE(sim.downloads(), downloads + 1);
      QCOMPARE(FlashSerial(sim), (std::vector<std::uint8_t>{0x00, 0x00, 0x00, 0x00}));
      QCOMPARE(edit->text(), QStringLiteral("100000001"));
      QVERIFY(h.dialogs->Messages().empty());
    }
  }
}

QTEST_MAIN(DialogDownloadTest)
#include "dialog_download_test.moc"
