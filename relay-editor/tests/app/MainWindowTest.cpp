// The main window against its real widgets: start-up with and without a
// settings file, the settings written at close, a project file on the command
// line, save and load through the dialog interface, the list buttons, the
// double-click, and the questions before unsaved changes are lost.

#include "GuiHarness.h"

#include "EditorWindow.h"
#include "IO.h"
#include "SettingsFile.h"
#include "TitleBar.h"
#include "Unit4.h"
#include "model/GbkText.h"
#include "model/WholeFile.h"

#include <cerrno>
#include <cstring>
#include "ptimes.h"
#include "xunhuan.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSizeGrip>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

using namespace relay::app;
using relay::app::testing::GuiHarness;
using relay::app::testing::ReadBytes;
using relay::app::testing::WriteBytes;
using Kind = ScriptedDialogs::Kind;

namespace {

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& l : lines) text += l + "\r\n";
  return text;
}

std::string Caption(TForm1& w) { return w.list()->headerItem()->text(1).toStdString(); }

void Click(TForm1& w, const char* caption) {
  QPushButton* b = w.button(QString::fromUtf8(caption));
  QVERIFY2(b != nullptr, caption);
  QTest::mouseClick(b, Qt::LeftButton);
}

std::vector<std::string> FourByteEntries(int count) {
  std::vector<std::string> lines;
  for (int i = 0; i < count; ++i) lines.push_back(i % 2 ? "04 00 01 05" : "02 80 01 83");
  return lines;
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT
 private slots:
  void startUpWithoutSettingsFileWritesTheDefaults();
  void startUpReadsAnExistingSettingsFile();
  void settingsReadFromOneFileAreWrittenToTheOther();
  void thePortBoxListsTheSystemsDevicesFirst();
  void aBadSettingsValueIsShownAndSkipsTheRest();
  void aPortThatCannotBeOpenedAtStartUpSkipsTheProjectFile();
  void closingWritesTheCurrentSettings();
  void aProjectFileOnTheCommandLineIsLoadedSilently();
  void layoutOfThePages();
  void saveAndLoadThroughTheDialogs();
  void saveCancelledAndLoadCancelled();
  void loadBeyondTheCapacityAsksToTrim_data();
  void loadBeyondTheCapacityAsksToTrim();
  void loadOfAMissingFileReportsBoth();
  void anEmptyFileNameLoadsNothingWithoutAnError();
  void unsavedChangesAreNotLostWithoutAsking();
  void moveDeleteAndClear();
  void theOptimiseButtonTidiesTheList();
  void doubleClickOpensTheEntrysEditor_data();
  void doubleClickOpensTheEntrysEditor();
  void theWindowGrowsWithTheListAndKeepsTheButtons();
  void longTextsShowWholeInTheirTooltip();
  void aFailedSaveLeavesTheOldFileAndSaysWhy();
  void theFileDialogsStartInTheFolderLastUsed();
};

