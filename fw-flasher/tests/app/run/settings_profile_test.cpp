// The profile file: where it lives, the application name made safe as a file
// name, values that survive the program (another profile object on the same
// file reads them, as fw-flash and the dialog share one), its lock, and writes
// that replace it whole or leave it as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "app/run/profile_counters.h"
#include "app/run/settings_profile.h"
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

// Writes and expects the write to succeed.
void Put(Profile& profile, const ProfileChanges& changes) {
  std::string reason;
  ASSERT_TRUE(profile.Write(changes, reason)) << reason;
}
ProfileChanges Int(const std::string& key, int value) {
  ProfileChanges changes;
  changes.ints[key] = value;
  return changes;
}

TEST_F(SettingsProfileTest, ValuesSurviveInTheApplicationsFile) {
  {
    SettingsProfile profile("RelayFlasherDemo");
    EXPECT_EQ(profile.file_path(), (dir_ / "QMVFW-FLASHER-VC6" / "RelayFlasherDemo.ini").string());
    EXPECT_EQ(profile.ReadInt("PassCounter", 7), 7);
    EXPECT_EQ(profile.ReadBytes("IncValue1"), std::nullopt);
    ProfileChanges changes = Int("PassCounter", 41);
    changes.ints["IncValue1Valid"] = 1;
    std::vector<std::uint8_t> bytes(16);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 17);
    changes.bytes["IncValue1"] = bytes;
    Put(profile, changes);
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
  Put(command_line, Int("PassCounter", 3));
  EXPECT_EQ(dialog.ReadInt("PassCounter", 0), 3);
  // A write keeps the keys it does not name, whoever wrote them.
  Put(dialog, Int("Main_COMx", 4));
  EXPECT_EQ(command_line.ReadInt("PassCounter", 0), 3);
  EXPECT_EQ(command_line.ReadInt("Main_COMx", 0), 4);
}

TEST_F(SettingsProfileTest, ProjectsWithOtherNamesKeepTheirOwnCounters) {
  SettingsProfile first("First");
  Put(first, Int("PassCounter", 1));
  SettingsProfile second("Second");
  Put(second, Int("PassCounter", 2));
  EXPECT_EQ(SettingsProfile("First").ReadInt("PassCounter", 0), 1);
  EXPECT_EQ(SettingsProfile("Second").ReadInt("PassCounter", 0), 2);
}

TEST_F(SettingsProfileTest, AValueThatIsNoNumberGivesTheFallback) {
  SettingsProfile profile("Odd");
  ProfileChanges changes;
  changes.bytes["PassCounter"] = {'x', 'y'};
  Put(profile, changes);
  EXPECT_EQ(profile.ReadInt("PassCounter", 9), 9);
}

TEST_F(SettingsProfileTest, TextsAreKeptBesideTheCountersAndAnEmptyTextRemovesItsKey) {
  SettingsProfile profile("Texts");
  Put(profile, Int("PassCounter", 7));
  ProfileChanges texts;
  // Text with "=", ";" and non-ASCII characters must come back as it was.
  texts.texts["SerialList"] = "/lists/序列 1.txt=3;ab";
  texts.texts["Other"] = "x";
  Put(profile, texts);
  EXPECT_EQ(SettingsProfile("Texts").ReadText("SerialList"), "/lists/序列 1.txt=3;ab");
  EXPECT_EQ(profile.ReadInt("PassCounter", 0), 7);
  ProfileChanges removal;
  removal.texts["Other"] = "";
  Put(profile, removal);
  EXPECT_FALSE(profile.ReadText("Other").has_value());
  EXPECT_TRUE(profile.ReadText("SerialList").has_value());
  EXPECT_FALSE(profile.ReadText("Absent").has_value());
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
  Put(escaping, Int("PassCounter", 1));
  EXPECT_TRUE(std::filesystem::exists(dir_ / "QMVFW-FLASHER-VC6" / ".._.._escape.ini"));
  SettingsProfile unnamed("");
  Put(unnamed, Int("PassCounter", 2));
  EXPECT_TRUE(std::filesystem::exists(dir_ / "QMVFW-FLASHER-VC6.ini"));
}

TEST_F(SettingsProfileTest, WithoutXdgConfigHomeTheProfileIsUnderHome) {
  unsetenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  ASSERT_NE(home, nullptr);
  EXPECT_EQ(ProfileFilePath("Name"), std::string(home) + "/.config/QMVFW-FLASHER-VC6/Name.ini");
}

// The files in the profile's folder besides the profile and its lock file.
std::vector<std::string> StrayFiles(const std::filesystem::path& folder) {
  std::vector<std::string> stray;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name != "App.ini" && name != "App.ini.flock") stray.push_back(name);
  }
  return stray;
}

// The lock is an flock on the file beside the profile: another program (here
// another profile object on the same file) waits for it, and takes it once it
// is released.
TEST_F(SettingsProfileTest, OneProgramAtATimeHoldsTheLock) {
  SettingsProfile window("App");
  SettingsProfile command_line("App");
  std::string reason;
  ASSERT_EQ(window.Lock([] { return false; }, reason), ProfileLockResult::kTaken) << reason;
  EXPECT_TRUE(std::filesystem::exists(dir_ / "QMVFW-FLASHER-VC6" / "App.ini.flock"));
  int waits = 0;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(command_line.Lock([&] { return ++waits < 4; }, reason), ProfileLockResult::kGaveUp);
  EXPECT_EQ(waits, 4);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(120))
      << "about 50 ms between the attempts";
  // The holder's own second user (its window thread) waits as well.
  EXPECT_EQ(window.Lock([] { return false; }, reason), ProfileLockResult::kGaveUp);

  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    window.Unlock();
  });
  EXPECT_EQ(command_line.Lock([] { return true; }, reason), ProfileLockResult::kTaken) << reason;
  release.join();
  command_line.Unlock();
  EXPECT_EQ(window.Lock([] { return false; }, reason), ProfileLockResult::kTaken);
  window.Unlock();
}

