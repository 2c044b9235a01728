#include "app/run/settings_profile.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <QByteArray>
#include <QSettings>
#include <QString>
#include <QVariant>

#include "app/project/gbk_text.h"

namespace fw {
namespace {

constexpr std::string_view kOrganisation = "QMVFW-FLASHER-VC6";
constexpr std::string_view kSection = "Settings";
constexpr std::string_view kFileExtension = ".ini";
// Leaves room for the extension and a lock file's suffix within a file name's 255 bytes.
constexpr std::size_t kMaxNameBytes = 200;
constexpr char kReplacement = '_';
// How often a program waiting for the lock tries again.
constexpr auto kLockRetry = std::chrono::milliseconds(50);
// A trial write is this much larger than the profile: room for the values a
// download adds.
constexpr std::size_t kTrialSlack = 4096;

bool UnsafeInFileName(unsigned char c) {
  static constexpr std::string_view kRefused = "/\\:*?\"<>|";
  return c < 0x20 || c == 0x7F || kRefused.find(static_cast<char>(c)) != std::string_view::npos;
}

// Cuts at a character boundary of the UTF-8 text.
void CutUtf8(std::string& text, std::size_t max_bytes) {
  if (text.size() <= max_bytes) return;
  std::size_t end = max_bytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
}

std::string ConfigFolder() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') return xdg;
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + "/.config";
}

QString KeyOf(std::string_view key) {
  return QString::fromUtf8(kSection.data(), static_cast<qsizetype>(kSection.size())) + '/' +
         QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()));
}

}  // namespace

std::string ProfileApplicationName(std::string_view gbk_name) {
  std::string name = GbkToUtf8(gbk_name);
  for (char& c : name) {
    if (UnsafeInFileName(static_cast<unsigned char>(c))) c = kReplacement;
  }
  if (name == "." || name == "..") name = std::string(1, kReplacement);
  CutUtf8(name, kMaxNameBytes);
  return name;
}

std::string ProfileFilePath(std::string_view gbk_name) {
  const std::string name = ProfileApplicationName(gbk_name);
  const std::string folder = ConfigFolder() + "/" + std::string(kOrganisation);
  if (name.empty()) return folder + std::string(kFileExtension);
  return folder + "/" + name + std::string(kFileExtension);
}

SettingsProfile::SettingsProfile(std::string_view gbk_application_name)
    : file_path_(ProfileFilePath(gbk_application_name)),
      settings_(
          std::make_unique<QSettings>(QString::fromStdString(file_path_), QSettings::IniFormat)) {}

SettingsProfile::~SettingsProfile() = default;

int SettingsProfile::ReadInt(std::string_view key, int fallback) {
  std::lock_guard lock(mutex_);
  settings_->sync();
  bool ok = false;
  const int value = settings_->value(KeyOf(key)).toInt(&ok);
  return ok ? value : fallback;
}

std::optional<std::vector<std::uint8_t>> SettingsProfile::ReadBytes(std::string_view key) {
  std::lock_guard lock(mutex_);
  settings_->sync();
  const QVariant stored = settings_->value(KeyOf(key));
  if (!stored.isValid()) return std::nullopt;
  const QByteArray bytes = stored.toByteArray();
  return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

std::optional<std::string> SettingsProfile::ReadText(std::string_view key) {
  std::lock_guard lock(mutex_);
  settings_->sync();
  const QVariant stored = settings_->value(KeyOf(key));
  if (!stored.isValid()) return std::nullopt;
  return stored.toString().toStdString();
}

ProfileLockResult SettingsProfile::Lock(const std::function<bool()>& keep_waiting,
                                        std::string& reason) {
  while (!hold_.try_lock()) {
    if (!keep_waiting()) return ProfileLockResult::kGaveUp;
    std::this_thread::sleep_for(kLockRetry);
  }
  if (!MakeProfileFolder(file_path_, reason)) {
    hold_.unlock();
    return ProfileLockResult::kFailed;
  }
  for (;;) {
    switch (lock_file_.TryTake(ProfileLockPath(file_path_), reason)) {
      case ProfileLockFile::Attempt::kTaken:
        return ProfileLockResult::kTaken;
      case ProfileLockFile::Attempt::kFailed:
        hold_.unlock();
        return ProfileLockResult::kFailed;
      case ProfileLockFile::Attempt::kBusy:
        break;
    }
    if (!keep_waiting()) {
      hold_.unlock();
      return ProfileLockResult::kGaveUp;
    }
    std::this_thread::sleep_for(kLockRetry);
  }
}

void SettingsProfile::Unlock() {
  if (!lock_file_.held()) return;
  lock_file_.Release();
  hold_.unlock();
}

bool SettingsProfile::CheckWritable(std::string& reason) {
  std::lock_guard lock(mutex_);
  return TryProfileWrite(file_path_, ProfileSize(file_path_) + kTrialSlack, reason);
}

bool SettingsProfile::Write(const ProfileChanges& changes, std::string& reason) {
  std::lock_guard lock(mutex_);
  const std::optional<std::string> temp = MakeProfileTempFile(file_path_, reason);
  if (!temp) return false;
  bool encoded = false;
  {
    settings_->sync();
    QSettings next(QString::fromStdString(*temp), QSettings::IniFormat);
    for (const QString& key : settings_->allKeys()) next.setValue(key, settings_->value(key));
    for (const auto& [key, value] : changes.ints) next.setValue(KeyOf(key), value);
    for (const auto& [key, value] : changes.bytes) {
      next.setValue(KeyOf(key), QByteArray(reinterpret_cast<const char*>(value.data()),
                                           static_cast<qsizetype>(value.size())));
    }
    for (const auto& [key, value] : changes.texts) {
      if (value.empty()) {
        next.remove(KeyOf(key));
      } else {
        next.setValue(KeyOf(key), QString::fromStdString(value));
      }
    }
    next.sync();
    encoded = next.status() == QSettings::NoError;
  }
  if (!encoded) {
    // The settings library does not say why: a trial write of the same size does.
    if (TryProfileWrite(file_path_, ProfileSize(*temp) + kTrialSlack, reason)) {
      reason = std::strerror(EIO);
    }
    RemoveProfileTempFile(*temp);
    return false;
  }
  return ReplaceProfile(*temp, file_path_, reason);
}

}  // namespace fw
