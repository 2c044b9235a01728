// The four editors against their real widgets, opened from the main window:
// add / change / insert above / insert below, the failure message, the loop
// editor's coupling and the serial-trigger editor's field rules.

#include "GuiHarness.h"

#include "IO.h"
#include "TitleBar.h"
#include "Unit4.h"
#include "ptimes.h"
#include "xunhuan.h"

#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QWindow>
#include <QtTest>

#include <functional>

using namespace relay::app;
using relay::app::testing::GuiHarness;
using relay::model::Action;

namespace {

const char* kFailure = "操作失败！";

void ClickBox(QAbstractButton* box) {
  QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
}

void TypeInto(QSpinBox* box, const QString& text) {
  box->setFocus();
  box->selectAll();
  QTest::keyClicks(box, text);
}

}  // namespace

class EditorsTest : public QObject {
  Q_OBJECT
 private slots:
  void eachEditorStoresWithTheModeOfItsButton_data();
  void eachEditorStoresWithTheModeOfItsButton();
  void refusalsShowTheFailureAndKeepTheEditorOpen_data();
  void refusalsShowTheFailureAndKeepTheEditorOpen();
  void theSectorCapacityRefusesAnAdd();
  void openingOnAnotherKindKeepsTheFields();
  void editorsHaveTheirTitlesSizesAndButtons();
  void editorsOpenCentredAboveTheMainWindow();
  void loopEditorCoupling();
  void serialTriggerHexSwitch();
  void serialTriggerActionAndOutputRules();
  void serialTriggerEncodesItsFields();
  void serialTriggerTooLongWarnsThenFails();
  void serialTriggerHoldNotAnInteger();
  void serialTriggerOpensFilledFromAnEntry();
  void editorsStayInFrontOfTheMainWindow();
  void theHoldBoxStoresWhatIsTyped_data();
  void theHoldBoxStoresWhatIsTyped();
  void enterPressesTheDefaultButton();
  void anEmptiedValueBoxRefuses();
};

void EditorsTest::eachEditorStoresWithTheModeOfItsButton_data() {
  QTest::addColumn<QString>("editorButton");
  QTest::addColumn<int>("mode");
  QTest::addColumn<QStringList>("after");
  const QString io = QStringLiteral("IO类动作"), timer = QStringLiteral("定时器"),
                loop = QStringLiteral("循环类动作"), trigger = QStringLiteral("串口类动作");
  // The list holds A, B, C with B selected; each editor makes its entry N.
  struct {
    QString button;
    const char* name;
  } editors[] = {{io, "io"}, {timer, "timer"}, {loop, "loop"}, {trigger, "trigger"}};
  for (const auto& e : editors) {
    QTest::addRow("%s 增加", e.name) << e.button << 0 << QStringList{"A", "B", "C", "N"};
    QTest::addRow("%s 修改", e.name) << e.button << 1 << QStringList{"A", "N", "C"};
    QTest::addRow("%s 向上插入", e.name) << e.button << 2 << QStringList{"A", "N", "B", "C"};
    QTest::addRow("%s 向下插入", e.name) << e.button << 3 << QStringList{"A", "B", "N", "C"};
  }
}

