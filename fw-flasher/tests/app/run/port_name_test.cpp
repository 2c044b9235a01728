// The port a name on fw-flash's command line gives: a USB writer by its number
// or a serial port.
#include <gtest/gtest.h>

#include "app/run/port_entry.h"

namespace fw {
namespace {

TEST(PortEntryOfNameTest, UsbAndANumberNameAWriterAnythingElseASerialPort) {
  struct Case {
    const char* name;
    bool valid;
    LinkKind kind;
    int writer_number;
    const char* device_path;
  } const cases[] = {
      {"USB1", true, LinkKind::kUsbWriter, 1, ""},
      {"usb2", true, LinkKind::kUsbWriter, 2, ""},
      {"Usb0x10", true, LinkKind::kUsbWriter, 16, ""},
      {"USB010", true, LinkKind::kUsbWriter, 8, ""},
      {"USB255", true, LinkKind::kUsbWriter, 255, ""},
      {"USB0", false, LinkKind::kUsbWriter, 0, ""},
      {"USB256", false, LinkKind::kUsbWriter, 0, ""},
      {"USB", false, LinkKind::kUsbWriter, 0, ""},
      {"USB-1", false, LinkKind::kUsbWriter, 0, ""},
      {"USB 1", false, LinkKind::kUsbWriter, 0, ""},
      {"USB1x", false, LinkKind::kUsbWriter, 0, ""},
      {"USB99999999999999999999", false, LinkKind::kUsbWriter, 0, ""},
      {"COM3", true, LinkKind::kSerialPort, 0, "COM3"},
      {"ttyUSB0", true, LinkKind::kSerialPort, 0, "ttyUSB0"},
      {"/dev/ttyUSB1", true, LinkKind::kSerialPort, 0, "/dev/ttyUSB1"},
      {"US", true, LinkKind::kSerialPort, 0, "US"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<PortEntry> entry = PortEntryOfName(c.name);
    ASSERT_EQ(entry.has_value(), c.valid);
    if (!c.valid) continue;
    EXPECT_EQ(entry->kind, c.kind);
    EXPECT_EQ(entry->writer_number, c.writer_number);
    EXPECT_EQ(entry->device_path, c.device_path);
  }
}

}  // namespace
}  // namespace fw
