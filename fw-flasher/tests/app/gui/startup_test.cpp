// The flasher's start: the error box, the login (pass, fail, cancel), a project
// that cannot be used, and the window the start builds.
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <fstream>

#include "app/gui/error_box.h"
#include "app/gui/flasher_dialog.h"
#include "app/gui/login_dialog.h"
#include "app/gui/start_application.h"
#include "app/run/download_run.h"
#include "app/run/login_digest.h"
#include "tests/app/gui/gui_harness.h"
#include "tests/support/container_builder.h"

using fw::test::MakeProject;
using fw::test::OnNextModal;
using fw::test::ProjectStrings;

namespace {

// What the next error box showed, closed with its button.
struct SeenBox {
  bool seen = false;
  QString title;
  QString text;
  QStringList buttons;
  bool error_icon = false;
};

void CloseNextErrorBox(SeenBox& seen) {
  OnNextModal([&seen](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (box == nullptr) return;
    seen.seen = true;
    seen.title = box->windowTitle();
    seen.text = box->text();
    seen.error_icon = box->icon() == QMessageBox::Critical;
    for (QAbstractButton* b : box->buttons()) seen.buttons << b->text();
    box->buttons().at(0)->click();
  });
}

// The login project: string 16 "1" and string 17 the digest of `password`.
fw::Project LoginProject(bool chinese, const std::string& password_gbk) {
  std::vector<std::string> strings = ProjectStrings(chinese);
  strings.resize(18);
  strings[16] = "1";
  strings[17] = fw::LoginDigest(password_gbk);
  return MakeProject(strings);
}

void TypeAndPress(QWidget* modal, const QString& text) {
  auto* login = qobject_cast<fw::LoginDialog*>(modal);
  QVERIFY(login != nullptr);
  QCOMPARE(login->password_edit()->echoMode(), QLineEdit::Password);
  // Qt Test types Latin-1 keys only; other text is put in as an input method would.
  login->password_edit()->insert(text);
  QTest::mouseClick(login->ok_button(), Qt::LeftButton);
}

}  // namespace

class StartupTest : public QObject {
  Q_OBJECT
 private slots:
  void theErrorBoxKeepsItsCaptionAndButtonInEveryLanguage();
  void loginWithTheRightPasswordPasses_data();
  void loginWithTheRightPasswordPasses();
  void aWrongPasswordShowsTheErrorBox();
  void closingTheLoginEndsWithoutAnError();
  void theLoginDialogSpeaksTheProjectsLanguage();
  void aDamagedProjectEndsTheProgramWithTheErrorBox_data();
  void aDamagedProjectEndsTheProgramWithTheErrorBox();
  void aGoodProjectBuildsTheWindowWithTheCommandLinePort();
};

void StartupTest::theErrorBoxKeepsItsCaptionAndButtonInEveryLanguage() {
  SeenBox seen;
  CloseNextErrorBox(seen);
  fw::ShowError(nullptr, QStringLiteral("Password is incorrect !"));
  QVERIFY(seen.seen);
  QCOMPARE(seen.title, QStringLiteral("错误"));
  QCOMPARE(seen.text, QStringLiteral("Password is incorrect !"));
  QCOMPARE(seen.buttons, QStringList{QStringLiteral("确定")});
  QVERIFY(seen.error_icon);
}

void StartupTest::loginWithTheRightPasswordPasses_data() {
  QTest::addColumn<QString>("typed");
  QTest::addColumn<QByteArray>("passwordGbk");
  QTest::newRow("ASCII") << QStringLiteral("demo") << QByteArray("demo");
  // The digest is of the GBK bytes: 密码 is C3 DC C2 EB.
  QTest::newRow("Chinese") << QStringLiteral("密码") << QByteArray("\xC3\xDC\xC2\xEB");
  // An empty password is compared like any other.
  QTest::newRow("empty") << QString() << QByteArray();
}

void StartupTest::loginWithTheRightPasswordPasses() {
  QFETCH(QString, typed);
  QFETCH(QByteArray, passwordGbk);
  const fw::Project project = LoginProject(false, passwordGbk.toStdString());
  OnNextModal([typed](QWidget* modal) { TypeAndPress(modal, typed); });
  QCOMPARE(fw::RunLogin(project, fw::kLanguageEnglish), fw::LoginOutcome::kPassed);
}

void StartupTest::aWrongPasswordShowsTheErrorBox() {
  const fw::Project project = LoginProject(true, "demo");
  SeenBox seen;
  OnNextModal([&seen](QWidget* modal) {
    CloseNextErrorBox(seen);
    TypeAndPress(modal, QStringLiteral("Demo"));
  });
  QCOMPARE(fw::RunLogin(project, fw::kLanguageChinese), fw::LoginOutcome::kWrongPassword);
  QVERIFY(seen.seen);
  QCOMPARE(seen.title, QStringLiteral("错误"));
  QCOMPARE(seen.text, QStringLiteral("登录密码错误 !"));
}