void MainWindowTest::startUpWithoutSettingsFileWritesTheDefaults() {
  GuiHarness h;
  TForm1& w = h.start();
  QCOMPARE(ReadBytes(h.settingsPath()), SettingsFileBytes(SettingsValues{}));
  QCOMPARE(ReadBytes(h.settingsPath()).size(), size_t(202));
  QCOMPARE(w.titleLabel()->text(), QStringLiteral("VYL 编程软件 Ver 0.05"));
  QCOMPARE(w.windowTitle(), QStringLiteral("VYL 编程软件 Ver 0.05"));
  QCOMPARE(w.portBox()->currentText(), QStringLiteral("COM1"));
  QCOMPARE(w.portBox()->count(), 256);
  QCOMPARE(w.portBox()->itemText(255), QStringLiteral("COM256"));
  QCOMPARE(w.baudBox()->currentText(), QStringLiteral("9600"));
  QCOMPARE(w.addressBox()->value(), 255);
  QVERIFY(!w.autoOpenBox()->isChecked());
  QVERIFY(!w.autoOptimiseBox()->isChecked());
  QCOMPARE(w.portButton()->text(), QStringLiteral("打开串口"));
  QCOMPARE(Caption(w), std::string("指令清单（ 扇区容量 : 0 / 512 ）"));
  QCOMPARE(w.pages()->currentIndex(), 0);
  QCOMPARE(w.size(), QSize(800, 600));
  QVERIFY(h.dialogs.shown().empty());
  // The title is no application display name: the platform would append
  // that to every window title, "警告：" boxes included.
  QCOMPARE(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
}

void MainWindowTest::startUpReadsAnExistingSettingsFile() {
  GuiHarness h;
  SettingsValues v;
  v.port = "/dev/ttyUSB3";
  v.baudIndex = 11;
  v.address = 3;
  v.autoOptimise = true;
  const std::string bytes = SettingsFileBytes(v);
  WriteBytes(h.settingsPath(), bytes);
  TForm1& w = h.start();
  QCOMPARE(ReadBytes(h.settingsPath()), bytes);
  QCOMPARE(w.portBox()->currentText(), QStringLiteral("/dev/ttyUSB3"));
  QCOMPARE(w.baudBox()->currentText(), QStringLiteral("115200"));
  QCOMPARE(w.addressBox()->value(), 3);
  QVERIFY(!w.autoOpenBox()->isChecked());
  QVERIFY(w.autoOptimiseBox()->isChecked());
  QVERIFY(h.dialogs.shown().empty());
}

void MainWindowTest::settingsReadFromOneFileAreWrittenToTheOther() {
  // The program folder's file cannot be written: its values are shown, and closing
  // writes them with the user's changes to the user's file.
  GuiHarness h;
  const std::string installed = SettingsFileBytes(SettingsValues{.port = "/dev/ttyUSB3"});
  WriteBytes(h.settingsPath(), installed);
  QVERIFY(QDir(h.folder.path()).mkdir(QStringLiteral("user")));
  h.settingsWritePath = h.path("user/VYL_config.ini");
  TForm1& w = h.start();
  QCOMPARE(w.portBox()->currentText(), QStringLiteral("/dev/ttyUSB3"));
  QVERIFY(!QFile::exists(QString::fromStdString(h.settingsWritePath)));
  w.addressBox()->setValue(9);
  QVERIFY(w.close());
  QCOMPARE(ReadBytes(h.settingsWritePath),
           SettingsFileBytes(SettingsValues{.port = "/dev/ttyUSB3", .address = 9}));
  QCOMPARE(ReadBytes(h.settingsPath()), installed);
  QVERIFY(h.dialogs.shown().empty());
}

void MainWindowTest::thePortBoxListsTheSystemsDevicesFirst() {
  GuiHarness h;
  h.systemPorts = {"/dev/ttyACM0", "/dev/ttyUSB0"};
  TForm1& w = h.start();
  QCOMPARE(w.portBox()->count(), 258);
  QCOMPARE(w.portBox()->itemText(0), QStringLiteral("/dev/ttyACM0"));
  QCOMPARE(w.portBox()->itemText(1), QStringLiteral("/dev/ttyUSB0"));
  QCOMPARE(w.portBox()->itemText(2), QStringLiteral("COM1"));
  QCOMPARE(w.portBox()->itemText(257), QStringLiteral("COM256"));
  // The settings file's port, not the first device.
  QCOMPARE(w.portBox()->currentText(), QStringLiteral("COM1"));
  // Any typed path is taken as it is and written at close.
  w.portBox()->setEditText(QStringLiteral("/dev/pts/7"));
  QVERIFY(w.close());
  SettingsValues expected;
  expected.port = "/dev/pts/7";
  QCOMPARE(ReadBytes(h.settingsPath()), SettingsFileBytes(expected));
}

void MainWindowTest::aBadSettingsValueIsShownAndSkipsTheRest() {
  GuiHarness h;
  std::string bytes = SettingsFileBytes(SettingsValues{.port = "COM7"});
  const std::string key = relay::model::Utf8ToGbkLossy("[模块地址]=255");
  bytes.replace(bytes.find(key), key.size(), relay::model::Utf8ToGbkLossy("[模块地址]=abc"));
  WriteBytes(h.settingsPath(), bytes);
  const std::string project = h.path("p.vyl");
  WriteBytes(project, Lines({"02 80 01 83"}));
  TForm1& w = h.start({project});
  QCOMPARE(h.dialogs.texts(), std::vector<std::string>{"'abc' is not a valid integer value"});
  QCOMPARE(h.dialogs.shown().front().title, std::string("VYL 编程软件 Ver 0.05"));
  QCOMPARE(w.portBox()->currentText(), QStringLiteral("COM7"));  // read before the error
  QCOMPARE(w.addressBox()->value(), 255);
  QVERIFY(h.entries().empty());
}

void MainWindowTest::aPortThatCannotBeOpenedAtStartUpSkipsTheProjectFile() {
  GuiHarness h;
  WriteBytes(h.settingsPath(),
             SettingsFileBytes(SettingsValues{.port = "/nonexistent/ttyX", .autoOpen = true}));
  const std::string project = h.path("p.vyl");
  WriteBytes(project, Lines({"02 80 01 83"}));
  TForm1& w = h.start({project});
  QCOMPARE(h.dialogs.texts().size(), size_t(1));
  QVERIFY2(h.dialogs.texts().front().find("Error opening serial port") != std::string::npos,
           h.dialogs.texts().front().c_str());
  QCOMPARE(w.portButton()->text(), QStringLiteral("打开串口"));
  QVERIFY(w.portBox()->isEnabled());
  QVERIFY(h.entries().empty());
}

void MainWindowTest::closingWritesTheCurrentSettings() {
  GuiHarness h;
  TForm1& w = h.start();
  w.portBox()->setCurrentText(QStringLiteral("COM4"));
  w.baudBox()->setCurrentIndex(11);
  w.addressBox()->setValue(3);
  QTest::mouseClick(w.autoOpenBox(), Qt::LeftButton, {}, QPoint(8, w.autoOpenBox()->height() / 2));
  QVERIFY(w.autoOpenBox()->isChecked());
  QVERIFY(w.close());
  SettingsValues expected;
  expected.port = "COM4";
  expected.baudIndex = 11;
  expected.address = 3;
  expected.autoOpen = true;
  QCOMPARE(ReadBytes(h.settingsPath()), SettingsFileBytes(expected));
  QVERIFY(h.dialogs.shown().empty());
}

void MainWindowTest::aProjectFileOnTheCommandLineIsLoadedSilently() {
  GuiHarness h;
  const std::string project = h.path("big.vyl");
  const auto lines = FourByteEntries(130);
  WriteBytes(project, Lines(lines));
  TForm1& w = h.start({project});
  QVERIFY(h.dialogs.shown().empty());
  QCOMPARE(h.entries(), lines);
  QCOMPARE(w.list()->topLevelItemCount(), 130);
  QCOMPARE(Caption(w), std::string("指令清单（ 扇区容量 : 520 / 512 ）"));
  QCOMPARE(w.list()->topLevelItem(129)->text(0), QStringLiteral("130"));
  QCOMPARE(w.list()->topLevelItem(0)->text(1), QStringLiteral("打开 -> 第 1 16 路"));
  QCOMPARE(w.list()->topLevelItem(0)->text(2), QStringLiteral("02 80 01 83"));
  // Nothing changed since the load: closing asks nothing.
  QVERIFY(w.close());
  QVERIFY(h.dialogs.shown().empty());
}

void MainWindowTest::layoutOfThePages() {
  GuiHarness h;
  TForm1& w = h.start();
  QTest::qWait(20);
  struct {
    const char* caption;
    QRect geometry;
  } panelButtons[] = {
      {"IO类动作", {40, 16, 80, 30}},   {"定时器", {168, 16, 80, 30}},
      {"串口类动作", {40, 64, 80, 30}}, {"循环类动作", {168, 64, 80, 30}},
      {"上移", {40, 120, 80, 30}},      {"下移", {40, 168, 80, 30}},
      {"删除", {40, 224, 80, 30}},      {"读入", {168, 224, 80, 30}},
      {"清除", {40, 272, 80, 30}},      {"存盘", {168, 272, 80, 30}},
      {"打开串口", {208, 67, 80, 57}},
  };
  for (const auto& b : panelButtons) {
    QPushButton* button = w.button(QString::fromUtf8(b.caption));
    QVERIFY2(button != nullptr, b.caption);
    QCOMPARE(button->geometry(), b.geometry);
  }
  for (const char* caption : {"优化指令", "从设备读取", "全部写入", "清除扇区"})
    QCOMPARE(w.button(QString::fromUtf8(caption))->size(), QSize(88, 46));
  // The right part keeps to the window's right edge; the list takes the rest.
  QWidget* page = w.list()->parentWidget();
  QCOMPARE(w.button(QStringLiteral("优化指令"))->mapTo(page, QPoint(0, 0)),
           QPoint(page->width() - 281, 8));
  QCOMPARE(w.list()->geometry().topLeft(), QPoint(5, 0));
  QCOMPARE(w.list()->width(), 490);
  // Position, listing text and hex text all in sight, no sideways scrolling.
  QCOMPARE(w.list()->columnWidth(0), 50);
  QCOMPARE(w.list()->columnWidth(0) + w.list()->columnWidth(1) + w.list()->columnWidth(2),
           w.list()->viewport()->width());
  QVERIFY(w.list()->columnWidth(2) >= 120);
  QVERIFY(w.list()->columnWidth(1) >= 2 * w.list()->columnWidth(2) - 10);
  QCOMPARE(w.progressBar()->size(), QSize(280, 17));
  QCOMPARE(w.progressBar()->maximum(), 32);
  QCOMPARE(w.pages()->tabBar()->tabRect(0).size(), QSize(144, 64));
  QCOMPARE(w.titleLabel()->geometry().topLeft(), QPoint(424, 16));
  QCOMPARE(w.titleLabel()->width(), 305);
  QStringList bauds;
  for (int i = 0; i < w.baudBox()->count(); ++i) bauds << w.baudBox()->itemText(i);
  QCOMPARE(bauds, QStringList({"300", "600", "1200", "2400", "4800", "9600", "14400", "19200",
                               "38400", "56000", "57600", "115200"}));
  QCOMPARE(w.addressBox()->maximum(), 255);
}

void MainWindowTest::saveAndLoadThroughTheDialogs() {
  GuiHarness h;
  TForm1& w = h.start();
  const std::vector<std::string> lines = {"02 80 01 83", "86 00 02 87 C2 00 32 0A 0B 41 42 9B",
                                          "00 FF FF FE"};
  for (const auto& l : lines) QVERIFY(w.program().Store(l, 0));
  w.commands().setModified(true);
  const std::string file = h.path("saved.vyl");
  h.dialogs.answerFile("  " + file + "  ");
  Click(w, "存盘");
  QCOMPARE(h.dialogs.shown().size(), size_t(2));
  const auto& request = h.dialogs.shown()[0];
  QCOMPARE(int(request.kind), int(Kind::SaveFile));
  QCOMPARE(request.title, std::string("保存文件路径"));
  QCOMPARE(request.request.filter, std::string("VYL编程文件(*.VYL)|*.vyl"));
  QCOMPARE(request.request.defaultSuffix, std::string(".vyl"));
  QCOMPARE(h.dialogs.shown()[1].title, std::string("提示："));
  QCOMPARE(h.dialogs.shown()[1].text, std::string("存盘成功！"));
  QCOMPARE(int(h.dialogs.shown()[1].icon), int(MessageIcon::Success));
  QCOMPARE(ReadBytes(file), Lines(lines));
  QVERIFY(!w.commands().modified());

  h.dialogs.forget();
  Click(w, "清除");
  QVERIFY(h.entries().empty());
  h.dialogs.answerFile(file);
  Click(w, "读入");
  QCOMPARE(h.dialogs.shown().size(), size_t(2));
  QCOMPARE(int(h.dialogs.shown()[0].kind), int(Kind::OpenFile));
  QCOMPARE(h.dialogs.shown()[0].request.initialFolder, h.folder.path().toStdString());
  QCOMPARE(h.dialogs.shown()[0].request.defaultSuffix, std::string("*.vyl"));
  QCOMPARE(h.dialogs.shown()[1].text, std::string("读取成功！"));
  QCOMPARE(h.entries(), lines);
  QCOMPARE(Caption(w), std::string("指令清单（ 扇区容量 : 20 / 512 ）"));

  // An empty list saves as an empty file, which loads as no data.
  h.dialogs.forget();
  Click(w, "清除");
  const std::string empty = h.path("empty.vyl");
  h.dialogs.answerFile(empty);
  Click(w, "存盘");
  QCOMPARE(ReadBytes(empty), std::string());
  h.dialogs.answerFile(empty);
  Click(w, "读入");
  QCOMPARE(h.dialogs.texts(),
           (std::vector<std::string>{"存盘成功！", "读取成功！", "未读取到有效数据！"}));
}

void MainWindowTest::saveCancelledAndLoadCancelled() {
  GuiHarness h;
  TForm1& w = h.start();
  h.dialogs.answerFile(std::nullopt);
  Click(w, "存盘");
  QCOMPARE(h.dialogs.shown().back().title, std::string("提示："));
  QCOMPARE(h.dialogs.shown().back().text, std::string("操作放弃！"));
  QCOMPARE(int(h.dialogs.shown().back().icon), int(MessageIcon::Error));
  h.dialogs.answerFile(std::nullopt);
  Click(w, "读入");
  QCOMPARE(h.dialogs.texts(), (std::vector<std::string>{"操作放弃！", "未读取到有效数据！"}));
  QCOMPARE(h.dialogs.unexpected(), 0);
}

void MainWindowTest::loadBeyondTheCapacityAsksToTrim_data() {
  QTest::addColumn<bool>("yes");
  QTest::addColumn<int>("entries");
  QTest::newRow("是 trims to 512 bytes") << true << 128;
  QTest::newRow("否 keeps the file as loaded") << false << 130;
}

void MainWindowTest::loadBeyondTheCapacityAsksToTrim() {
  QFETCH(bool, yes);
  QFETCH(int, entries);
  GuiHarness h;
  TForm1& w = h.start();
  const std::string file = h.path("big.vyl");
  WriteBytes(file, Lines(FourByteEntries(130)));
  h.dialogs.answerFile(file);
  h.dialogs.answerAsk(yes);
  Click(w, "读入");
  QCOMPARE(h.dialogs.shown().size(), size_t(2));
  QCOMPARE(h.dialogs.shown()[1].title, std::string("警告！"));
  QCOMPARE(h.dialogs.shown()[1].text,
           std::string("         检测到指令超出扇区容量，按 是 删除多余指令"));
  QCOMPARE(int(h.entries().size()), entries);
  QCOMPARE(w.list()->topLevelItemCount(), entries);
  QCOMPARE(Caption(w), "指令清单（ 扇区容量 : " + std::to_string(entries * 4) + " / 512 ）");
}

void MainWindowTest::loadOfAMissingFileReportsBoth() {
  GuiHarness h;
  TForm1& w = h.start();
  h.dialogs.answerFile(h.path("missing.vyl"));
  Click(w, "读入");
  const auto texts = h.dialogs.texts();
  QCOMPARE(texts.size(), size_t(2));
  QCOMPARE(texts[0], std::string("未读取到有效数据！"));
  QVERIFY2(texts[1].find("missing.vyl") != std::string::npos, texts[1].c_str());
  QCOMPARE(int(h.dialogs.shown()[2].kind), int(Kind::Error));
}

void MainWindowTest::anEmptyFileNameLoadsNothingWithoutAnError() {
  GuiHarness h;
  TForm1& w = h.start({""});
  QVERIFY(h.dialogs.shown().empty());
  QVERIFY(h.entries().empty());
  // A name of blanks is no name: only the empty list is reported.
  h.dialogs.answerFile("   ");
  Click(w, "读入");
  QCOMPARE(h.dialogs.texts(), std::vector<std::string>{"未读取到有效数据！"});
  QCOMPARE(int(h.dialogs.shown().back().kind), int(Kind::Tell));
}

void MainWindowTest::unsavedChangesAreNotLostWithoutAsking() {
  GuiHarness h;
  TForm1& w = h.start();
  w.ioEditor()->channelBoxes().box(1)->setChecked(true);
  w.ioEditor()->actionButtons().setAction(relay::model::Action::Open);
  Click(w, "IO类动作");
  QTest::mouseClick(w.ioEditor()->buttonForMode(0), Qt::LeftButton);
  QCOMPARE(h.entries(), std::vector<std::string>{"02 00 01 03"});
  QVERIFY(w.commands().modified());

  // "读入": "否" keeps the list and opens no dialog.
  h.dialogs.answerAsk(false);
  Click(w, "读入");
  QCOMPARE(h.dialogs.shown().size(), size_t(1));
  QCOMPARE(int(h.dialogs.shown()[0].kind), int(Kind::Ask));
  QCOMPARE(h.dialogs.shown()[0].title, std::string("警告！"));
  QCOMPARE(h.dialogs.shown()[0].text, std::string(kDiscardQuestion));
  QCOMPARE(h.entries().size(), size_t(1));

  // "从设备读取" with the port closed asks nothing and keeps the list: it only says
  // that the port is closed (with an open port it asks first, see DeviceGuiTest).
  Click(w, "从设备读取");
  QCOMPARE(h.entries().size(), size_t(1));
  QCOMPARE(h.dialogs.shown().size(), size_t(2));
  QCOMPARE(h.dialogs.shown()[1].text, std::string("串口未打开！请先在“通讯设置”页打开串口。"));

  // Closing: "否" keeps the window open and writes nothing.
  const std::string before = ReadBytes(h.settingsPath());
  w.addressBox()->setValue(7);
  h.dialogs.answerAsk(false);
  QVERIFY(!w.close());
  QVERIFY(w.isVisible());
  QCOMPARE(ReadBytes(h.settingsPath()), before);

  // "是" discards and goes on.
  h.dialogs.answerAsk(true);
  h.dialogs.answerFile(std::nullopt);
  Click(w, "读入");
  QVERIFY(h.entries().empty());
  QCOMPARE(h.dialogs.texts().back(), std::string("未读取到有效数据！"));
  QVERIFY(h.dialogs.allAnswersUsed());
  QCOMPARE(h.dialogs.unexpected(), 0);
}

void MainWindowTest::moveDeleteAndClear() {
  GuiHarness h;
  TForm1& w = h.start();
  const std::vector<std::string> e = {"02 80 01 83", "04 00 01 05", "00 00 03 03", "01 00 01 02"};
  for (const auto& t : e) QVERIFY(w.program().Store(t, 0));
  h.select(2);
  QCOMPARE(w.program().Selection(), std::optional<size_t>(2));
  Click(w, "上移");
  QCOMPARE(h.entries(), (std::vector<std::string>{e[0], e[2], e[1], e[3]}));
  QCOMPARE(w.list()->currentItem(), w.list()->topLevelItem(1));
  QVERIFY(w.list()->topLevelItem(1)->isSelected());
  for (int i = 0; i < 4; ++i) QCOMPARE(w.list()->topLevelItem(i)->text(0), QString::number(i + 1));
  QCOMPARE(w.list()->topLevelItem(1)->text(2), QString::fromStdString(e[2]));
  Click(w, "下移");
  Click(w, "下移");
  QCOMPARE(h.entries(), (std::vector<std::string>{e[0], e[1], e[3], e[2]}));
  Click(w, "下移");  // already last
  QCOMPARE(h.entries(), (std::vector<std::string>{e[0], e[1], e[3], e[2]}));
  h.select(0);
  Click(w, "删除");
  QCOMPARE(h.entries(), (std::vector<std::string>{e[1], e[3], e[2]}));
  QVERIFY(w.list()->topLevelItem(0)->isSelected());
  QCOMPARE(Caption(w), std::string("指令清单（ 扇区容量 : 12 / 512 ）"));
  Click(w, "清除");
  QVERIFY(h.entries().empty());
  QCOMPARE(w.list()->topLevelItemCount(), 0);
  QCOMPARE(Caption(w), std::string("指令清单（ 扇区容量 : 0 / 512 ）"));
  Click(w, "删除");  // nothing selected: nothing happens
  QVERIFY(h.dialogs.shown().empty());
}

void MainWindowTest::theOptimiseButtonTidiesTheList() {
  GuiHarness h;
  const std::string file = h.path("untidy.vyl");
  WriteBytes(file,
             Lines({"00 00 03 03", "02 80 01 83", "FF FF FF", "00 00 05 05", "04 00 01 05 "}));
  TForm1& w = h.start({file});
  QVERIFY(!w.commands().modified());
  Click(w, "优化指令");
  QCOMPARE(h.entries(), (std::vector<std::string>{"02 80 01 83", "04 00 01 05", "00 00 05 05"}));
  QCOMPARE(w.list()->topLevelItemCount(), 3);
  QCOMPARE(w.list()->topLevelItem(2)->text(0), QStringLiteral("3"));
  QCOMPARE(Caption(w), std::string("指令清单（ 扇区容量 : 12 / 512 ）"));
  QVERIFY(h.dialogs.shown().empty());
  QVERIFY(w.commands().modified());
}

void MainWindowTest::doubleClickOpensTheEntrysEditor_data() {
  QTest::addColumn<QString>("entry");
  QTest::addColumn<QString>("editor");
  QTest::newRow("IO action") << "01 00 05 06"
                             << "TForm2";
  QTest::newRow("timer") << "04 00 0A 0E"
                         << "Ttimers";
  QTest::newRow("loop") << "00 00 03 03"
                        << "TForm3";
  QTest::newRow("serial trigger") << "87 01 00 04 20 00 00 AA 56"
                                  << "Tpanduan";
  QTest::newRow("filler") << "FF FF FF"
                          << "";
  QTest::newRow("unknown kind") << "55 00 00 55"
                                << "";
}

void MainWindowTest::doubleClickOpensTheEntrysEditor() {
  QFETCH(QString, entry);
  QFETCH(QString, editor);
  GuiHarness h;
  const std::string file = h.path("one.vyl");
  WriteBytes(file, Lines({"02 80 01 83", entry.toStdString()}));
  TForm1& w = h.start({file});
  h.select(1);
  QTreeWidgetItem* item = w.list()->topLevelItem(1);
  const QRect r = w.list()->visualItemRect(item);
  // A double click is a press and release followed by the second press.
  QTest::mousePress(w.list()->viewport(), Qt::LeftButton, {}, r.center());
  QTest::mouseRelease(w.list()->viewport(), Qt::LeftButton, {}, r.center());
  QTest::mouseDClick(w.list()->viewport(), Qt::LeftButton, {}, r.center());
  EditorWindow* editors[] = {w.ioEditor(), w.timerEditor(), w.loopEditor(), w.triggerEditor()};
  EditorWindow* open = nullptr;
  for (EditorWindow* e : editors)
    if (e->isVisible()) {
      QVERIFY(open == nullptr);
      open = e;
    }
  if (editor.isEmpty()) {
    QVERIFY(open == nullptr);
    QVERIFY(w.isEnabled());
    return;
  }
  QVERIFY(open != nullptr);
  QCOMPARE(open->objectName(), editor);
  QVERIFY(!w.isEnabled());
  // Filled from the entry: storing it unchanged gives the same text.
  QCOMPARE(QString::fromStdString(open->encodeFields().hexText), entry);
  QTest::mouseClick(open->titleBar()->findChild<QToolButton*>(QStringLiteral("closeButton")),
                    Qt::LeftButton);
  QVERIFY(!open->isVisible());
  QVERIFY(w.isEnabled());
}

// Resizable and maximisable, at least as large as its buttons and the settings page
// need: the list grows, the right part keeps to the right edge, the bottom row to the
// foot, and the three columns share the list's width.
void MainWindowTest::theWindowGrowsWithTheListAndKeepsTheButtons() {
  GuiHarness h;
  TForm1& w = h.start();
  QCOMPARE(w.size(), QSize(800, 600));
  QVERIFY(w.minimumSize().width() <= 800 && w.minimumSize().height() <= 600);
  QVERIFY(w.maximumSize().width() > 2000);
  QVERIFY(w.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
  QVERIFY(w.findChild<QSizeGrip*>() != nullptr);
  QPushButton* write = w.button(QStringLiteral("全部写入"));
  QPushButton* io = w.button(QStringLiteral("IO类动作"));
  auto fromRightAndFoot = [&](QWidget* b) {
    const QPoint at = b->mapTo(&w, QPoint(0, 0));
    return QPoint(w.width() - at.x(), w.height() - at.y());
  };
  const QPoint writeAt = fromRightAndFoot(write);
  const QPoint ioFromRight(w.width() - io->mapTo(&w, QPoint(0, 0)).x(),
                           io->mapTo(&w, QPoint(0, 0)).y());
  w.resize(1200, 900);
  QCOMPARE(w.list()->width(), 490 + 400);
  QCOMPARE(w.list()->height(), 494 + 300 + 64 - 64);
  QCOMPARE(fromRightAndFoot(write), writeAt);
  QCOMPARE(QPoint(w.width() - io->mapTo(&w, QPoint(0, 0)).x(), io->mapTo(&w, QPoint(0, 0)).y()),
           ioFromRight);
  QCOMPARE(w.list()->columnWidth(0) + w.list()->columnWidth(1) + w.list()->columnWidth(2),
           w.list()->viewport()->width());
  // The title bar's buttons stay at the right edge.
  QCOMPARE(w.maximiseButton()->geometry().right(), w.width() - 39);
  // The maximise button (and a double-click on the free area) toggle the state.
  QTest::mouseClick(w.maximiseButton(), Qt::LeftButton);
  QTRY_VERIFY(w.isMaximized());
  QVERIFY(w.maximiseButton()->isChecked());
  QCOMPARE(w.maximiseButton()->toolTip(), QStringLiteral("还原"));
  QTest::mouseDClick(w.pages()->currentWidget(), Qt::LeftButton, {}, QPoint(300, 560));
  QTRY_VERIFY(!w.isMaximized());
  QCOMPARE(w.maximiseButton()->toolTip(), QStringLiteral("最大化"));
  // Smaller than its minimum it does not go.
  w.resize(300, 200);
  QCOMPARE(w.size(), w.minimumSize());
}

void MainWindowTest::longTextsShowWholeInTheirTooltip() {
  GuiHarness h;
  TForm1& w = h.start();
  const std::string trigger = "86 00 02 87 C2 00 32 0A 0B 41 42 9B";
  QVERIFY(w.program().Store(trigger, 0));
  QTreeWidgetItem* item = w.list()->topLevelItem(0);
  QCOMPARE(item->toolTip(2), QString::fromStdString(trigger));
  QCOMPARE(item->toolTip(1), item->text(1));
  QVERIFY(item->toolTip(1).startsWith(QStringLiteral("收到ASCII指令 AB")));
  QCOMPARE(w.list()->textElideMode(), Qt::ElideRight);
  QCOMPARE(w.list()->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
}

namespace {

// Writes up to `room` bytes and then finds the disk full.
struct FullDisk : relay::model::FileCalls {
  mutable std::size_t room = 5;
  ssize_t Write(int fd, const void* data, std::size_t size) const override {
    if (room == 0) {
      errno = ENOSPC;
      return -1;
    }
    const ssize_t n = relay::model::FileCalls::Write(fd, data, std::min(size, room));
    if (n > 0) room -= static_cast<std::size_t>(n);
    return n;
  }
};

}  // namespace

// "存盘" onto a full disk: the old file stays whole, the error box says why, and the
// list keeps its unsaved-changes mark.
void MainWindowTest::aFailedSaveLeavesTheOldFileAndSaysWhy() {
  GuiHarness h;
  const std::string file = h.path("p.vyl");
  const std::string old = Lines({"02 80 01 83", "00 FF FF FE"});
  WriteBytes(file, old);
  TForm1& w = h.start({file});
  QVERIFY(w.program().Store("04 00 0A 0E", 0));
  FullDisk disk;
  w.commands().setFileCalls(disk);
  h.dialogs.answerFile(file);
  Click(w, "存盘");
  QCOMPARE(h.dialogs.shown().size(), size_t(2));
  QCOMPARE(int(h.dialogs.shown()[1].kind), int(Kind::Error));
  const std::string& message = h.dialogs.shown()[1].text;
  QVERIFY2(message.find(file) != std::string::npos, message.c_str());
  QVERIFY2(message.find(std::strerror(ENOSPC)) != std::string::npos, message.c_str());
  QVERIFY2(message.find("原有的文件保持不变") != std::string::npos, message.c_str());
  QCOMPARE(ReadBytes(file), old);
  QStringList files = QDir(h.folder.path()).entryList(QDir::Files | QDir::Hidden);
  files.sort();
  QCOMPARE(files, QStringList({"VYL_config.ini", "p.vyl"}));  // no temporary file left
  QVERIFY(w.commands().modified());
  QVERIFY(w.windowTitle().endsWith(QStringLiteral("*")));
}

// The open and save dialogs start in the program's folder the first time, then in
// the folder of the file last opened or saved.
void MainWindowTest::theFileDialogsStartInTheFolderLastUsed() {
  GuiHarness h;
  QVERIFY(QDir(h.folder.path()).mkdir(QStringLiteral("projects")));
  const std::string project = h.path("projects/a.vyl");
  WriteBytes(project, Lines({"02 80 01 83"}));
  TForm1& w = h.start();
  h.dialogs.answerFile(std::nullopt);
  Click(w, "读入");
  QCOMPARE(h.dialogs.shown()[0].request.initialFolder, h.folder.path().toStdString());
  h.dialogs.forget();
  h.dialogs.answerFile(project);
  Click(w, "读入");
  h.dialogs.forget();
  h.dialogs.answerFile(std::nullopt);
  Click(w, "存盘");
  QCOMPARE(h.dialogs.shown()[0].request.initialFolder, h.path("projects"));
}

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
