#pragma once
// What fw-flasher, fw-flash, fw-pack and isp-sim print for --version.

#include <string>
#include <string_view>

namespace fw::version {

// The flasher's version, followed by the git commit when the programs were built
// from a checkout: "0.1.0 (git 1a2b3c4d5e6f)"; "-modified" marks uncommitted changes.
std::string VersionText();

// "fw-flash 0.1.0 (git 1a2b3c4d5e6f)".
std::string VersionLine(std::string_view program);

}  // namespace fw::version