// A profile folder that cannot be made (its parent is a file, which stops
// root as well): no lock, no trial write and no write, each with the reason;
// nothing is left behind.
TEST_F(SettingsProfileTest, AFolderThatCannotBeMadeIsRefusedWithTheReason) {
  Write("blocked", "a file where the configuration folder should be");
  setenv("XDG_CONFIG_HOME", (dir_ / "blocked").c_str(), 1);
  SettingsProfile profile("App");
  EXPECT_EQ(profile.Location(), (dir_ / "blocked" / "QMVFW-FLASHER-VC6" / "App.ini").string());
  std::string reason;
  EXPECT_EQ(profile.Lock([] { return true; }, reason), ProfileLockResult::kFailed);
  EXPECT_EQ(reason, "Not a directory");
  reason.clear();
  EXPECT_FALSE(profile.CheckWritable(reason));
  EXPECT_EQ(reason, "Not a directory");
  reason.clear();
  EXPECT_FALSE(profile.Write(Int("PassCounter", 1), reason));
  EXPECT_EQ(reason, "Not a directory");
  EXPECT_EQ(Read(dir_ / "blocked"), "a file where the configuration folder should be");
}

// A write that fails leaves the old profile whole, and its values are not
// written later by another write (the settings library would keep them).
TEST_F(SettingsProfileTest, AFailedWriteLeavesTheOldProfileAndIsNotRepeated) {
  SettingsProfile profile("App");
  Put(profile, Int("PassCounter", 5));
  const std::filesystem::path folder = dir_ / "QMVFW-FLASHER-VC6";
  const std::string before = Read(folder / "App.ini");
  // The folder taken away while the profile is in use: a file in its place.
  std::filesystem::rename(folder, dir_ / "moved");
  Write("QMVFW-FLASHER-VC6", "");
  std::string reason;
  EXPECT_FALSE(profile.CheckWritable(reason));
  EXPECT_EQ(reason, "Not a directory");
  EXPECT_FALSE(profile.Write(Int("PassCounter", 6), reason));
  EXPECT_EQ(reason, "Not a directory");
  std::filesystem::remove(dir_ / "QMVFW-FLASHER-VC6");
  std::filesystem::rename(dir_ / "moved", folder);
  EXPECT_EQ(Read(folder / "App.ini"), before);
  EXPECT_EQ(profile.ReadInt("PassCounter", 0), 5);
  Put(profile, Int("Main_COMx", 2));
  EXPECT_EQ(SettingsProfile("App").ReadInt("PassCounter", 0), 5);
  EXPECT_TRUE(StrayFiles(folder).empty());
}

// A profile that is a folder cannot be replaced by a file.
TEST_F(SettingsProfileTest, AProfileThatIsAFolderIsRefused) {
  std::filesystem::create_directories(dir_ / "QMVFW-FLASHER-VC6" / "App.ini");
  SettingsProfile profile("App");
  std::string reason;
  EXPECT_FALSE(profile.CheckWritable(reason));
  EXPECT_EQ(reason, "Is a directory");
  EXPECT_FALSE(profile.Write(Int("PassCounter", 1), reason));
  EXPECT_EQ(reason, "Is a directory");
  EXPECT_TRUE(std::filesystem::is_directory(dir_ / "QMVFW-FLASHER-VC6" / "App.ini"));
}

// Each write puts a new file in the old one's place: an open reader keeps the
// old content, the permissions stay, no temporary file remains.
TEST_F(SettingsProfileTest, AWriteReplacesTheProfileWhole) {
  SettingsProfile profile("App");
  Put(profile, CounterChanges(3, {SerialValue::FromUnsigned64(70), std::nullopt}));
  const std::filesystem::path file = dir_ / "QMVFW-FLASHER-VC6" / "App.ini";
  ::chmod(file.c_str(), 0640);
  struct stat before {};
  ASSERT_EQ(::stat(file.c_str(), &before), 0);
  std::string reason;
  ASSERT_TRUE(profile.CheckWritable(reason)) << reason;
  Put(profile, CounterChanges(4, {SerialValue::FromUnsigned64(71), std::nullopt}));
  struct stat after {};
  ASSERT_EQ(::stat(file.c_str(), &after), 0);
  EXPECT_NE(after.st_ino, before.st_ino) << "a new file, renamed over the old one";
  EXPECT_EQ(after.st_mode & 07777, 0640u);
  const StoredCounters stored = ReadStoredCounters(profile);
  EXPECT_EQ(stored.pass_counter, 4u);
  EXPECT_EQ(stored.serials[0], SerialValue::FromUnsigned64(71));
  EXPECT_EQ(stored.serials[1], std::nullopt);
  EXPECT_TRUE(StrayFiles(file.parent_path()).empty());
}

}  // namespace
}  // namespace fw
