#include "version/version.h"

#include "build_info.h"

namespace fw::version {

std::string VersionText() {
  std::string text = FW_FLASHER_VERSION;
  const std::string_view commit = FW_FLASHER_GIT_COMMIT;
  if (!commit.empty()) text += " (git " + std::string(commit) + ")";
  return text;
}

std::string VersionLine(std::string_view program) {
  return std::string(program) + " " + VersionText();
}

}  // namespace fw::version