void StartupTest::closingTheLoginEndsWithoutAnError() {
  const fw::Project project = LoginProject(false, "demo");
  OnNextModal([](QWidget* modal) {
    auto* login = qobject_cast<fw::LoginDialog*>(modal);
    QVERIFY(login != nullptr);
    QTest::keyClicks(login->password_edit(), QStringLiteral("demo"));
    QTest::keyClick(login, Qt::Key_Escape);
  });
  QCOMPARE(fw::RunLogin(project, fw::kLanguageEnglish), fw::LoginOutcome::kCancelled);
}

void StartupTest::theLoginDialogSpeaksTheProjectsLanguage() {
  fw::LoginDialog chinese(fw::kLanguageChinese);
  QCOMPARE(chinese.windowTitle(), QStringLiteral("登录"));
  QCOMPARE(chinese.findChild<QLabel*>()->text(), QStringLiteral("请输入登录密码 :"));
  QCOMPARE(chinese.ok_button()->text(), QStringLiteral("确定"));
  fw::LoginDialog english(fw::kLanguageEnglish);
  QCOMPARE(english.windowTitle(), QStringLiteral("Login"));
  QCOMPARE(english.findChild<QLabel*>()->text(), QStringLiteral("Please input login password :"));
  QCOMPARE(english.ok_button()->text(), QStringLiteral("OK"));
}

void StartupTest::aDamagedProjectEndsTheProgramWithTheErrorBox_data() {
  QTest::addColumn<QByteArray>("file");
  QTest::addColumn<QString>("message");
  // A bare block that does not begin with the magic is read as scrambled and
  // unscrambles to something else.
  QTest::newRow("no project") << QByteArray("just some text") << QStringLiteral("用户代码已损坏");
  QTest::newRow("missing file") << QByteArray() << QStringLiteral("文件校验失败");
  // Project data that lost its firmware would download a chip with nothing.
  using fw::test::Container;
  using fw::test::Payload;
  const auto bytes = [](const fw::test::Bytes& b) {
    return QByteArray(reinterpret_cast<const char*>(b.data()), static_cast<qsizetype>(b.size()));
  };
  const Container strings = Container().Record(252, Payload().Text("CH").Text("标题"));
  QTest::newRow("no firmware") << bytes(strings.bytes()) << QStringLiteral("用户代码已损坏");
  fw::test::Bytes cut = Container(strings).Record(255, fw::test::Bytes(64, 0x02)).bytes();
  cut.resize(cut.size() - 10);
  QTest::newRow("firmware cut short") << bytes(cut) << QStringLiteral("用户代码已损坏");
}

void StartupTest::aDamagedProjectEndsTheProgramWithTheErrorBox() {
  QFETCH(QByteArray, file);
  QFETCH(QString, message);
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("project.blk"));
  if (!file.isEmpty()) std::ofstream(path.toStdString(), std::ios::binary) << file.toStdString();
  SeenBox seen;
  CloseNextErrorBox(seen);
  fw::StartOptions options;
  options.project_file = path.toStdString();
  fw::FlasherApplication application;
  int exit_code = 0;
  QVERIFY(!application.Start(options, exit_code));
  QCOMPARE(exit_code, 1);
  QVERIFY(seen.seen);
  QCOMPARE(seen.title, QStringLiteral("错误"));
  QVERIFY2(seen.text.startsWith(message), qPrintable(seen.text));
}

void StartupTest::aGoodProjectBuildsTheWindowWithTheCommandLinePort() {
  QTemporaryDir dir;
  qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
  using fw::test::Container;
  using fw::test::Payload;
  Payload strings;
  for (const char* s : {"CH", "标题", "下载"}) strings.Text(fw::Utf8ToGbk(s).value());
  const auto block = Container().Record(252, strings).Record(255, fw::test::Bytes{0x02}).bytes();
  const QString path = dir.filePath(QStringLiteral("project.blk"));
  std::ofstream(path.toStdString(), std::ios::binary)
      .write(reinterpret_cast<const char*>(block.data()),
             static_cast<std::streamsize>(block.size()));

  fw::test::ListedDevices devices;
  devices.devices = {{"ttyS0", "/dev/ttyS0", "", "", "serial"}};
  fw::StartOptions options;
  options.project_file = path.toStdString();
  options.port = "/dev/pts/9";
  options.serial_devices = &devices;
  options.list_usb_writers = false;
  options.watch_devices = false;
  fw::FlasherApplication application;
  int exit_code = -1;
  QVERIFY(application.Start(options, exit_code));
  QCOMPARE(exit_code, 0);
  fw::FlasherDialog& d = application.dialog();
  QCOMPARE(d.windowTitle(), QStringLiteral("标题"));
  QCOMPARE(d.stop_button()->text(), QStringLiteral("停止"));
  QCOMPARE(d.port_entries().size(), std::size_t(2));
  QCOMPARE(d.SelectedPort()->device_path, std::string("/dev/pts/9"));
  QVERIFY(!d.run().serial_wrap());

  // --serial-wrap reaches the window's run.
  options.serial_wrap = true;
  fw::FlasherApplication wrapping;
  QVERIFY(wrapping.Start(options, exit_code));
  QVERIFY(wrapping.dialog().run().serial_wrap());
}

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
