// The profile as an INI file: <config>/QMVFW-FLASHER-VC6/<application>.ini,
// where <config> is $XDG_CONFIG_HOME (or ~/.config) and <application> the
// project's application name (project string 11). The dialog and fw-flash of
// one project share it.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "app/profile.h"

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
  // at the same time.
  int ReadInt(std::string_view key, int fallback) override;
  void WriteInt(std::string_view key, int value) override;
  std::optional<std::vector<std::uint8_t>> ReadBytes(std::string_view key) override;
  void WriteBytes(std::string_view key, const std::vector<std::uint8_t>& bytes) override;

  const std::string& file_path() const { return file_path_; }

 private:
  std::string file_path_;
  std::mutex mutex_;  // QSettings is not to be used from two threads at once
  std::unique_ptr<QSettings> settings_;
};

}  // namespace fw
