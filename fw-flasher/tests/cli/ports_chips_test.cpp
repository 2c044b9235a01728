// fw-flash ports and chips: the list the window would offer, with the fixed
// port of a project, and the chip names a pattern finds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "app/run/port_devices.h"
#include "app/run/profile.h"
#include "app/run/settings_profile.h"
#include "cli/chips_command.h"
#include "cli/ports_command.h"
#include "tests/support/container_builder.h"
#include "tests/support/temp_folder.h"

namespace fw {
namespace {

using test::Container;
using test::Payload;

class FixedDevices final : public SerialDeviceSource {
 public:
  std::vector<SerialDeviceInfo> SerialDevices() override {
    return {{"ttyUSB0", "/dev/ttyUSB0", "", "", "ch341"},
            {"ttyS0", "/dev/ttyS0", "", "", "serial"},
            {"ttyS3", "/dev/ttyS3", "", "", "serial"}};
  }
};

// Collects what a command writes.
class Output {
 public:
  Output() : file_(std::tmpfile()) {}
  ~Output() { std::fclose(file_); }
  std::FILE* file() { return file_; }
  std::string Text() {
    std::fflush(file_);
    std::rewind(file_);
    std::string text;
    for (int c; (c = std::fgetc(file_)) != EOF;) text += static_cast<char>(c);
    return text;
  }

 private:
  std::FILE* file_;
};

// The profiles live in the test's folder.
class PortsCommandTest : public test::TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
  }
};

// A project whose strings name its application; fixed: start at once on that
// port-list entry (strings 14 and 15).
test::Bytes ProjectBlock(const char* application, const char* fixed_index) {
  Payload strings;
  strings.Text("EN").Text("Flasher");
  for (int k = 2; k < 11; ++k) strings.Text("");
  strings.Text(application).Text("").Text("");
  if (fixed_index != nullptr) strings.Text("1").Text(fixed_index);
  return Container().Record(252, strings).Record(255, test::Bytes{0x02}).bytes();
}

TEST_F(PortsCommandTest, MarksTheCableOrTheProjectsFixedPort) {
  FixedDevices devices;
  std::string error;
  Output plain;
  ASSERT_TRUE(ListPorts({}, devices, nullptr, plain.file(), error)) << error;
  EXPECT_EQ(plain.Text(), "  serial (ttyS0)\n  serial (ttyS3)\n* ch341 (ttyUSB0)\n");

  // The fixed entry 3 is COM4, ttyS3.
  const auto block = ProjectBlock("app", "3");
  PortsOptions options;
  options.project_file = Write("fixed.blk", std::string(block.begin(), block.end()));
  Output fixed;
  ASSERT_TRUE(ListPorts(options, devices, nullptr, fixed.file(), error)) << error;
  EXPECT_EQ(fixed.Text(), "  serial (ttyS0)\n* serial (ttyS3)\n  ch341 (ttyUSB0)\n");

  options.port = "/dev/pts/4";
  Output command_line;
  ASSERT_TRUE(ListPorts(options, devices, nullptr, command_line.file(), error)) << error;
  EXPECT_EQ(command_line.Text(),
            "  serial (ttyS0)\n  serial (ttyS3)\n  ch341 (ttyUSB0)\n* /dev/pts/4\n");
}

TEST_F(PortsCommandTest, TheStoredIndexOfTheProjectsProfileNamesAPort) {
  class PlainPorts final : public SerialDeviceSource {
    std::vector<SerialDeviceInfo> SerialDevices() override {
      return {{"ttyS0", "/dev/ttyS0", "", "", "serial"}, {"ttyS3", "/dev/ttyS3", "", "", "serial"}};
    }
  } devices;
  SettingsProfile stored("stored");
  ProfileChanges port;
  port.ints[std::string(profile_keys::kMainComx)] = 3;
  std::string reason;
  ASSERT_TRUE(stored.Write(port, reason)) << reason;
  const auto block = ProjectBlock("stored", nullptr);
  PortsOptions options;
  options.project_file = Write("stored.blk", std::string(block.begin(), block.end()));
  Output out;
  std::string error;
  ASSERT_TRUE(ListPorts(options, devices, nullptr, out.file(), error)) << error;
  EXPECT_EQ(out.Text(), "  serial (ttyS0)\n* serial (ttyS3)\n");
}

TEST_F(PortsCommandTest, AProjectFileThatIsNoProjectIsRefused) {
  FixedDevices devices;
  PortsOptions options;
  options.project_file = Write("junk.blk", "no project here");
  Output out;
  std::string error;
  EXPECT_FALSE(ListPorts(options, devices, nullptr, out.file(), error));
  EXPECT_NE(error.find("junk.blk"), std::string::npos) << error;
  EXPECT_EQ(out.Text(), "");
}

TEST(ChipsCommand, ListsTheNamesContainingThePatternInAnyCase) {
  Output all;
  const int count = ListChips("", all.file());
  EXPECT_GT(count, 100);
  const std::string text = all.Text();
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), count) << "one name a line";

  Output some;
  const int found = ListChips("11a64", some.file());
  EXPECT_GE(found, 1);
  EXPECT_LT(found, count);
  EXPECT_NE(some.Text().find("QMV11A64000\n"), std::string::npos);
  Output none;
  EXPECT_EQ(ListChips("no such chip", none.file()), 0);
  EXPECT_EQ(none.Text(), "");
}

}  // namespace
}  // namespace fw