void EditorsTest::eachEditorStoresWithTheModeOfItsButton() {
  QFETCH(QString, editorButton);
  QFETCH(int, mode);
  QFETCH(QStringList, after);
  GuiHarness h;
  TForm1& w = h.start();
  const std::map<QString, std::string> names = {
      {"A", "02 80 01 83"}, {"B", "04 00 01 05"}, {"C", "00 00 03 03"}};
  for (const char* n : {"A", "B", "C"}) QVERIFY(w.program().Store(names.at(n), 0));
  h.select(1);

  std::string made;
  EditorWindow* editor = nullptr;
  if (editorButton == QStringLiteral("IO类动作")) {
    editor = w.ioEditor();
    w.ioEditor()->channelBoxes().box(1)->setChecked(true);
    w.ioEditor()->channelBoxes().box(16)->setChecked(true);
    made = "02 80 01 83";
  }
  QTest::mouseClick(w.button(editorButton), Qt::LeftButton);
  if (editorButton == QStringLiteral("IO类动作")) {
    // Not filled from the timer selected: the ticks above stay.
    ClickBox(w.ioEditor()->actionButtons().button(Action::Toggle));
    made = "03 80 01 84";
  } else if (editorButton == QStringLiteral("定时器")) {
    editor = w.timerEditor();
    QCOMPARE(w.timerEditor()->valueBox()->value(), 1);  // filled from B
    TypeInto(w.timerEditor()->valueBox(), QStringLiteral("10"));
    made = "04 00 0A 0E";
  } else if (editorButton == QStringLiteral("循环类动作")) {
    editor = w.loopEditor();
    ClickBox(w.loopEditor()->foreverBox());
    made = "00 FF FF FE";
  } else {
    editor = w.triggerEditor();
    Tpanduan* t = w.triggerEditor();
    ClickBox(t->actionButtons().button(Action::Close));
    t->channelBoxes().box(1)->setChecked(true);
    ClickBox(t->hexBox());
    QTest::keyClicks(t->patternField(), QStringLiteral("01 02"));
    made = "85 00 01 05 00 00 00 01 02 8E";
  }
  QVERIFY(editor->isVisible());
  QVERIFY(!w.isEnabled());
  QTest::mouseClick(editor->buttonForMode(mode), Qt::LeftButton);
  QVERIFY2(h.dialogs.shown().empty(),
           h.dialogs.texts().empty() ? "" : h.dialogs.texts().front().c_str());
  QVERIFY(!editor->isVisible());
  QVERIFY(w.isEnabled());
  std::vector<std::string> expected;
  for (const QString& n : after) expected.push_back(n == "N" ? made : names.at(n));
  QCOMPARE(h.entries(), expected);
  // The selection stays on the entry that was selected.
  const size_t selected = mode == 2 ? 2 : 1;
  QCOMPARE(w.program().Selection(), std::optional<size_t>(selected));
  QVERIFY(w.list()->topLevelItem(int(selected))->isSelected());
}

void EditorsTest::refusalsShowTheFailureAndKeepTheEditorOpen_data() {
  QTest::addColumn<int>("editorIndex");
  QTest::addColumn<int>("mode");
  QTest::addColumn<bool>("withEntry");
  QTest::newRow("IO action without radio button") << 0 << 0 << true;
  QTest::newRow("IO action 修改 without selection") << 1 << 1 << false;
  QTest::newRow("timer 向上插入 without selection") << 2 << 2 << false;
  QTest::newRow("loop 向下插入 without selection") << 3 << 3 << false;
  QTest::newRow("serial trigger without channel") << 4 << 0 << true;
}

void EditorsTest::refusalsShowTheFailureAndKeepTheEditorOpen() {
  QFETCH(int, editorIndex);
  QFETCH(int, mode);
  QFETCH(bool, withEntry);
  GuiHarness h;
  TForm1& w = h.start();
  if (withEntry) QVERIFY(w.program().Store("04 00 01 05", 0));
  EditorWindow* editor = nullptr;
  QString button;
  switch (editorIndex) {
    case 0:  // channels ticked, no action chosen
      w.ioEditor()->channelBoxes().box(3)->setChecked(true);
      editor = w.ioEditor();
      button = QStringLiteral("IO类动作");
      break;
    case 1:
      w.ioEditor()->channelBoxes().box(3)->setChecked(true);
      w.ioEditor()->actionButtons().setAction(Action::Open);
      editor = w.ioEditor();
      button = QStringLiteral("IO类动作");
      break;
    case 2:
      editor = w.timerEditor();
      button = QStringLiteral("定时器");
      break;
    case 3:
      editor = w.loopEditor();
      button = QStringLiteral("循环类动作");
      break;
    default:
      w.triggerEditor()->actionButtons().setAction(Action::Open);
      w.triggerEditor()->patternField()->setText(QStringLiteral("go"));
      editor = w.triggerEditor();
      button = QStringLiteral("串口类动作");
  }
  const auto before = h.entries();
  QTest::mouseClick(w.button(button), Qt::LeftButton);
  QTest::mouseClick(editor->buttonForMode(mode), Qt::LeftButton);
  QCOMPARE(h.dialogs.texts(), std::vector<std::string>{kFailure});
  QCOMPARE(h.dialogs.shown()[0].title, std::string("警告："));
  QCOMPARE(int(h.dialogs.shown()[0].icon), int(MessageIcon::Error));
  QVERIFY(editor->isVisible());
  QVERIFY(!w.isEnabled());
  QCOMPARE(h.entries(), before);
  editor->finish();
  QVERIFY(w.isEnabled());
}

