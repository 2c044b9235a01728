#include "version/Version.h"

#include "BuildInfo.h"

namespace relay::version {

std::string VersionText() {
  std::string text = RELAY_VERSION;
  const std::string_view commit = RELAY_GIT_COMMIT;
  if (!commit.empty()) text += " (git " + std::string(commit) + ")";
  return text;
}

std::string VersionLine(std::string_view program) {
  return std::string(program) + " " + VersionText();
}

}  // namespace relay::version
