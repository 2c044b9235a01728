// The serial-number edits take only numbers that reach the chip whole: at the
// limit of each format's bytes through the selected link the largest number
// can be typed and one digit more cannot; a pasted number too large, or a text
// with other characters, is refused with a message beside the edit. A number
// the window shows itself (stored by an earlier download) is never refused.
#include <QLineEdit>
#include <QToolTip>
#include <QtTest>

#include "app/run/profile.h"
#include "app/run/serial_numbers.h"
#include "tests/app/gui/gui_harness.h"

using fw::SerialEdit;
using fw::test::GuiHarness;
using fw::test::MakeProject;
using fw::test::ProjectStrings;

namespace {

fw::Project ProjectWithSerial(int format, int length) {
  fw::Project p = MakeProject(ProjectStrings(false), 1);
  p.serial_numbers[0].format = static_cast<std::uint8_t>(format);
  p.serial_numbers[0].length = length;
  p.serial_numbers[0].start = fw::SerialValue::FromUnsigned64(1);
  return p;
}

// The tooltip the window shows beside the edit, once it is there; empty when
// none came.
QString RefusalShown() {
  for (int i = 0; i < 100 && !QToolTip::isVisible(); ++i) QTest::qWait(20);
  return QToolTip::isVisible() ? QToolTip::text() : QString();
}

}  // namespace

class SerialEditsTest : public QObject {
  Q_OBJECT
 private slots:
  void init() { QToolTip::hideText(); }
  void takesTheLargestAndNoMore_data();
  void takesTheLargestAndNoMore();
  void otherCharactersAreRefused();
  void aStoredNumberIsShownAsItIs();
};

void SerialEditsTest::takesTheLargestAndNoMore_data() {
  QTest::addColumn<int>("format");
  QTest::addColumn<int>("length");
  QTest::addColumn<QString>("port");
  QTest::addColumn<QString>("largest");
  QTest::addColumn<QString>("tooLarge");
  const QString serial = QStringLiteral("/dev/ttyS0");
  const QString writer = QStringLiteral("USB1");
  QTest::newRow("plain, 1 byte") << int(fw::kSerialPlain) << 1 << serial << "255"
                                 << "256";
  QTest::newRow("plain, 4 bytes") << int(fw::kSerialPlain) << 4 << serial << "4294967295"
                                  << "4294967296";
  QTest::newRow("plain, 16 bytes")
      << int(fw::kSerialPlain) << 16 << serial << "340282366920938463463374607431768211455"
      << "340282366920938463463374607431768211456";
  QTest::newRow("BCD, 4 bytes") << int(fw::kSerialBcd) << 4 << serial << "99999999"
                                << "123456789";
  QTest::newRow("ASCII, 4 bytes, serial port") << int(fw::kSerialAsciiHex) << 4 << serial << "9999"
                                               << "10000";
  QTest::newRow("ASCII, 4 bytes, USB writer")
      << int(fw::kSerialAsciiHex) << 4 << writer << "99999999"
      << "100000000";
}

void SerialEditsTest::takesTheLargestAndNoMore() {
  QFETCH(int, format);
  QFETCH(int, length);
  QFETCH(QString, port);
  QFETCH(QString, largest);
  QFETCH(QString, tooLarge);
  GuiHarness h;
  h.project = ProjectWithSerial(format, length);
  h.command_line_port = port.toStdString();
  fw::FlasherDialog& d = h.Start();
  QLineEdit* edit = d.serial_edit(SerialEdit::kFirst);
  edit->setFocus();
  edit->clear();
  QTest::keyClicks(edit, largest);
  QCOMPARE(edit->text(), largest);
  QVERIFY(!QToolTip::isVisible());

  // One digit more is not taken, and the operator is told why.
  QTest::keyClicks(edit, QStringLiteral("0"));
  QCOMPARE(edit->text(), largest);
  QCOMPARE(RefusalShown(), QStringLiteral("Serial number 1 holds at most %1 in its %2 bytes: "
                                          "%1%3 was not taken.")
                               .arg(largest)
                               .arg(length)
                               .arg(QStringLiteral("0")));

  // Pasted over the whole text, a number one above the largest.
  QToolTip::hideText();
  edit->selectAll();
  edit->insert(tooLarge);
  QCOMPARE(edit->text(), largest);
  QCOMPARE(RefusalShown(), QStringLiteral("Serial number 1 holds at most %1 in its %2 bytes: "
                                          "%3 was not taken.")
                               .arg(largest)
                               .arg(length)
                               .arg(tooLarge));
}

void SerialEditsTest::otherCharactersAreRefused() {
  GuiHarness h;
  h.project = ProjectWithSerial(fw::kSerialBcd, 4);
  fw::FlasherDialog& d = h.Start();
  QLineEdit* edit = d.serial_edit(SerialEdit::kFirst);
  edit->setFocus();
  edit->clear();
  QTest::keyClicks(edit, QStringLiteral("12"));
  edit->insert(QStringLiteral("3x"));
  QCOMPARE(edit->text(), QStringLiteral("12"));
  QCOMPARE(RefusalShown(),
           QStringLiteral("Serial number 1 takes digits only: \"123x\" was not taken."));
}

void SerialEditsTest::aStoredNumberIsShownAsItIs() {
  GuiHarness h;
  h.project = ProjectWithSerial(fw::kSerialBcd, 4);
  // Stored by a download of a number that has since grown past its bytes.
  const auto bytes = fw::SerialValue::FromUnsigned64(100000000).ToBytesLsbFirst();
  h.profile.ints[std::string(fw::profile_keys::kIncValue1Valid)] = 1;
  h.profile.bytes[std::string(fw::profile_keys::kIncValue1)] = {bytes.begin(), bytes.end()};
  fw::FlasherDialog& d = h.Start();
  QCOMPARE(d.serial_edit(SerialEdit::kFirst)->text(), QStringLiteral("100000000"));
  QTest::qWait(50);
  QVERIFY(!QToolTip::isVisible());
}

QTEST_MAIN(SerialEditsTest)
#include "serial_edits_test.moc"
