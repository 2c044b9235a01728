// The window's port list follows the devices: an arrival rebuilds it once the
// devices have been quiet for a moment, and the preselection is made again.
#include <fcntl.h>
#include <unistd.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QtTest>

#include "app/run/port_devices.h"
#include "tests/app/gui/gui_harness.h"

using fw::test::GuiHarness;
using fw::test::MakeProject;
using fw::test::ProjectStrings;

namespace {

// A monitor whose events the test writes into a pipe: one byte an event, 'a'
// for an added or removed device, anything else for an event that changes none.
class PipeMonitor final : public fw::DeviceMonitor {
 public:
  PipeMonitor() {
    if (pipe2(fds_, O_NONBLOCK | O_CLOEXEC) != 0) fds_[0] = fds_[1] = -1;
  }
  ~PipeMonitor() override {
    for (int fd : fds_)
      if (fd >= 0) close(fd);
  }
  int Fd() const override { return fds_[0]; }
  bool TakeEvents() override {
    bool changed = false;
    char event;
    while (read(fds_[0], &event, 1) == 1) changed = changed || event == 'a';
    return changed;
  }
  void Send(char event) { QVERIFY(write(fds_[1], &event, 1) == 1); }

 private:
  int fds_[2];
};

QStringList Items(QComboBox* list) {
  QStringList items;
  for (int i = 0; i < list->count(); ++i) items << list->itemText(i);
  return items;
}

}  // namespace

class PortWatchTest : public QObject {
  Q_OBJECT
 private slots:
  void anArrivalRebuildsTheListAfterAQuietMoment();
  void eventsThatChangeNoDeviceLeaveTheList();
};

void PortWatchTest::anArrivalRebuildsTheListAfterAQuietMoment() {
  PipeMonitor monitor;
  GuiHarness h;
  h.project = MakeProject(ProjectStrings(false));
  h.devices.devices = {{"ttyS0", "/dev/ttyS0", "", "", "serial"}};
  h.monitor = &monitor;
  fw::FlasherDialog& d = h.Start();
  QCOMPARE(Items(d.port_list()), QStringList{QStringLiteral("serial (ttyS0)")});
  // The user's choice is replaced by the preselection of the new list.
  h.devices.devices.push_back(
      {"ttyUSB0", "/dev/ttyUSB0", "Acme Cables", "CH340 serial converter", "ch341"});
  QElapsedTimer clock;
  clock.start();
  monitor.Send('a');
  QTest::qWait(60);
  monitor.Send('a');  // a burst: the list waits for its end
  QTRY_COMPARE(d.port_list()->count(), 2);
  QVERIFY2(clock.elapsed() >= 250, "rebuilt before the devices were quiet");
  QCOMPARE(d.port_list()->currentText(),
           QStringLiteral("Acme Cables CH340 serial converter (ttyUSB0)"));
  QCOMPARE(d.SelectedPort()->device_path, std::string("/dev/ttyUSB0"));

  h.devices.devices.pop_back();  // unplugged
  monitor.Send('a');
  QTRY_COMPARE(d.port_list()->count(), 1);
  QCOMPARE(d.SelectedPort()->device_path, std::string("/dev/ttyS0"));
}

void PortWatchTest::eventsThatChangeNoDeviceLeaveTheList() {
  PipeMonitor monitor;
  GuiHarness h;
  h.project = MakeProject(ProjectStrings(false));
  h.devices.devices = {{"ttyS0", "/dev/ttyS0", "", "", "serial"}};
  h.monitor = &monitor;
  fw::FlasherDialog& d = h.Start();
  h.devices.devices.push_back({"ttyS1", "/dev/ttyS1", "", "", "serial"});
  monitor.Send('c');
  QTest::qWait(400);
  QCOMPARE(d.port_list()->count(), 1);
}

QTEST_MAIN(PortWatchTest)
#include "port_watch_test.moc"
