// The profile file: where it lives, the application name made safe as a file
// name, and values that survive the program (another profile object on the same
// file reads them, as fw-flash and the dialog share one).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "app/settings_profile.h"
#include "tests/support/temp_folder.h"

namespace fw {
namespace {

class SettingsProfileTest : public test::TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    const char* old = std::getenv("XDG_CONFIG_HOME");
    if (old != nullptr) saved_ = old;
    setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
  }
  void TearDown() override {
    if (saved_) {
      setenv("XDG_CONFIG_HOME", saved_->c_str(), 1);
    } else {
      unsetenv("XDG_CONFIG_HOME");
    }
    TempFolderTest::TearDown();
  }
  std::optional<std::string> saved_;
};

TEST_F(SettingsProfileTest, ValuesSurviveInTheApplicationsFile) {
  {
    SettingsProfile profile("RelayFlasherDemo");
    EXPECT_EQ(profile.file_path(), (dir_ / "QMVFW-FLASHER-VC6" / "RelayFlasherDemo.ini").string());
    EXPECT_EQ(profile.ReadInt("PassCounter", 7), 7);
    EXPECT_EQ(profile.ReadBytes("IncValue1"), std::nullopt);
    profile.WriteInt("PassCounter", 41);
    profile.WriteInt("IncValue1Valid", 1);
    std::vector<std::uint8_t> bytes(16);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 17);
    profile.WriteBytes("IncValue1", bytes);
  }
  SettingsProfile again("RelayFlasherDemo");
  EXPECT_EQ(again.ReadInt("PassCounter", 0), 41);
  EXPECT_EQ(again.ReadInt("IncValue1Valid", 0), 1);
  const auto bytes = again.ReadBytes("IncValue1");
  ASSERT_TRUE(bytes.has_value());
  ASSERT_EQ(bytes->size(), 16u);
  EXPECT_EQ((*bytes)[1], 17);
  EXPECT_EQ((*bytes)[15], 255);
  // The keys stand in section "Settings".
  const std::string text = Read(again.file_path());
  EXPECT_NE(text.find("[Settings]"), std::string::npos) << text;
  EXPECT_NE(text.find("PassCounter=41"), std::string::npos) << text;
}

TEST_F(SettingsProfileTest, AWriteIsSeenByAProfileOpenedBefore) {
  SettingsProfile dialog("Shared");
  SettingsProfile command_line("Shared");
  EXPECT_EQ(dialog.ReadInt("PassCounter", 0), 0);
  command_line.WriteInt("PassCounter", 3);
  EXPECT_EQ(dialog.ReadInt("PassCounter", 0), 3);
}

TEST_F(SettingsProfileTest, ProjectsWithOtherNamesKeepTheirOwnCounters) {
  SettingsProfile("First").WriteInt("PassCounter", 1);
  SettingsProfile("Second").WriteInt("PassCounter", 2);
  EXPECT_EQ(SettingsProfile("First").ReadInt("PassCounter", 0), 1);
  EXPECT_EQ(SettingsProfile("Second").ReadInt("PassCounter", 0), 2);
}

TEST_F(SettingsProfileTest, AValueThatIsNoNumberGivesTheFallback) {
  SettingsProfile profile("Odd");
  profile.WriteBytes("PassCounter", {'x', 'y'});
  EXPECT_EQ(profile.ReadInt("PassCounter", 9), 9);
}

TEST_F(SettingsProfileTest, TheApplicationNameIsMadeSafeAsAFileName) {
  struct Case {
    std::string gbk;
    std::string name;
  };
  const Case cases[] = {
      {"RelayFlasherDemo", "RelayFlasherDemo"},
      {"../../etc/passwd", ".._.._etc_passwd"},
      {"a\\b:c*d?e\"f<g>h|i", "a_b_c_d_e_f_g_h_i"},
      {std::string("tab\there\x01", 9), "tab_here_"},
      {".", "_"},
      {"..", "_"},
      {"", ""},
      // GBK for "继电器" becomes UTF-8.
      {"\xBC\xCC\xB5\xE7\xC6\xF7", "\xE7\xBB\xA7\xE7\x94\xB5\xE5\x99\xA8"},
  };
  for (const Case& c : cases) EXPECT_EQ(ProfileApplicationName(c.gbk), c.name) << c.gbk;
  // Long names are cut at a character boundary.
  std::string long_gbk;
  for (int i = 0; i < 150; ++i) long_gbk += "\xBC\xCC";
  const std::string cut = ProfileApplicationName(long_gbk);
  EXPECT_LE(cut.size(), 200u);
  EXPECT_EQ(cut.size() % 3, 0u);
}

TEST_F(SettingsProfileTest, UnsafeAndEmptyNamesStayInsideTheConfigurationFolder) {
  SettingsProfile escaping("../../escape");
  escaping.WriteInt("PassCounter", 1);
  EXPECT_TRUE(std::filesystem::exists(dir_ / "QMVFW-FLASHER-VC6" / ".._.._escape.ini"));
  SettingsProfile unnamed("");
  unnamed.WriteInt("PassCounter", 2);
  EXPECT_TRUE(std::filesystem::exists(dir_ / "QMVFW-FLASHER-VC6.ini"));
}

TEST_F(SettingsProfileTest, WithoutXdgConfigHomeTheProfileIsUnderHome) {
  unsetenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  ASSERT_NE(home, nullptr);
  EXPECT_EQ(ProfileFilePath("Name"), std::string(home) + "/.config/QMVFW-FLASHER-VC6/Name.ini");
}

}  // namespace
}  // namespace fw