void EditorsTest::theSectorCapacityRefusesAnAdd() {
  GuiHarness h;
  TForm1& w = h.start();
  for (int i = 0; i < 127; ++i) QVERIFY(w.program().Store("04 00 01 05", 0));  // 508 bytes
  QTest::mouseClick(w.button(QStringLiteral("定时器")), Qt::LeftButton);
  QTest::mouseClick(w.timerEditor()->buttonForMode(0), Qt::LeftButton);
  QVERIFY(h.dialogs.shown().empty());
  QCOMPARE(w.program().Total(), 512);
  QTest::mouseClick(w.button(QStringLiteral("定时器")), Qt::LeftButton);
  QTest::mouseClick(w.timerEditor()->buttonForMode(0), Qt::LeftButton);
  QCOMPARE(h.dialogs.texts(), std::vector<std::string>{kFailure});
  QCOMPARE(w.program().Total(), 512);
}

void EditorsTest::openingOnAnotherKindKeepsTheFields() {
  GuiHarness h;
  TForm1& w = h.start();
  QVERIFY(w.program().Store("02 00 05 07", 0));  // open on 1 and 3
  QVERIFY(w.program().Store("04 00 01 05", 0));
  h.select(0);
  QTest::mouseClick(w.button(QStringLiteral("IO类动作")), Qt::LeftButton);
  QVERIFY(w.ioEditor()->channelBoxes().box(1)->isChecked());
  QVERIFY(w.ioEditor()->channelBoxes().box(3)->isChecked());
  QCOMPARE(int(w.ioEditor()->actionButtons().action()), int(Action::Open));
  w.ioEditor()->channelBoxes().box(9)->setChecked(true);
  w.ioEditor()->finish();
  h.select(1);
  QTest::mouseClick(w.button(QStringLiteral("IO类动作")), Qt::LeftButton);
  QCOMPARE(w.ioEditor()->encodeFields().hexText, std::string("02 01 05 08"));
}

void EditorsTest::editorsHaveTheirTitlesSizesAndButtons() {
  GuiHarness h;
  TForm1& w = h.start();
  struct {
    EditorWindow* editor;
    QString title;
    QSize client;
    int buttonTop;
  } cases[] = {
      {w.ioEditor(), QStringLiteral("编程  -> IO类动作"), {464, 280}, 216},
      {w.timerEditor(), QStringLiteral("编程  -> 定时器"), {461, 280}, 216},
      {w.loopEditor(), QStringLiteral("编程  -> 指令循环"), {462, 279}, 216},
      {w.triggerEditor(), QStringLiteral("编程  -> 串口类指令"), {612, 499}, 440},
  };
  for (const auto& c : cases) {
    QCOMPARE(c.editor->titleBar()->title(), c.title);
    QCOMPARE(c.editor->client()->size(), c.client);
    QVERIFY(!c.editor->isVisible());
    QStringList captions;
    int lastLeft = -1;
    for (int i = 0; i < 4; ++i) {
      QPushButton* b = c.editor->actionButton(i);
      captions << b->text();
      QCOMPARE(b->size(), QSize(80, 30));
      QCOMPARE(b->y(), c.buttonTop);
      QVERIFY(b->x() > lastLeft);
      lastLeft = b->x();
    }
    QCOMPARE(captions, QStringList({"向上插入", "向下插入", "修改", "增加"}));
  }
  QCOMPARE(w.ioEditor()->channelBoxes().box(5)->pos(), QPoint(136, 32));
  QCOMPARE(w.ioEditor()->channelBoxes().box(16)->pos(), QPoint(344, 128));
  QCOMPARE(w.ioEditor()->channelBoxes().box(16)->text(), QStringLiteral("第 16 路"));
  QCOMPARE(w.timerEditor()->valueBox()->maximum(), 65535);
  QCOMPARE(w.timerEditor()->valueBox()->value(), 1);
  QCOMPARE(w.loopEditor()->valueBox()->value(), 0);
  QVERIFY(!w.loopEditor()->invalidBox()->isChecked());
  QVERIFY(!w.triggerEditor()->holdBox()->isEnabled());
  QVERIFY(!w.triggerEditor()->outputField()->isEnabled());
  QCOMPARE(w.triggerEditor()->holdBox()->count(), 15);
  QCOMPARE(w.triggerEditor()->outputModeBox()->currentText(), QStringLiteral("无输出"));
}

