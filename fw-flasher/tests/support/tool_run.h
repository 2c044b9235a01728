// A build tool run from a test: its exit status and what it printed on stderr.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace fw::test {

struct ToolRun {
  int status = -1;  // the exit status; -1 when the tool did not exit by itself
  std::string errors;
};

// Runs "tool in out" with stderr caught in a file of folder.
inline ToolRun RunTool(const std::string& tool, const std::filesystem::path& in,
                       const std::filesystem::path& out, const std::filesystem::path& folder) {
  const std::filesystem::path errors = folder / "tool_errors.txt";
  const std::string command =
      "'" + tool + "' '" + in.string() + "' '" + out.string() + "' 2>'" + errors.string() + "'";
  const int status = std::system(command.c_str());
  std::ifstream text(errors);
  ToolRun run;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.errors.assign(std::istreambuf_iterator<char>(text), std::istreambuf_iterator<char>());
  return run;
}

}  // namespace fw::test
