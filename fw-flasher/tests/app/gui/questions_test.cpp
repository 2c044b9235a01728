// The window's own questions as the operator meets them in real message
// boxes: "No" is what Enter answers in the close and counter-reset questions,
// every box is wide enough for its title (the application name), and the close
// question goes by itself, closing the window, once the run it asks about has
// ended, but not when one pass of a repeated run ends.
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

#include "app/run/download_run.h"
#include "app/run/profile.h"
#include "tests/app/gui/gui_harness.h"
#include "tests/app/gui/sim_harness.h"
#include "tests/support/pseudo_terminal.h"

using fw::test::CableOn;
using fw::test::GuiHarness;
using fw::test::kDownloadTimeoutMs;
using fw::test::MakeProject;
using fw::test::OnNextModal;
using fw::test::ProjectStrings;
using fw::test::SimulatorProject;

namespace {

// An application name longer than either question.
constexpr const char* kLongName = "Relay controller production line flasher (station 2)";

struct SeenBox {
  QString title;
  QString text;
  QString default_button;
  int width = 0;
  int title_width = 0;
};

SeenBox Look(QMessageBox* box) {
  SeenBox seen;
  seen.title = box->windowTitle();
  seen.text = box->text();
  seen.default_button = box->defaultButton() != nullptr ? box->defaultButton()->text() : QString();
  seen.width = box->width();
  seen.title_width = box->fontMetrics().horizontalAdvance(seen.title);
  return seen;
}

// Clicks the button with the text once the box has been open for a while; the
// question that should have gone by itself is answered so that the test ends.
void AnswerLater(QPointer<QMessageBox> box, const QString& button, int after_ms) {
  QTimer::singleShot(after_ms, [box, button] {
    if (!box) return;
    for (QAbstractButton* b : box->buttons())
      if (b->text() == button) b->click();
  });
}

}  // namespace

class QuestionsTest : public QObject {
  Q_OBJECT
 private slots:
  void enterAnswersNoToTheResetQuestion_data();
  void enterAnswersNoToTheResetQuestion();
  void enterAnswersNoToTheCloseQuestion();
  void theCloseQuestionGoesWhenTheRunEnds();
  void theCloseQuestionOutlivesAPassOfARepeatedRun();
};

void QuestionsTest::enterAnswersNoToTheResetQuestion_data() {
  QTest::addColumn<bool>("chinese");
  QTest::newRow("English") << false;
  QTest::newRow("Chinese") << true;
}

void QuestionsTest::enterAnswersNoToTheResetQuestion() {
  QFETCH(bool, chinese);
  GuiHarness h;
  std::vector<std::string> strings = ProjectStrings(chinese);
  strings[11] = kLongName;
  h.project = MakeProject(strings);
  h.language = chinese ? fw::kLanguageChinese : fw::kLanguageEnglish;
  h.message_boxes = true;
  h.profile.ints[std::string(fw::profile_keys::kPassCounter)] = 12;
  fw::FlasherDialog& d = h.Start();
  SeenBox seen;
  OnNextModal([&seen](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (box == nullptr) return;
    seen = Look(box);
    QTest::keyClick(box, Qt::Key_Return);
  });
  QTest::mouseClick(d.reset_button(), Qt::LeftButton);
  QCOMPARE(seen.title, QString::fromUtf8(kLongName));
  QCOMPARE(seen.default_button, chinese ? QStringLiteral("否") : QStringLiteral("No"));
  QVERIFY2(seen.width > seen.title_width,
           qPrintable(QStringLiteral("%1 <= %2").arg(seen.width).arg(seen.title_width)));
  // Enter said No: nothing was reset.
  QCOMPARE(d.counter_label()->text(), QStringLiteral("12"));
  QCOMPARE(h.profile.ReadInt(fw::profile_keys::kPassCounter, -1), 12);
}