void EditorsTest::editorsOpenCentredAboveTheMainWindow() {
  GuiHarness h;
  TForm1& w = h.start();
  w.move(30, 20);
  const std::pair<const char*, EditorWindow*> editors[] = {{"IO类动作", w.ioEditor()},
                                                           {"定时器", w.timerEditor()},
                                                           {"循环类动作", w.loopEditor()},
                                                           {"串口类动作", w.triggerEditor()}};
  for (const auto& [button, editor] : editors) {
    QTest::mouseClick(w.button(QString::fromUtf8(button)), Qt::LeftButton);
    QVERIFY2(editor->isVisible(), button);
    QVERIFY(!w.isEnabled());
    QVERIFY2(qAbs(editor->frameGeometry().center().x() - w.frameGeometry().center().x()) <= 1,
             button);
    QVERIFY2(qAbs(editor->frameGeometry().center().y() - w.frameGeometry().center().y()) <= 1,
             button);
    // Kept above the disabled main window, so that a click on it cannot
    // hide the only window that takes input.
    QVERIFY2(editor->windowHandle() != nullptr &&
                 editor->windowHandle()->transientParent() == w.windowHandle(),
             button);
    // A one-pixel frame around the client area; the title bar above it.
    QCOMPARE(editor->client()->geometry().topLeft(), QPoint(1, TitleBar::kHeight));
    QCOMPARE(editor->size(), editor->client()->size() + QSize(2, TitleBar::kHeight + 1));
    QCOMPARE(editor->titleBar()->width(), editor->width());
    editor->finish();
    QVERIFY(w.isEnabled());
  }
}

void EditorsTest::loopEditorCoupling() {
  GuiHarness h;
  TForm1& w = h.start();
  QTest::mouseClick(w.button(QStringLiteral("循环类动作")), Qt::LeftButton);
  TForm3* loop = w.loopEditor();
  struct Step {
    std::function<void()> act;
    int value;
    bool invalid, keep;
  } steps[] = {
      {[&] { TypeInto(loop->valueBox(), "65535"); }, 65535, false, true},
      {[&] { TypeInto(loop->valueBox(), "3"); }, 3, false, false},
      {[&] { TypeInto(loop->valueBox(), "0"); }, 0, true, false},
      {[&] { ClickBox(loop->foreverBox()); }, 65535, false, true},
      {[&] { ClickBox(loop->foreverBox()); }, 65535, false,
       false},  // clearing changes nothing else
      {[&] { ClickBox(loop->invalidBox()); }, 0, true, false},
      {[&] { ClickBox(loop->invalidBox()); }, 0, false, false},
      {[&] { TypeInto(loop->valueBox(), "12"); }, 12, false, false},
      {[&] { ClickBox(loop->invalidBox()); }, 0, true, false},
  };
  int n = 0;
  for (const auto& s : steps) {
    const QByteArray label = "step " + QByteArray::number(++n);
    s.act();
    QVERIFY2(loop->valueBox()->value() == s.value, label);
    QVERIFY2(loop->invalidBox()->isChecked() == s.invalid, label);
    QVERIFY2(loop->foreverBox()->isChecked() == s.keep, label);
  }
  QTest::mouseClick(loop->buttonForMode(0), Qt::LeftButton);
  QCOMPARE(h.entries(), std::vector<std::string>{"00 00 00 00"});
}

