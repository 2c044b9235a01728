#pragma once
// Project files (.vyl): one hex text per line, GBK text, CR LF after every
// line on writing; CR, LF or CR LF end a line on reading.

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "model/WholeFile.h"

namespace relay::model {

class ProgramList;

// Larger files are refused instead of being loaded.
inline constexpr std::size_t kMaxProjectFileSize = 1024 * 1024;

// Dialog filter and default extensions of the file dialogs.
inline constexpr std::string_view kProjectFileFilter = "VYL编程文件(*.VYL)|*.vyl";
inline constexpr std::string_view kProjectFileExtension = ".vyl";

struct FileResult {
  bool ok = true;
  std::string message;  // UTF-8; names the file and the reason on failure
  explicit operator bool() const { return ok; }
};

// Lines of a file's content (GBK bytes) as UTF-8 strings: a line ends at CR,
// LF or CR LF; a last line without a break counts; a break at the very end
// adds no empty line; empty lines are kept. Invalid GBK becomes U+FFFD.
std::vector<std::string> ParseProjectText(std::string_view fileBytes);
// The file content for these lines: GBK, every line ending in CR LF; no lines
// give an empty content.
std::string FormatProjectText(const std::vector<std::string>& lines);

// Reads the lines of a project file. Fails with a message for an empty path,
// a file that cannot be opened or read, a folder, pipe or device, and a file
// larger than 1 MiB.
FileResult ReadProjectFile(const std::filesystem::path& path, std::vector<std::string>& lines);
// Writes the lines, replacing an existing file whole (WriteFileWhole): a failed
// write leaves the old file as it was.
FileResult WriteProjectFile(const std::filesystem::path& path,
                            const std::vector<std::string>& lines,
                            const FileCalls& calls = SystemFileCalls());

// Appends the file's lines to the list (each line one entry, not bounded by
// the capacity) and renumbers. On failure the list is unchanged.
FileResult LoadProjectFile(const std::filesystem::path& path, ProgramList& list);
// Writes the list's hex texts in order.
FileResult SaveProjectFile(const std::filesystem::path& path, const ProgramList& list,
                           const FileCalls& calls = SystemFileCalls());

}  // namespace relay::model
