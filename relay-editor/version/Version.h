#pragma once
// What relay-editor, relay-cli and relay-sim print for --version.

#include <string>
#include <string_view>

namespace relay::version {

// The project's version, followed by the git commit when the programs were built from
// a checkout: "0.5.0 (git 1a2b3c4d5e6f)"; "-modified" marks uncommitted changes.
std::string VersionText();

// "relay-cli 0.5.0 (git 1a2b3c4d5e6f)".
std::string VersionLine(std::string_view program);

}  // namespace relay::version
