// The port list: which devices it offers, in which order, under which names,
// and which entry it preselects.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "app/run/port_list.h"
#include "target/usb_writer/usb_writer_transport.h"

namespace fw {
namespace {

SerialDeviceInfo Device(const std::string& name, const std::string& driver,
                        const std::string& vendor = "", const std::string& model = "") {
  return {name, "/dev/" + name, vendor, model, driver};
}

const SerialDeviceInfo kOnBoard = Device("ttyS0", "serial");
const SerialDeviceInfo kSecondOnBoard = Device("ttyS2", "serial");
const SerialDeviceInfo kCh341 = Device("ttyUSB6", "ch341", "Acme Cables", "CH340 serial converter");
const SerialDeviceInfo kPl2303First = Device("ttyUSB3", "pl2303");
const SerialDeviceInfo kPl2303Second = Device("ttyUSB8", "PL2303");
const SerialDeviceInfo kAcm = Device("ttyACM0", "cdc_acm");
const SerialDeviceInfo kGenericAdapter = Device("ttyUSB1", "usbserial_generic");

std::vector<std::string> Texts(const PortList& list) {
  std::vector<std::string> texts;
  for (const PortEntry& e : list.entries) texts.push_back(e.display_text);
  return texts;
}

std::string SelectedText(const PortList& list) {
  return list.Selected() != nullptr ? list.Selected()->display_text : "(none)";
}

TEST(PortList, SerialDevicesComeByKindAndNumberThenWriters) {
  const PortList list = BuildPortList({Device("ttyS10", "serial"), kGenericAdapter, kOnBoard, kAcm,
                                       Device("ttyS2", "serial"), kCh341},
                                      2, {});
  EXPECT_EQ(Texts(list),
            (std::vector<std::string>{"cdc_acm (ttyACM0)", "serial (ttyS0)", "serial (ttyS2)",
                                      "serial (ttyS10)", "usbserial_generic (ttyUSB1)",
                                      "Acme Cables CH340 serial converter (ttyUSB6)",
                                      "QMV USB Writer (USB1)", "QMV USB Writer (USB2)"}));
  EXPECT_EQ(list.entries[3].device_path, "/dev/ttyS10");
  EXPECT_EQ(list.entries[3].kind, LinkKind::kSerialPort);
  EXPECT_EQ(list.entries[7].kind, LinkKind::kUsbWriter);
  EXPECT_EQ(list.entries[7].writer_number, 2);
  EXPECT_TRUE(list.entries[7].device_path.empty());
}

TEST(PortList, DisplayTextUsesWhatIsKnown) {
  EXPECT_EQ(SerialDisplayText(Device("ttyUSB0", "usbserial_generic", "Example Devices", "")),
            "Example Devices (ttyUSB0)");
  EXPECT_EQ(SerialDisplayText(Device("ttyUSB0", "usbserial_generic", "", "USB Serial Adapter")),
            "USB Serial Adapter (ttyUSB0)");
  EXPECT_EQ(SerialDisplayText(Device("ttyS1", "")), "ttyS1");
}

struct SelectionCase {
  const char* what;
  std::vector<SerialDeviceInfo> devices;
  std::size_t writers;
  PortChoice choice;
  std::string selected;
  std::size_t entry_count;
};

void PrintTo(const SelectionCase& c, std::ostream* os) { *os << c.what; }

class PortSelection : public ::testing::TestWithParam<SelectionCase> {};

TEST_P(PortSelection, PicksTheLikelyCable) {
  const SelectionCase& c = GetParam();
  const PortList list = BuildPortList(c.devices, c.writers, c.choice);
  EXPECT_EQ(SelectedText(list), c.selected);
  EXPECT_EQ(list.entries.size(), c.entry_count);
}

PortChoice Stored(long index) { return {index, std::nullopt, ""}; }
PortChoice Fixed(unsigned long index, long stored = 0) { return {stored, index, ""}; }
PortChoice CommandLine(const std::string& port) { return {0, std::nullopt, port}; }

INSTANTIATE_TEST_SUITE_P(
    Cases, PortSelection,
    ::testing::Values(
        SelectionCase{"a cable adapter beats a plain port",
                      {kOnBoard, kCh341},
                      0,
                      {},
                      "Acme Cables CH340 serial converter (ttyUSB6)",
                      2},
        SelectionCase{"a cable adapter beats the stored index",
                      {kOnBoard, kSecondOnBoard, kCh341},
                      0,
                      Stored(2),
                      "Acme Cables CH340 serial converter (ttyUSB6)",
                      3},
        SelectionCase{"of two cable adapters the last one wins",
                      {kPl2303Second, kOnBoard, kPl2303First},
                      0,
                      {},
                      "PL2303 (ttyUSB8)",
                      3},
        SelectionCase{"a writer beats every serial port",
                      {kCh341, kOnBoard},
                      1,
                      Stored(0),
                      "QMV USB Writer (USB1)",
                      3},
        SelectionCase{
            "of two writers the last one wins", {kOnBoard}, 2, {}, "QMV USB Writer (USB2)", 3},
        SelectionCase{"the stored index names ttyS2",
                      {kOnBoard, kSecondOnBoard, kAcm, kGenericAdapter},
                      0,
                      Stored(2),
                      "serial (ttyS2)",
                      4},
        SelectionCase{"a stored port that is absent gives the first entry",
                      {kGenericAdapter, kOnBoard},
                      0,
                      Stored(2),
                      "serial (ttyS0)",
                      2},
        SelectionCase{"a stored index past every entry gives the first entry",
                      {kOnBoard, kSecondOnBoard},
                      0,
                      Stored(300),
                      "serial (ttyS0)",
                      2},
        SelectionCase{"a negative stored index gives the first entry",
                      {kAcm, kOnBoard},
                      0,
                      Stored(-4),
                      "cdc_acm (ttyACM0)",
                      2},
        SelectionCase{"the fixed entry 0x10 is ttyS16",
                      {kOnBoard, Device("ttyS16", "serial"), kCh341},
                      1,
                      Fixed(0x10),
                      "serial (ttyS16)",
                      4},
        SelectionCase{"an absent fixed port is added and selected",
                      {kOnBoard, kCh341},
                      0,
                      Fixed(0x10),
                      "/dev/ttyS16",
                      3},
        SelectionCase{"the fixed index 256 is the second writer",
                      {kCh341},
                      2,
                      Fixed(256),
                      "QMV USB Writer (USB2)",
                      3},
        SelectionCase{"the fixed index 255 with no writer adds the first writer",
                      {kCh341},
                      0,
                      Fixed(255),
                      "QMV USB Writer (USB1)",
                      2},
        SelectionCase{"a port given on the command line is added and selected",
                      {kOnBoard, kCh341},
                      1,
                      CommandLine("/dev/pts/7"),
                      "/dev/pts/7",
                      4},
        SelectionCase{"a command-line name of a listed device selects it",
                      {kOnBoard, kCh341},
                      1,
                      CommandLine("ttyS0"),
                      "serial (ttyS0)",
                      3},
        SelectionCase{"COMn on the command line is ttyS(n-1)",
                      {kOnBoard, kSecondOnBoard},
                      0,
                      CommandLine("COM3"),
                      "serial (ttyS2)",
                      2},
        SelectionCase{"USBn on the command line is the n-th writer",
                      {kOnBoard},
                      2,
                      CommandLine("usb1"),
                      "QMV USB Writer (USB1)",
                      3},
        SelectionCase{"the command line beats the fixed entry",
                      {kOnBoard, kSecondOnBoard},
                      0,
                      {0, 2, "ttyS0"},
                      "serial (ttyS0)",
                      2},
        SelectionCase{"nothing at all selects nothing", {}, 0, Stored(3), "(none)", 0}),
    [](const ::testing::TestParamInfo<SelectionCase>& info) {
      std::string name;
      for (const char* p = info.param.what; *p != '\0'; ++p)
        name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
      return name;
    });

// Counts the writers a bus reports; nothing is ever opened.
class CountingBus final : public UsbWriterBus {
 public:
  explicit CountingBus(int writers) : writers_(writers) {}
  std::vector<UsbWriterLocation> Enumerate(std::uint16_t vendor_id,
                                           std::uint16_t product_id) override {
    EXPECT_EQ(vendor_id, kUsbWriterVendorId);
    EXPECT_EQ(product_id, kUsbWriterProductId);
    std::vector<UsbWriterLocation> found(static_cast<std::size_t>(writers_));
    for (int k = 0; k < writers_; ++k) found[static_cast<std::size_t>(k)].bus = k + 1;
    return found;
  }
  UsbOpenResult Open(int, std::uint16_t, std::uint16_t) override {
    ADD_FAILURE() << "the port list opened a writer";
    return {};
  }

