#pragma once
// The settings file "VYL_config.ini": fourteen CR LF lines in GBK with
// bracketed Chinese keys. Values are cut out by the byte positions of the keys,
// so a file written by older versions of the program reads the same way.

#include <filesystem>
#include <string>

namespace relay::app {

inline constexpr const char* kSettingsFileName = "VYL_config.ini";
inline constexpr const char* kProgramName = "VYL 编程软件";
inline constexpr const char* kProgramVersion = "Ver 0.05";

// The values of page 2 that the file keeps.
struct SettingsValues {
  std::string port = "COM1";
  int baudIndex = 5;  // 9600
  int address = 255;
  bool autoOpen = false;
  bool autoOptimise = false;
};

// The values as cut out of the file, still as text (UTF-8).
struct SettingsText {
  std::string name, version, port, baudIndex, address, autoOpen, autoOptimise;
};

// Receives what was read, one value after the other; an exception thrown
// while applying leaves the values before it applied.
class SettingsSink {
 public:
  virtual ~SettingsSink() = default;
  virtual void setTitle(const std::string& title) = 0;
  virtual void setPort(const std::string& port) = 0;
  virtual void setBaudIndex(int index) = 0;
  virtual void setAddress(int address) = 0;
  virtual void setAutoOpen(bool on) = 0;
  virtual void setAutoOptimise(bool on) = 0;
};

// The file's bytes for the given values (GBK, CR LF).
std::string SettingsFileBytes(const SettingsValues& values);

// Cuts the values out of the file's bytes.
SettingsText CutSettings(const std::string& fileBytes);

// Applies cut values in the order title, port, baud index, address, auto-open,
// auto-optimise. A baud index or address that is not a decimal integer throws
// "'%s' is not a valid integer value". A flag other than "1" or "0" is ignored.
void ApplySettings(const SettingsText& text, SettingsSink& sink);

// Writes the file with the given values, replacing it whole: a failed write leaves
// the old file as it was. Throws std::runtime_error naming the file and the
// system's reason when it cannot be written.
void WriteSettingsFile(const std::filesystem::path& path, const SettingsValues& values);

// Writes the defaults when the file does not exist yet.
void WriteDefaultSettingsIfMissing(const std::filesystem::path& path);

// Reads and applies the file. Throws when it cannot be opened.
void ReadSettingsFile(const std::filesystem::path& path, SettingsSink& sink);

// Where the settings are read at start and written at close.
struct SettingsFiles {
  std::filesystem::path readFrom;
  std::filesystem::path writeTo;
};

// The program folder's file when the folder takes new files and the file, if there,
// may be written.
// Otherwise the file is written into the user's configuration folder (created when
// missing); until it exists there, the program folder's file is read, so that a file
// installed read-only with the program gives the values the user starts from.
SettingsFiles ChooseSettingsFiles(const std::filesystem::path& programFolder,
                                  const std::filesystem::path& userConfigFolder);

// Delphi-style whole-text integer conversion with its message.
int TextToInt(const std::string& text);

}  // namespace relay::app
