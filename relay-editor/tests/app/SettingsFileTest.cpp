// The settings file "VYL_config.ini": its exact bytes, the cutting of the
// values by key positions and the applying of what was read.

#include "SettingsFile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace relay::app {
namespace {

// GBK bytes written out, so that the expectation does not rest on the converter.
const std::string kProgram = "\xB1\xE0\xB3\xCC\xC8\xED\xBC\xFE";  // 编程软件
const std::string kConfigKey = "[\xC5\xE4\xD6\xC3\xD0\xC5\xCF\xA2]";
const std::string kNameKey = "[\xC8\xED\xBC\xFE\xC3\xFB\xB3\xC6]";
const std::string kVersionKey = "[\xC8\xED\xBC\xFE\xB0\xE6\xB1\xBE]";
const std::string kSaveKey = "[\xB1\xA3\xB4\xE6\xB2\xCE\xCA\xFD]";
const std::string kPortKey = "[\xB6\xCB \xBF\xDA \xBA\xC5]";
const std::string kBaudKey = "[\xB2\xA8 \xCC\xD8 \xC2\xCA]";
const std::string kAddressKey = "[\xC4\xA3\xBF\xE9\xB5\xD8\xD6\xB7]";
const std::string kAutoOpenKey = "[\xD7\xD4\xB6\xAF\xB4\xF2\xBF\xAA]";
const std::string kAutoOptimiseKey = "[\xD7\xD4\xB6\xAF\xD3\xC5\xBB\xAF]";

std::string FileBytes(const std::string& port, const std::string& baud, const std::string& address,
                      const std::string& autoOpen, const std::string& autoOptimise) {
  const std::vector<std::string> lines = {
      "",
      "//VYL " + kProgram + " Horvane www.horvane.example",
      "",
      kConfigKey,
      kNameKey + "=VYL " + kProgram,
      kVersionKey + "=Ver 0.05",
      "",
      kSaveKey,
      kPortKey + "=" + port,
      kBaudKey + "=" + baud,
      kAddressKey + "=" + address,
      kAutoOpenKey + "=" + autoOpen,
      kAutoOptimiseKey + "=" + autoOptimise,
      "[END]",
  };
  std::string bytes;
  for (const auto& line : lines) bytes += line + "\r\n";
  return bytes;
}

struct RecordingSink : SettingsSink {
  std::vector<std::string> calls;
  void setTitle(const std::string& t) override { calls.push_back("title " + t); }
  void setPort(const std::string& p) override { calls.push_back("port " + p); }
  void setBaudIndex(int i) override { calls.push_back("baud " + std::to_string(i)); }
  void setAddress(int a) override { calls.push_back("address " + std::to_string(a)); }
  void setAutoOpen(bool on) override { calls.push_back(std::string("open ") + (on ? "1" : "0")); }
  void setAutoOptimise(bool on) override {
    calls.push_back(std::string("optimise ") + (on ? "1" : "0"));
  }
};

TEST(SettingsFileBytes, DefaultsAreTheFourteenGbkLines) {
  const std::string bytes = SettingsFileBytes(SettingsValues{});
  EXPECT_EQ(bytes, FileBytes("COM1", "5", "255", "0", "0"));
  size_t lines = 0;
  for (size_t at = bytes.find("\r\n"); at != std::string::npos; at = bytes.find("\r\n", at + 2))
    ++lines;
  EXPECT_EQ(lines, 14u);
  for (const auto* key : {&kNameKey, &kPortKey, &kBaudKey, &kAutoOptimiseKey})
    EXPECT_EQ(key->size(), 10u);
}

TEST(SettingsFileBytes, CurrentValuesAreWritten) {
  SettingsValues v;
  v.port = "COM4";
  v.baudIndex = 11;
  v.address = 3;
  v.autoOpen = true;
  EXPECT_EQ(SettingsFileBytes(v), FileBytes("COM4", "11", "3", "1", "0"));
}

TEST(CutSettings, ValuesAreTheTextsBetweenEqualsAndLineEnd) {
  struct Case {
    const char* port;
    const char* baud;
    const char* address;
    const char* open;
    const char* optimise;
  } cases[] = {
      {"COM1", "5", "255", "0", "0"},
      {"/dev/ttyUSB0", "11", "0", "1", "1"},
      {"", "", "", "", ""},
      {"COM256", "0", "17", "yes", "2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.port);
    const SettingsText t = CutSettings(FileBytes(c.port, c.baud, c.address, c.open, c.optimise));
    EXPECT_EQ(t.name, "VYL 编程软件");
    EXPECT_EQ(t.version, "Ver 0.05");
    EXPECT_EQ(t.port, c.port);
    EXPECT_EQ(t.baudIndex, c.baud);
    EXPECT_EQ(t.address, c.address);
    EXPECT_EQ(t.autoOpen, c.open);
    EXPECT_EQ(t.autoOptimise, c.optimise);
  }
}

TEST(CutSettings, AGarbledFileGivesEmptyOrShiftedValuesWithoutFailing) {
  for (const std::string& bytes :
       {std::string(), std::string("[END]"), std::string("\xFF\xFE garbage [\r\n"),
        FileBytes("COM1", "5", "255", "0", "0").substr(0, 120)}) {
    const SettingsText t = CutSettings(bytes);
    EXPECT_LE(t.port.size(), bytes.size() * 3);
  }
  // Blanks around "=" shift the cut by the key positions.
  std::string shifted = FileBytes("COM1", "5", "255", "0", "0");
  shifted.replace(shifted.find(kPortKey + "="), kPortKey.size() + 1, kPortKey + " = ");
  EXPECT_EQ(CutSettings(shifted).port, "= COM1");
}

TEST(ApplySettings, AppliesInOrderAndIgnoresUnknownFlags) {
  RecordingSink sink;
  ApplySettings({"VYL 编程软件", "Ver 0.05", "COM4", "11", "3", "yes", "1"}, sink);
  EXPECT_EQ(sink.calls, (std::vector<std::string>{"title VYL 编程软件 Ver 0.05", "port COM4",
                                                  "baud 11", "address 3", "optimise 1"}));
}

TEST(ApplySettings, ANonIntegerStopsWithTheConversionMessage) {
  struct Case {
    const char* baud;
    const char* address;
    const char* message;
    size_t appliedBefore;
  } cases[] = {
      {"x5", "3", "'x5' is not a valid integer value", 2},
      {"5", "", "'' is not a valid integer value", 3},
      {"5", "2 5", "'2 5' is not a valid integer value", 3},
      {"99999999999", "1", "'99999999999' is not a valid integer value", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    RecordingSink sink;
    try {
      ApplySettings({"n", "v", "COM2", c.baud, c.address, "1", "1"}, sink);
      ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
    EXPECT_EQ(sink.calls.size(), c.appliedBefore);
  }
}

class SettingsFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/relay-settings-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(folder); }
  std::string read(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  std::filesystem::path folder;
};

TEST_F(SettingsFolder, DefaultsAreWrittenOnlyWhenTheFileIsMissing) {
  const auto file = folder / kSettingsFileName;
  WriteDefaultSettingsIfMissing(file);
  EXPECT_EQ(read(file), FileBytes("COM1", "5", "255", "0", "0"));
  std::ofstream(file, std::ios::binary | std::ios::trunc) << "kept";
  WriteDefaultSettingsIfMissing(file);
  EXPECT_EQ(read(file), "kept");
}

TEST_F(SettingsFolder, ReadingAMissingFileNamesIt) {
  RecordingSink sink;
  try {
    ReadSettingsFile(folder / "absent.ini", sink);
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("absent.ini"), std::string::npos);
  }
  EXPECT_TRUE(sink.calls.empty());
}

TEST_F(SettingsFolder, WritingIntoAMissingFolderFailsWithItsName) {
  EXPECT_THROW(WriteSettingsFile(folder / "no" / "such" / kSettingsFileName, SettingsValues{}),
               std::runtime_error);
}

TEST_F(SettingsFolder, TheProgramFolderIsUsedWhenWritableElseTheUserFolder) {
  const auto inProgramFolder = folder / kSettingsFileName;
  SettingsFiles files = ChooseSettingsFiles(folder, folder / "user");
  EXPECT_EQ(files.readFrom, inProgramFolder);
  EXPECT_EQ(files.writeTo, inProgramFolder);
  const auto missing = folder / "missing";
  files = ChooseSettingsFiles(missing, folder / "user");
  EXPECT_EQ(files.readFrom, folder / "user" / kSettingsFileName);
  EXPECT_EQ(files.writeTo, folder / "user" / kSettingsFileName);
  EXPECT_TRUE(std::filesystem::is_directory(folder / "user"));
}

// A settings file installed read-only beside the program: its values are read, and
// the user's changes go to the user's configuration folder, which is read from then
// on. Root may write anything, so the check runs as an unprivileged user then.
TEST_F(SettingsFolder, AReadOnlyFileInTheProgramFolderIsReadAndTheUserFileWritten) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  namespace fs = std::filesystem;
  const fs::path program = folder / "program";
  const fs::path home = folder / "home";
  fs::create_directories(program);
  fs::create_directories(home);
  const fs::path installed = program / kSettingsFileName;
  const std::string installedBytes = FileBytes("/dev/ttyUSB3", "11", "7", "0", "1");
  std::ofstream(installed, std::ios::binary) << installedBytes;
  fs::permissions(installed,
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  fs::permissions(program, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                               fs::perms::group_exec | fs::perms::others_read |
                               fs::perms::others_exec);
  fs::permissions(home, fs::perms::all);
  fs::permissions(folder, fs::perms::all);
  const fs::path user = home / "config";
  const fs::path userFile = user / kSettingsFileName;

  auto check = [&](bool ok, int code) {
    if (!ok) std::_Exit(code);
  };
  EXPECT_EXIT(
      {
        if (geteuid() == 0) check(setgid(65534) == 0 && setuid(65534) == 0, 2);
        // First start: the installed file gives the values.
        SettingsFiles files = ChooseSettingsFiles(program, user);
        check(files.readFrom == installed && files.writeTo == userFile, 3);
        WriteDefaultSettingsIfMissing(files.readFrom);
        RecordingSink sink;
        ReadSettingsFile(files.readFrom, sink);
        check(sink.calls.size() == 6 && sink.calls[1] == "port /dev/ttyUSB3" &&
                  sink.calls[3] == "address 7",
              4);
        // Closing writes the user's file, starting from those values.
        WriteSettingsFile(
            files.writeTo,
            SettingsValues{
                .port = "/dev/ttyUSB3", .baudIndex = 11, .address = 9, .autoOptimise = true});
        check(read(userFile) == FileBytes("/dev/ttyUSB3", "11", "9", "0", "1"), 5);
        check(read(installed) == installedBytes, 6);
        // Next start: the user's own file.
        files = ChooseSettingsFiles(program, user);
        check(files.readFrom == userFile && files.writeTo == userFile, 7);
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(0), "");
  fs::permissions(program, fs::perms::owner_all);  // so that the folder can be removed
}

}  // namespace
}  // namespace relay::app
