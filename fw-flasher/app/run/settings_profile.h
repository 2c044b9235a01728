// The profile as an INI file: <config>/QMVFW-FLASHER-VC6/<application>.ini,
// where <config> is $XDG_CONFIG_HOME (or ~/.config) and <application> the
// project's application name (project string 11). The dialog and fw-flash of
// one project share it, locking it with an flock on <application>.ini.flock.
// Every write makes a complete new file beside it and renames it over the old
// one.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "app/run/profile.h"
#include "app/run/profile_file.h"

class QSettings;

namespace fw {

// The application name as the profile's file name: project string 11 (GBK) in
// UTF-8, with every character a file name cannot hold (a slash, a control
// character, and those other systems refuse) as "_", "." and ".." as "_", at
// most 200 bytes. An empty name stays empty (the file is then named after
// the organisation alone).
std::string ProfileApplicationName(std::string_view gbk_name);

// The profile's file for that application name; the folder of the
// configuration read from the environment at each call.
std::string ProfileFilePath(std::string_view gbk_name);

class SettingsProfile final : public Profile {
 public:
  explicit SettingsProfile(std::string_view gbk_application_name);
  ~SettingsProfile() override;
  SettingsProfile(const SettingsProfile&) = delete;
  SettingsProfile& operator=(const SettingsProfile&) = delete;

  // Every read sees what another program wrote last; every write is on disk
  // when it returns. The window's thread and the download worker may call them
  // at the same time; the lock is held by one of them at a time.
  int ReadInt(std::string_view key, int fallback) override;
  std::optional<std::vector<std::uint8_t>> ReadBytes(std::string_view key) override;
  std::optional<std::string> ReadText(std::string_view key) override;
  ProfileLockResult Lock(const std::function<bool()>& keep_waiting, std::string& reason) override;
  void Unlock() override;
  bool CheckWritable(std::string& reason) override;
  bool Write(const ProfileChanges& changes, std::string& reason) override;
  std::string Location() const override { return file_path_; }

  const std::string& file_path() const { return file_path_; }

 private:
  std::string file_path_;
  std::mutex mutex_;  // QSettings is not to be used from two threads at once
  // Only reads: the settings library keeps a failed write's values for the
  // next write to the same file, so writes go through a temporary file.
  std::unique_ptr<QSettings> settings_;
  std::mutex hold_;  // this program's holder of the lock
  ProfileLockFile lock_file_;
};

}  // namespace fw