void EditorsTest::serialTriggerHexSwitch() {
  GuiHarness h;
  TForm1& w = h.start();
  Tpanduan* t = w.triggerEditor();
  QTest::mouseClick(w.button(QStringLiteral("串口类动作")), Qt::LeftButton);
  QTest::keyClicks(t->patternField(), QStringLiteral("AB"));
  ClickBox(t->hexBox());
  QCOMPARE(t->patternField()->text(), QStringLiteral("41 42"));
  ClickBox(t->hexBox());
  QCOMPARE(t->patternField()->text(), QStringLiteral("AB"));
  t->patternField()->setText(QStringLiteral("开"));
  ClickBox(t->hexBox());
  QCOMPARE(t->patternField()->text(), QStringLiteral("BF AA"));  // the GBK bytes
  t->patternField()->setText(QStringLiteral("ff fe"));
  ClickBox(t->hexBox());  // no text: the view stays HEX
  QVERIFY(t->hexBox()->isChecked());
  QCOMPARE(t->patternField()->text(), QStringLiteral("ff fe"));
}

void EditorsTest::serialTriggerActionAndOutputRules() {
  GuiHarness h;
  TForm1& w = h.start();
  Tpanduan* t = w.triggerEditor();
  QTest::mouseClick(w.button(QStringLiteral("串口类动作")), Qt::LeftButton);
  ClickBox(t->actionButtons().button(Action::Open));
  QVERIFY(t->holdBox()->isEnabled());
  t->holdBox()->setCurrentText(QStringLiteral("100"));
  ClickBox(t->actionButtons().button(Action::Close));
  QCOMPARE(t->holdBox()->currentText(), QStringLiteral("100"));
  ClickBox(t->actionButtons().button(Action::Toggle));
  QCOMPARE(t->holdBox()->currentText(), QStringLiteral("0"));
  QVERIFY(!t->holdBox()->isEnabled());

  t->outputModeBox()->setCurrentIndex(2);
  QVERIFY(t->outputField()->isEnabled());
  QTest::keyClicks(t->outputField(), QStringLiteral("0A 0B"));
  t->outputModeBox()->setCurrentIndex(0);
  QVERIFY(t->outputField()->text().isEmpty());
  QVERIFY(!t->outputField()->isEnabled());
  t->outputModeBox()->setCurrentIndex(2);
  QVERIFY(t->outputField()->text().isEmpty());
  QVERIFY(t->outputField()->isEnabled());
  t->outputModeBox()->setCurrentIndex(1);
  QVERIFY(!t->outputField()->isEnabled());

  // A toggle made here holds for ever: output byte bit 7 clear.
  t->channelBoxes().box(9)->setChecked(true);
  ClickBox(t->hexBox());
  QTest::keyClicks(t->patternField(), QStringLiteral("AA"));
  QTest::mouseClick(t->buttonForMode(0), Qt::LeftButton);
  QCOMPARE(h.entries(), std::vector<std::string>{"87 01 00 04 20 00 00 AA 56"});
}

void EditorsTest::serialTriggerEncodesItsFields() {
  GuiHarness h;
  TForm1& w = h.start();
  Tpanduan* t = w.triggerEditor();
  QTest::mouseClick(w.button(QStringLiteral("串口类动作")), Qt::LeftButton);
  ClickBox(t->actionButtons().button(Action::Open));
  t->channelBoxes().box(2)->setChecked(true);
  t->holdBox()->setCurrentText(QStringLiteral("50"));
  QTest::keyClicks(t->patternField(), QStringLiteral("AB"));
  t->outputModeBox()->setCurrentIndex(2);
  QTest::keyClicks(t->outputField(), QStringLiteral("0a  0b"));
  QTest::mouseClick(t->buttonForMode(0), Qt::LeftButton);
  QCOMPARE(h.entries(), std::vector<std::string>{"86 00 02 87 C2 00 32 0a 0b 41 42 9B"});
  QCOMPARE(w.list()->topLevelItem(0)->text(1),
           QStringLiteral("收到ASCII指令 AB 打开 第 2 路 串口输出HEX 0a 0b 通道维持5000mS"));
}

