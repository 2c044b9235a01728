#include "model/ProjectFile.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <system_error>

#include "model/GbkText.h"
#include "model/ProgramList.h"

namespace relay::model {
namespace {

std::string Quoted(const std::filesystem::path& path) { return "\"" + path.string() + "\""; }

std::string SystemReason(int error) { return std::strerror(error); }

}  // namespace

std::vector<std::string> ParseProjectText(std::string_view fileBytes) {
  // CR and LF never occur inside a GBK character, so the whole content is
  // converted first and then cut into lines.
  const std::string text = GbkToUtf8Reversible(fileBytes);
  std::vector<std::string> lines;
  std::size_t start = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c != '\r' && c != '\n') {
      ++i;
      continue;
    }
    lines.emplace_back(text, start, i - start);
    i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
    start = i;
  }
  if (start < text.size()) lines.emplace_back(text, start, text.size() - start);
  return lines;
}

std::string FormatProjectText(const std::vector<std::string>& lines) {
  std::string content;
  for (const std::string& line : lines) {
    content += Utf8ToGbkLossy(line);
    content += "\r\n";
  }
  return content;
}

FileResult ReadProjectFile(const std::filesystem::path& path, std::vector<std::string>& lines) {
  if (path.empty()) return {false, "No project file name given."};
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (std::filesystem::is_directory(status))
    return {false, "Cannot open file " + Quoted(path) + ". It is a folder."};
  // A pipe or device could block the reader or never end.
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
    return {false, "Cannot open file " + Quoted(path) + ". It is not a regular file."};
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in)
    return {false,
            "Cannot open file " + Quoted(path) + ". " + SystemReason(errno ? errno : ENOENT)};

  // Read at most one byte more than allowed, so that a huge file (or an
  // endless device) is refused without reading it whole.
  std::string content(kMaxProjectFileSize + 1, '\0');
  in.read(content.data(), static_cast<std::streamsize>(content.size()));
  if (in.bad())
    return {false, "Cannot read file " + Quoted(path) + ". " + SystemReason(errno ? errno : EIO)};
  content.resize(static_cast<std::size_t>(in.gcount()));
  if (content.size() > kMaxProjectFileSize)
    return {false, "File " + Quoted(path) +
                       " is larger than 1 MiB and is not a project file; it was not loaded."};
  lines = ParseProjectText(content);
  return {};
}

FileResult WriteProjectFile(const std::filesystem::path& path,
                            const std::vector<std::string>& lines, const FileCalls& calls) {
  if (path.empty()) return {false, "No project file name given."};
  const WriteResult written = WriteFileWhole(path, FormatProjectText(lines), calls);
  return {written.ok, written.message};
}

FileResult LoadProjectFile(const std::filesystem::path& path, ProgramList& list) {
  std::vector<std::string> lines;
  FileResult result = ReadProjectFile(path, lines);
  if (result) list.AppendAll(lines);
  return result;
}

FileResult SaveProjectFile(const std::filesystem::path& path, const ProgramList& list,
                           const FileCalls& calls) {
  return WriteProjectFile(path, list.HexTexts(), calls);
}

}  // namespace relay::model