 private:
  int writers_;
};

class FixedDevices final : public SerialDeviceSource {
 public:
  std::vector<SerialDeviceInfo> devices;
  std::vector<SerialDeviceInfo> SerialDevices() override { return devices; }
};

TEST(PortList, RefreshReadsTheDevicesAndCountsWritersWithoutOpeningThem) {
  FixedDevices devices;
  devices.devices = {kCh341, kOnBoard};
  CountingBus bus(2);
  const PortList list = RefreshPortList(devices, &bus, {});
  EXPECT_EQ(Texts(list).back(), "QMV USB Writer (USB2)");
  EXPECT_EQ(list.selected, 3);
  const PortList without_usb = RefreshPortList(devices, nullptr, {});
  EXPECT_EQ(without_usb.entries.size(), 2u);
  EXPECT_EQ(SelectedText(without_usb), "Acme Cables CH340 serial converter (ttyUSB6)");
}

TEST(PortList, TheSystemsOwnDevicesAreDevicePaths) {
  const auto source = MakeUdevSerialDeviceSource();
  for (const SerialDeviceInfo& device : source->SerialDevices()) {
    EXPECT_EQ(device.device_path.rfind("/dev/", 0), 0u) << device.device_path;
    EXPECT_FALSE(device.kernel_name.empty());
  }
  std::string error;
  const auto monitor = MakeUdevDeviceMonitor(error);
  if (monitor) {
    EXPECT_GE(monitor->Fd(), 0);
    monitor->TakeEvents();  // returns at once whether or not events wait
  } else {
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
}  // namespace fw
