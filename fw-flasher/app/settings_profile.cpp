#include "app/settings_profile.h"

#include <cstdlib>

#include <QByteArray>
#include <QSettings>
#include <QString>
#include <QVariant>

#include "app/gbk_text.h"

namespace fw {
namespace {

constexpr std::string_view kOrganisation = "QMVFW-FLASHER-VC6";
constexpr std::string_view kSection = "Settings";
constexpr std::string_view kFileExtension = ".ini";
// Leaves room for the extension and a lock file's suffix within a file name's 255 bytes.
constexpr std::size_t kMaxNameBytes = 200;
constexpr char kReplacement = '_';

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

void SettingsProfile::WriteInt(std::string_view key, int value) {
  std::lock_guard lock(mutex_);
  settings_->setValue(KeyOf(key), value);
  settings_->sync();
}

std::optional<std::vector<std::uint8_t>> SettingsProfile::ReadBytes(std::string_view key) {
  std::lock_guard lock(mutex_);
  settings_->sync();
  const QVariant stored = settings_->value(KeyOf(key));
  if (!stored.isValid()) return std::nullopt;
  const QByteArray bytes = stored.toByteArray();
  return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

void SettingsProfile::WriteBytes(std::string_view key, const std::vector<std::uint8_t>& bytes) {
  std::lock_guard lock(mutex_);
  settings_->setValue(KeyOf(key), QByteArray(reinterpret_cast<const char*>(bytes.data()),
                                             static_cast<qsizetype>(bytes.size())));
  settings_->sync();
}

}  // namespace fw
