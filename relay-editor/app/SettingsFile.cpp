#include "SettingsFile.h"

#include "model/GbkText.h"
#include "model/WholeFile.h"

#include <unistd.h>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <stdexcept>
#include <system_error>

namespace relay::app {

namespace {

constexpr const char* kCrLf = "\r\n";
constexpr const char* kMakerLine = "//VYL 编程软件 Horvane www.horvane.example";

// 1-based position of the first occurrence, 0 when absent.
long Pos(const std::string& needle, const std::string& text) {
  const auto at = text.find(needle);
  return at == std::string::npos ? 0 : static_cast<long>(at) + 1;
}

// Substring from a 1-based index; an index before the start counts from 1,
// a count of 0 or less gives nothing.
std::string Copy(const std::string& text, long index, long count) {
  if (index < 1) index = 1;
  if (count <= 0 || index > static_cast<long>(text.size())) return {};
  return text.substr(static_cast<size_t>(index - 1), static_cast<size_t>(count));
}

std::string Cut(const std::string& t, const std::string& key, const std::string& endKey,
                long less) {
  const long at = Pos(key, t);
  return Copy(t, at + 11, Pos(endKey, t) - at - less);
}

}  // namespace

std::string SettingsFileBytes(const SettingsValues& v) {
  const std::string lines[] = {
      "",
      kMakerLine,
      "",
      "[配置信息]",
      std::string("[软件名称]=") + kProgramName,
      std::string("[软件版本]=") + kProgramVersion,
      "",
      "[保存参数]",
      "[端 口 号]=" + v.port,
      "[波 特 率]=" + std::to_string(v.baudIndex),
      "[模块地址]=" + std::to_string(v.address),
      std::string("[自动打开]=") + (v.autoOpen ? "1" : "0"),
      std::string("[自动优化]=") + (v.autoOptimise ? "1" : "0"),
      "[END]",
  };
  std::string text;
  for (const auto& line : lines) text += line + kCrLf;
  return model::Utf8ToGbkLossy(text);
}

SettingsText CutSettings(const std::string& fileBytes) {
  const std::string& t = fileBytes;
  auto k = [](const char* key) { return model::Utf8ToGbkLossy(key); };
  SettingsText s;
  s.name = model::GbkToUtf8Lossy(Cut(t, k("[软件名称]"), k("软件版本]"), 14));
  s.version = model::GbkToUtf8Lossy(Cut(t, k("[软件版本]"), k("保存参数]"), 16));
  s.port = model::GbkToUtf8Lossy(Cut(t, k("[端 口 号]"), k("[波 特 率]"), 13));
  s.baudIndex = model::GbkToUtf8Lossy(Cut(t, k("[波 特 率]"), k("[模块地址]"), 13));
  s.address = model::GbkToUtf8Lossy(Cut(t, k("[模块地址]"), k("[自动打开]"), 13));
  s.autoOpen = model::GbkToUtf8Lossy(Cut(t, k("[自动打开]"), k("[自动优化]"), 13));
  s.autoOptimise = model::GbkToUtf8Lossy(Cut(t, k("[自动优化]"), "[END]", 13));
  return s;
}

int TextToInt(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  const char* first = text.data() + i;
  const char* last = text.data() + text.size();
  if (first != last && *first == '+') ++first;
  int value = 0;
  auto [end, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || end != last || first == last)
    throw std::runtime_error("'" + text + "' is not a valid integer value");
  return value;
}

void ApplySettings(const SettingsText& text, SettingsSink& sink) {
  sink.setTitle(text.name + " " + text.version);
  sink.setPort(text.port);
  sink.setBaudIndex(TextToInt(text.baudIndex));
  sink.setAddress(TextToInt(text.address));
  if (text.autoOpen == "1") sink.setAutoOpen(true);
  if (text.autoOpen == "0") sink.setAutoOpen(false);
  if (text.autoOptimise == "1") sink.setAutoOptimise(true);
  if (text.autoOptimise == "0") sink.setAutoOptimise(false);
}

void WriteSettingsFile(const std::filesystem::path& path, const SettingsValues& values) {
  const model::WriteResult written = model::WriteFileWhole(path, SettingsFileBytes(values));
  if (!written) throw std::runtime_error(written.message);
}

void WriteDefaultSettingsIfMissing(const std::filesystem::path& path) {
  std::error_code ec;
  if (std::filesystem::exists(path, ec)) return;
  WriteSettingsFile(path, SettingsValues{});
}

void ReadSettingsFile(const std::filesystem::path& path, SettingsSink& sink) {
  std::ifstream in(path, std::ios::binary);
  if (!in)
    throw std::runtime_error("Cannot open file \"" + path.string() + "\". " + std::strerror(errno));
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  ApplySettings(CutSettings(bytes), sink);
}

SettingsFiles ChooseSettingsFiles(const std::filesystem::path& programFolder,
                                  const std::filesystem::path& userConfigFolder) {
  const auto inProgramFolder = programFolder / kSettingsFileName;
  std::error_code ec;
  const bool exists = std::filesystem::exists(inProgramFolder, ec);
  // The file is replaced by a new one made in its folder, so the folder must take
  // new files; a read-only file there is one installed for reading only.
  if (::access(programFolder.c_str(), W_OK) == 0 &&
      (!exists || ::access(inProgramFolder.c_str(), W_OK) == 0))
    return {inProgramFolder, inProgramFolder};
  std::filesystem::create_directories(userConfigFolder, ec);
  const auto inUserFolder = userConfigFolder / kSettingsFileName;
  const bool readProgramFolder = exists && !std::filesystem::exists(inUserFolder, ec);
  return {readProgramFolder ? inProgramFolder : inUserFolder, inUserFolder};
}

}  // namespace relay::app
