// The device buttons of the main window against relay-sim over a
// pseudo-terminal: open the port, write the list, read it back, erase.

#include "GuiHarness.h"

#include "ProgramCommands.h"
#include "SettingsFile.h"
#include "model/HexText.h"
#include "sim/RelaySim.h"

#include <QCheckBox>
#include <QComboBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QtTest>

#include <algorithm>

using namespace relay::app;
using relay::app::testing::GuiHarness;

namespace {

constexpr int kWait = 15000;  // ms; the exchange itself takes well under a second

struct SimulatedController {
  relay::sim::TRelaySimulator sim{relay::sim::TRelaySimOptions{}};
  SimulatedController() { sim.Start(); }
  ~SimulatedController() { sim.Stop(); }
};

void OpenPortOn(TForm1& w, const std::string& path) {
  w.portBox()->setCurrentText(QString::fromStdString(path));
  QTest::mouseClick(w.portButton(), Qt::LeftButton);
}

void Click(TForm1& w, const char* caption) {
  QTest::mouseClick(w.button(QString::fromUtf8(caption)), Qt::LeftButton);
}

}  // namespace

class DeviceGuiTest : public QObject {
  Q_OBJECT
 private slots:
  void writeThenReadBackThroughTheButtons();
  void eraseAsksAndClearsTheSector();
  void thePortButtonFollowsThePortState();
  void writingAnEmptyListSaysSo();
  void aLineThatIsNoHexTextIsNotWritten();
  void autoOpenAtStartUpOpensThePortBeforeTheProjectFile();
  void withThePortClosedTheButtonsSaySo();
  void readingAsksBeforeDiscardingAndIsOneUndoStep();
  void onlyWholeInstructionsAreWritten();
};

void DeviceGuiTest::writeThenReadBackThroughTheButtons() {
  SimulatedController controller;
  GuiHarness h;
  TForm1& w = h.start();
  OpenPortOn(w, controller.sim.SlavePath());
  QCOMPARE(w.portButton()->text(), QStringLiteral("关闭串口"));
  const std::vector<std::string> program = {"02 80 01 83", "86 00 02 87 C2 00 32 0A 0B 41 42 9B",
                                            "00 FF FF FE"};
  for (const auto& e : program) QVERIFY(w.program().Store(e, 0));

  h.dialogs.answerAsk(false);  // no restart
  Click(w, "全部写入");
  QTRY_VERIFY_WITH_TIMEOUT(!h.dialogs.shown().empty(), kWait);
  QCOMPARE(h.dialogs.shown()[0].title, std::string("警告！"));
  QCOMPARE(h.dialogs.shown()[0].text, std::string("已成功写入数据，需要重启设备吗？按 是 确认"));
  QCOMPARE(w.progressBar()->value(), 32);
  QCOMPARE(controller.sim.RestartsSeen(), 0);
  const auto sector = controller.sim.Sector();
  const std::vector<std::uint8_t> start = {0x02, 0x80, 0x01, 0x83, 0x86, 0x00};
  QVERIFY(std::equal(start.begin(), start.end(), sector.begin()));
  QVERIFY(std::all_of(sector.begin() + 24, sector.end(), [](std::uint8_t b) { return b == 0xFF; }));

  // Saved lists are not modified; reading asks nothing and fills the list.
  w.commands().setModified(false);
  Click(w, "清除");
  h.dialogs.forget();
  Click(w, "从设备读取");
  QTRY_COMPARE_WITH_TIMEOUT(w.list()->topLevelItemCount(), 3, kWait);
  QTest::qWait(50);
  // The serial trigger comes back with the blank after its last byte.
  QCOMPARE(h.entries(), (std::vector<std::string>{program[0], program[1] + " ", program[2]}));
  QCOMPARE(w.progressBar()->value(), 32);
  QCOMPARE(w.list()->topLevelItem(0)->text(1), QStringLiteral("打开 -> 第 1 16 路"));
  QVERIFY(h.dialogs.shown().empty());
  QVERIFY(w.commands().modified());
  QCOMPARE(h.dialogs.unexpected(), 0);
}