void EditorsTest::serialTriggerTooLongWarnsThenFails() {
  GuiHarness h;
  TForm1& w = h.start();
  Tpanduan* t = w.triggerEditor();
  QTest::mouseClick(w.button(QStringLiteral("串口类动作")), Qt::LeftButton);
  ClickBox(t->actionButtons().button(Action::Open));
  t->channelBoxes().box(1)->setChecked(true);
  t->patternField()->setText(QString(100, QLatin1Char('x')));
  t->outputModeBox()->setCurrentIndex(3);
  t->outputField()->setText(QString(30, QLatin1Char('y')));
  QTest::mouseClick(t->buttonForMode(0), Qt::LeftButton);
  QCOMPARE(
      h.dialogs.texts(),
      (std::vector<std::string>{"串口反馈内容超过32字节 或 其和串口指令超过126字节！", kFailure}));
  QCOMPARE(h.dialogs.shown()[0].title, std::string("警告："));
  QVERIFY(h.entries().empty());
  QVERIFY(t->isVisible());
}

void EditorsTest::serialTriggerHoldNotAnInteger() {
  GuiHarness h;
  TForm1& w = h.start();
  Tpanduan* t = w.triggerEditor();
  QTest::mouseClick(w.button(QStringLiteral("串口类动作")), Qt::LeftButton);
  ClickBox(t->actionButtons().button(Action::Close));
  t->channelBoxes().box(1)->setChecked(true);
  t->patternField()->setText(QStringLiteral("A"));
  t->holdBox()->setCurrentText(QStringLiteral("1.5"));
  QTest::mouseClick(t->buttonForMode(0), Qt::LeftButton);
  QCOMPARE(h.dialogs.shown().size(), size_t(1));
  QCOMPARE(int(h.dialogs.shown()[0].kind), int(ScriptedDialogs::Kind::Error));
  QVERIFY2(h.dialogs.texts()[0].find("'1.5' is not a valid integer value") != std::string::npos,
           h.dialogs.texts()[0].c_str());
  QVERIFY(h.entries().empty());
  QVERIFY(t->isVisible());
  QCOMPARE(t->holdBox()->currentText(), QStringLiteral("1.5"));
}

void EditorsTest::serialTriggerOpensFilledFromAnEntry() {
  GuiHarness h;
  TForm1& w = h.start();
  QVERIFY(w.program().Store("86 00 02 87 C2 00 32 0A 0B 41 42 9B", 0));
  h.select(0);
  Tpanduan* t = w.triggerEditor();
  QTest::mouseClick(w.button(QStringLiteral("串口类动作")), Qt::LeftButton);
  QCOMPARE(int(t->actionButtons().action()), int(Action::Open));
  for (int c = 1; c <= 16; ++c) QCOMPARE(t->channelBoxes().box(c)->isChecked(), c == 2);
  QCOMPARE(t->holdBox()->currentText(), QStringLiteral("50"));
  QVERIFY(t->holdBox()->isEnabled());
  QCOMPARE(t->outputModeBox()->currentText(), QStringLiteral("HEX输出"));
  QCOMPARE(t->outputField()->text(), QStringLiteral("0A 0B"));
  QVERIFY(t->outputField()->isEnabled());
  QVERIFY(!t->hexBox()->isChecked());
  QCOMPARE(t->patternField()->text(), QStringLiteral("AB"));
  // "修改" with the fields as decoded gives the entry back.
  QTest::mouseClick(t->buttonForMode(1), Qt::LeftButton);
  QCOMPARE(h.entries(), std::vector<std::string>{"86 00 02 87 C2 00 32 0A 0B 41 42 9B"});
}