void QuestionsTest::enterAnswersNoToTheCloseQuestion() {
  fw::test::PseudoTerminal silent;
  QVERIFY(silent.ok());
  GuiHarness h;
  h.project = SimulatorProject();
  h.project.strings[11] = kLongName;
  h.message_boxes = true;
  h.devices.devices = {CableOn(silent.slave_path())};
  fw::FlasherDialog& d = h.Start();
  QTest::mouseClick(d.start_once_button(), Qt::LeftButton);
  SeenBox seen;
  OnNextModal([&seen](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (box == nullptr) return;
    seen = Look(box);
    QTest::keyClick(box, Qt::Key_Return);
  });
  QVERIFY(!d.close());
  QCOMPARE(seen.text, QStringLiteral("Downloading is in progress.\nAre you sure to terminate ?"));
  QCOMPARE(seen.default_button, QStringLiteral("No"));
  QVERIFY(seen.width > seen.title_width);
  QVERIFY(d.isVisible());
  QVERIFY(d.run().busy());
  QVERIFY(!d.stop_requested());
}

// The question is asked while a download into the chip runs; the download
// ends by itself: the question goes, and the window closes.
void QuestionsTest::theCloseQuestionGoesWhenTheRunEnds() {
  fw::test::Simulator simulator;
  std::string error;
  QVERIFY2(simulator.Start(error), error.c_str());
  GuiHarness h;
  h.project = SimulatorProject();
  h.message_boxes = true;
  h.devices.devices = {CableOn(simulator->slave_path())};
  fw::FlasherDialog& d = h.Start();
  QTest::mouseClick(d.start_once_button(), Qt::LeftButton);
  QPointer<QMessageBox> question;
  OnNextModal([&question](QWidget* modal) {
    question = qobject_cast<QMessageBox*>(modal);
    AnswerLater(question, QStringLiteral("No"), kDownloadTimeoutMs);
  });
  QElapsedTimer closing;
  closing.start();
  QVERIFY(d.close());
  QVERIFY2(closing.elapsed() < kDownloadTimeoutMs, "the question waited for an answer");
  QVERIFY(question.isNull() || !question->isVisible());
  QVERIFY(!d.isVisible());
  QVERIFY(!d.run().busy());
  // The download was not stopped: it ended by itself and counted.
  QCOMPARE(d.run().last_result(), 0);
  QCOMPARE(simulator->downloads(), 1);
  QCOMPARE(h.profile.ReadInt(fw::profile_keys::kPassCounter, 0), 1);
}

// In a repeated run the end of a pass leaves the run busy: the question stays
// open through the passes and goes when the run ends (the test ends it through
// the run, as the stop button would).
void QuestionsTest::theCloseQuestionOutlivesAPassOfARepeatedRun() {
  fw::test::Simulator simulator;
  std::string error;
  QVERIFY2(simulator.Start(error), error.c_str());
  GuiHarness h;
  h.project = SimulatorProject(/*repeat_delay=*/0);
  h.message_boxes = true;
  h.devices.devices = {CableOn(simulator->slave_path())};
  fw::FlasherDialog& d = h.Start();
  QTest::mouseClick(d.start_repeat_button(), Qt::LeftButton);
  QPointer<QMessageBox> question;
  bool open_after_a_pass = false;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (question.isNull() || d.run().passes_this_run() < 2) return;
    watch.stop();
    open_after_a_pass = question->isVisible();
    d.run().StopDownload();
  });
  OnNextModal([&](QWidget* modal) {
    question = qobject_cast<QMessageBox*>(modal);
    AnswerLater(question, QStringLiteral("No"), 3 * kDownloadTimeoutMs);
    watch.start(20);
  });
  QVERIFY(d.close());
  QVERIFY(open_after_a_pass);
  QVERIFY(!d.isVisible());
  QVERIFY(!d.run().busy());
  QVERIFY(d.run().passes_this_run() >= 2);
}

QTEST_MAIN(QuestionsTest)
#include "questions_test.moc"