void DeviceGuiTest::eraseAsksAndClearsTheSector() {
  SimulatedController controller;
  relay::sim::TSector full{};
  full.fill(0x11);
  controller.sim.SetSector(full);
  GuiHarness h;
  TForm1& w = h.start();
  OpenPortOn(w, controller.sim.SlavePath());

  h.dialogs.answerAsk(false);
  Click(w, "清除扇区");
  QCOMPARE(h.dialogs.texts(),
           std::vector<std::string>{"         本操作将清除设备编程扇区的数据，按 是 确认"});
  QTest::qWait(200);
  QCOMPARE(controller.sim.Sector()[0], std::uint8_t(0x11));

  h.dialogs.answerAsk(true);  // erase
  h.dialogs.answerAsk(true);  // restart
  Click(w, "清除扇区");
  QTRY_COMPARE_WITH_TIMEOUT(h.dialogs.shown().size(), size_t(3), kWait);
  QCOMPARE(h.dialogs.shown()[2].text,
           std::string("已成功清除扇区数据，需要重启设备吗？按 是 确认"));
  QTRY_COMPARE_WITH_TIMEOUT(controller.sim.RestartsSeen(), 1, kWait);
  const auto sector = controller.sim.Sector();
  QVERIFY(std::all_of(sector.begin(), sector.end(), [](std::uint8_t b) { return b == 0xFF; }));
}

void DeviceGuiTest::thePortButtonFollowsThePortState() {
  SimulatedController controller;
  GuiHarness h;
  TForm1& w = h.start();
  OpenPortOn(w, controller.sim.SlavePath());
  QCOMPARE(w.portButton()->text(), QStringLiteral("关闭串口"));
  QVERIFY(!w.portBox()->isEnabled());
  QVERIFY(!w.baudBox()->isEnabled());
  QTest::mouseClick(w.portButton(), Qt::LeftButton);
  QCOMPARE(w.portButton()->text(), QStringLiteral("打开串口"));
  QVERIFY(w.portBox()->isEnabled());
  QVERIFY(w.baudBox()->isEnabled());
  // A port that is not there: the component's message, the caption stays.
  OpenPortOn(w, "/nonexistent/ttyQ");
  QCOMPARE(h.dialogs.texts().size(), size_t(1));
  // The second line names the device and the system's reason.
  QCOMPARE(h.dialogs.texts()[0],
           std::string("Error opening serial port\n/nonexistent/ttyQ: No such file or directory"));
  QCOMPARE(w.portButton()->text(), QStringLiteral("打开串口"));
  QVERIFY(w.portBox()->isEnabled());
}

void DeviceGuiTest::writingAnEmptyListSaysSo() {
  SimulatedController controller;
  GuiHarness h;
  TForm1& w = h.start();
  OpenPortOn(w, controller.sim.SlavePath());
  Click(w, "全部写入");
  QCOMPARE(h.dialogs.texts(), std::vector<std::string>{"没有指令！"});
  QCOMPARE(h.dialogs.shown()[0].title, std::string("警告："));
  // With "写入指令时自动优化清单中的指令" the optimiser adds the end loop first.
  h.dialogs.forget();
  w.autoOptimiseBox()->setChecked(true);
  h.dialogs.answerAsk(false);
  Click(w, "全部写入");
  QTRY_VERIFY_WITH_TIMEOUT(!h.dialogs.shown().empty(), kWait);
  QCOMPARE(h.dialogs.shown()[0].text, std::string("已成功写入数据，需要重启设备吗？按 是 确认"));
  QCOMPARE(h.entries(), std::vector<std::string>{"00 FF FF FE"});
  QCOMPARE(controller.sim.Sector()[1], std::uint8_t(0xFF));
  QCOMPARE(controller.sim.Sector()[3], std::uint8_t(0xFE));
}