// Each editor is owned by the main window (transient for it), so the window
// manager keeps it above the disabled main window and raises it with it; the
// boxes it shows belong to it.
void EditorsTest::editorsStayInFrontOfTheMainWindow() {
  GuiHarness h;
  TForm1& w = h.start();
  const std::pair<const char*, EditorWindow*> editors[] = {{"IO类动作", w.ioEditor()},
                                                           {"定时器", w.timerEditor()},
                                                           {"循环类动作", w.loopEditor()},
                                                           {"串口类动作", w.triggerEditor()}};
  for (const auto& [button, editor] : editors) {
    QTest::mouseClick(w.button(QString::fromUtf8(button)), Qt::LeftButton);
    QVERIFY2(editor->isVisible(), button);
    QCOMPARE(editor->parentWidget(), &w);
    QVERIFY(editor->isWindow());
    QCOMPARE(editor->windowType(), Qt::Dialog);
    QVERIFY(editor->windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(editor->windowModality(), Qt::NonModal);
    QVERIFY(editor->windowHandle() != nullptr);
    QCOMPARE(editor->windowHandle()->transientParent(), w.windowHandle());
    // The main window is disabled, the editor takes input.
    QVERIFY(!w.isEnabled());
    QVERIFY(editor->isEnabled());
    QVERIFY(editor->buttonForMode(0)->isEnabled());
    // "修改" without a selection fails: the box belongs to the editor.
    h.dialogs.forget();
    QTest::mouseClick(editor->buttonForMode(1), Qt::LeftButton);
    QCOMPARE(h.dialogs.texts(), std::vector<std::string>{kFailure});
    QCOMPARE(h.dialogs.shown()[0].owner, editor);
    QVERIFY(editor->isVisible());
    editor->finish();
    QVERIFY(w.isEnabled());
  }
  // Boxes of the main window itself belong to the main window.
  h.dialogs.forget();
  QTest::mouseClick(w.button(QStringLiteral("全部写入")), Qt::LeftButton);
  QCOMPARE(h.dialogs.shown().size(), size_t(1));
  QCOMPARE(h.dialogs.shown()[0].owner, nullptr);
}

void EditorsTest::theHoldBoxStoresWhatIsTyped_data() {
  QTest::addColumn<QString>("typed");
  QTest::addColumn<int>("finish");  // the key that ends the typing, 0: the mouse
  QTest::addColumn<QString>("hold");
  // The list holds 4095, 20, 500 and 5: none of them may complete what is typed.
  QTest::newRow("5, Enter") << "5" << int(Qt::Key_Return) << "00 05";
  QTest::newRow("50, Enter") << "50" << int(Qt::Key_Return) << "00 32";
  QTest::newRow("4, Tab") << "4" << int(Qt::Key_Tab) << "00 04";
  QTest::newRow("2, clicked away") << "2" << 0 << "00 02";
  QTest::newRow("400, Enter") << "400" << int(Qt::Key_Enter) << "01 90";
}

void EditorsTest::theHoldBoxStoresWhatIsTyped() {
  QFETCH(QString, typed);
  QFETCH(int, finish);
  QFETCH(QString, hold);
  GuiHarness h;
  TForm1& w = h.start();
  Tpanduan* t = w.triggerEditor();
  QTest::mouseClick(w.button(QStringLiteral("串口类动作")), Qt::LeftButton);
  ClickBox(t->actionButtons().button(Action::Open));
  t->channelBoxes().box(1)->setChecked(true);
  ClickBox(t->hexBox());
  QTest::keyClicks(t->patternField(), QStringLiteral("AA"));
  QComboBox* box = t->holdBox();
  // With the focus in the box, as when the user clicks into it: a completer only
  // works on a field that has had the focus.
  t->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(t));
  box->setFocus();
  QTRY_VERIFY(box->lineEdit()->hasFocus());
  box->lineEdit()->selectAll();
  QTest::keyClicks(box->lineEdit(), typed);
  QCOMPARE(box->currentText(), typed);
  const int items = box->count();
  if (finish == 0)
    t->patternField()->setFocus();
  else
    QTest::keyClick(box->lineEdit(), Qt::Key(finish));
  QCOMPARE(box->currentText(), typed);
  QCOMPARE(box->count(), items);  // nothing added to the list
  if (t->isVisible()) QTest::mouseClick(t->buttonForMode(0), Qt::LeftButton);
  // Enter stored the entry through the default button already.
  QVERIFY(!t->isVisible());
  const QString expected = QStringLiteral("86 00 01 04 80 %1 AA").arg(hold);
  QCOMPARE(h.entries().size(), size_t(1));
  QVERIFY2(QString::fromStdString(h.entries()[0]).startsWith(expected), h.entries()[0].c_str());
}