void DeviceGuiTest::aLineThatIsNoHexTextIsNotWritten() {
  // Loaded from a file as it is; writing it would shift every later Instruction.
  SimulatedController controller;
  GuiHarness h;
  const std::string project = h.path("p.vyl");
  relay::app::testing::WriteBytes(project, "02 80 01 83\r\n0280 0183\r\n00 FF FF FE\r\n");
  TForm1& w = h.start({project});
  OpenPortOn(w, controller.sim.SlavePath());
  Click(w, "全部写入");
  QCOMPARE(h.dialogs.shown().size(), size_t(1));
  QCOMPARE(h.dialogs.shown()[0].kind, ScriptedDialogs::Kind::Tell);
  QCOMPARE(h.dialogs.shown()[0].title, std::string("警告："));
  QCOMPARE(h.dialogs.shown()[0].icon, MessageIcon::Error);
  QVERIFY2(h.dialogs.shown()[0].text.starts_with("第 2 条指令不是有效的十六进制数据"),
           h.dialogs.shown()[0].text.c_str());
  QCOMPARE(w.progressBar()->value(), 0);
  QTest::qWait(200);
  QCOMPARE(controller.sim.FramesSeen(), 0);
  QCOMPARE(h.entries().size(), size_t(3));  // the list stays as loaded
}

void DeviceGuiTest::autoOpenAtStartUpOpensThePortBeforeTheProjectFile() {
  SimulatedController controller;
  GuiHarness h;
  SettingsValues settings;
  settings.port = controller.sim.SlavePath();
  settings.autoOpen = true;
  relay::app::testing::WriteBytes(h.settingsPath(), SettingsFileBytes(settings));
  const std::string project = h.path("p.vyl");
  relay::app::testing::WriteBytes(project, "04 00 0A 0E\r\n");
  TForm1& w = h.start({project});
  QVERIFY(h.dialogs.shown().empty());
  QCOMPARE(w.portButton()->text(), QStringLiteral("关闭串口"));
  QVERIFY(!w.portBox()->isEnabled());
  QCOMPARE(h.entries(), std::vector<std::string>{"04 00 0A 0E"});
  h.dialogs.answerAsk(false);
  QTest::mouseClick(w.button(QStringLiteral("全部写入")), Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(!h.dialogs.shown().empty(), kWait);
  QCOMPARE(controller.sim.Sector()[2], std::uint8_t(0x0A));
}

// "全部写入", "从设备读取" and "清除扇区" with the port closed say so instead of doing
// nothing; reading neither asks about nor clears the list.
void DeviceGuiTest::withThePortClosedTheButtonsSaySo() {
  GuiHarness h;
  TForm1& w = h.start();
  QVERIFY(w.program().Store("02 80 01 83", 0));
  for (const char* button : {"全部写入", "从设备读取", "清除扇区"}) {
    h.dialogs.forget();
    Click(w, button);
    QCOMPARE(h.dialogs.texts(),
             std::vector<std::string>{"串口未打开！请先在“通讯设置”页打开串口。"});
    QCOMPARE(h.dialogs.shown()[0].title, std::string("警告："));
    QCOMPARE(w.progressBar()->value(), 0);
    QVERIFY(w.progressBar()->isTextVisible());
    QCOMPARE(w.progressBar()->text(), QStringLiteral("串口未打开"));
    QCOMPARE(h.entries(), std::vector<std::string>{"02 80 01 83"});
  }
  QCOMPARE(h.dialogs.unexpected(), 0);
}

// With the port open, reading over unsaved changes asks first; the read, however
// it ends, is one undo step, and the bar says that it is done.
void DeviceGuiTest::readingAsksBeforeDiscardingAndIsOneUndoStep() {
  SimulatedController controller;
  const auto sector = relay::model::HexTextToBytes("02 80 01 83 04 00 0A 0E 00 FF FF FE");
  relay::sim::TSector bytes;
  bytes.fill(0xFF);
  std::copy(sector.begin(), sector.end(), bytes.begin());
  controller.sim.SetSector(bytes);
  GuiHarness h;
  TForm1& w = h.start();
  OpenPortOn(w, controller.sim.SlavePath());
  QVERIFY(w.program().Store("01 00 01 02", 0));
  h.select(0);
  QVERIFY(w.commands().modified());
  h.dialogs.answerAsk(false);
  Click(w, "从设备读取");
  QCOMPARE(h.dialogs.shown().size(), size_t(1));
  QCOMPARE(h.dialogs.shown()[0].text, std::string(kDiscardQuestion));
  QCOMPARE(h.entries(), std::vector<std::string>{"01 00 01 02"});
  QCOMPARE(controller.sim.FramesSeen(), 0);

  h.dialogs.answerAsk(true);
  Click(w, "从设备读取");
  QTRY_COMPARE_WITH_TIMEOUT(w.progressBar()->text(), QStringLiteral("读取完成：共 3 条指令"),
                            kWait);
  QCOMPARE(h.entries(), (std::vector<std::string>{"02 80 01 83", "04 00 0A 0E", "00 FF FF FE"}));
  QCOMPARE(QString::fromStdString(w.commands().history().undoText()), QStringLiteral("从设备读取"));
  QCOMPARE(w.commands().history().steps(), 1);
  w.commands().undo();
  QCOMPARE(h.entries(), std::vector<std::string>{"01 00 01 02"});
  QCOMPARE(w.program().Selection(), std::optional<size_t>(0));
  w.commands().redo();
  QCOMPARE(h.entries().size(), size_t(3));

  // An erase says so on the bar as well.
  h.dialogs.answerAsk(true);   // erase
  h.dialogs.answerAsk(false);  // no restart
  Click(w, "清除扇区");
  QTRY_COMPARE_WITH_TIMEOUT(w.progressBar()->text(), QStringLiteral("扇区已清除"), kWait);
  QVERIFY(h.dialogs.allAnswersUsed());
}

// The example program has a filler in the middle: written as it is, the controller's
// program would end there. The write is refused naming the entry; with optimising
// before writing the filler is removed (one undo step) and every entry reads back.
void DeviceGuiTest::onlyWholeInstructionsAreWritten() {
  SimulatedController controller;
  GuiHarness h;
  TForm1& w = h.start({std::string(RELAY_EXAMPLES_DIR) + "/demo.vyl"});
  OpenPortOn(w, controller.sim.SlavePath());
  const auto loaded = h.entries();
  QCOMPARE(loaded.size(), size_t(10));
  Click(w, "全部写入");
  QCOMPARE(h.dialogs.shown().size(), size_t(1));
  QCOMPARE(h.dialogs.shown()[0].title, std::string("警告："));
  const std::string& text = h.dialogs.shown()[0].text;
  QVERIFY2(text.starts_with("第 6 条是无效指令") &&
               text.find("“优化指令”会删除无效指令") != std::string::npos,
           text.c_str());
  QTest::qWait(200);
  QCOMPARE(controller.sim.FramesSeen(), 0);
  QCOMPARE(h.entries(), loaded);

  h.dialogs.forget();
  w.autoOptimiseBox()->setChecked(true);
  h.dialogs.answerAsk(false);  // no restart
  Click(w, "全部写入");
  QTRY_VERIFY_WITH_TIMEOUT(!h.dialogs.shown().empty(), kWait);
  QCOMPARE(h.dialogs.shown()[0].text, std::string("已成功写入数据，需要重启设备吗？按 是 确认"));
  QCOMPARE(w.progressBar()->text(), QStringLiteral("写入完成"));
  QCOMPARE(QString::fromStdString(w.commands().history().undoText()), QStringLiteral("优化指令"));
  const auto written = h.entries();
  QCOMPARE(written.size(), size_t(9));
  w.autoOptimiseBox()->setChecked(false);
  Click(w, "清除");
  Click(w, "从设备读取");
  QTRY_COMPARE_WITH_TIMEOUT(h.entries().size(), written.size(), kWait);
}

QTEST_MAIN(DeviceGuiTest)
#include "DeviceGuiTest.moc"