// Enter presses the editor's default button: "增加" when it was opened on no entry
// of its kind, "修改" when it was filled from the selected entry.
void EditorsTest::enterPressesTheDefaultButton() {
  GuiHarness h;
  TForm1& w = h.start();
  Ttimers* timer = w.timerEditor();
  QTest::mouseClick(w.button(QStringLiteral("定时器")), Qt::LeftButton);
  QCOMPARE(timer->defaultMode(), 0);
  QVERIFY(timer->buttonForMode(0)->isDefault());
  TypeInto(timer->valueBox(), QStringLiteral("7"));
  QTest::keyClick(timer->valueBox(), Qt::Key_Return);
  QVERIFY(!timer->isVisible());
  QCOMPARE(h.entries(), std::vector<std::string>{"04 00 07 0B"});

  h.select(0);
  QTest::mouseClick(w.button(QStringLiteral("定时器")), Qt::LeftButton);
  QCOMPARE(timer->defaultMode(), 1);
  QVERIFY(timer->buttonForMode(1)->isDefault());
  QVERIFY(!timer->buttonForMode(0)->isDefault());
  TypeInto(timer->valueBox(), QStringLiteral("10"));
  QTest::keyClick(timer->valueBox(), Qt::Key_Enter);
  QCOMPARE(h.entries(), std::vector<std::string>{"04 00 0A 0E"});

  // An IO action selected is no timer: the timer editor adds again.
  QVERIFY(w.program().Store("02 80 01 83", 0));
  h.select(1);
  QTest::mouseClick(w.button(QStringLiteral("定时器")), Qt::LeftButton);
  QCOMPARE(timer->defaultMode(), 0);
  // Escape closes it without storing.
  QTest::keyClick(timer->valueBox(), Qt::Key_Escape);
  QVERIFY(!timer->isVisible());
  QVERIFY(w.isEnabled());
  QCOMPARE(h.entries().size(), size_t(2));
}

// A timer or loop box emptied by the user is refused, not stored with the value
// it showed before.
void EditorsTest::anEmptiedValueBoxRefuses() {
  GuiHarness h;
  TForm1& w = h.start();
  const std::pair<const char*, QSpinBox*> boxes[] = {{"定时器", w.timerEditor()->valueBox()},
                                                     {"循环类动作", w.loopEditor()->valueBox()}};
  for (const auto& [button, box] : boxes) {
    h.dialogs.forget();
    QTest::mouseClick(w.button(QString::fromUtf8(button)), Qt::LeftButton);
    box->setFocus();
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Backspace);
    QVERIFY(box->cleanText().isEmpty());
    auto* editor = static_cast<EditorWindow*>(box->window());
    QTest::mouseClick(editor->buttonForMode(0), Qt::LeftButton);
    QCOMPARE(h.dialogs.texts(), std::vector<std::string>{kFailure});
    QCOMPARE(h.dialogs.shown()[0].title, std::string("警告："));
    QVERIFY(h.entries().empty());
    QVERIFY(editor->isVisible());
    editor->finish();
  }
}

QTEST_MAIN(EditorsTest)
#include "EditorsTest.moc"
