// Parsing of the simulator's command-line values.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <cstdint>

namespace fw::sim {

struct FirmwareVersion {
  int version_byte = 0;  // 0x72 for 7.2
  int letter = 0;
  int build = 0;
};

// "7.2C" or "7.2.5C": major, minor (one hex digit each), optional build, letter.
std::optional<FirmwareVersion> ParseFirmwareVersion(const std::string& text);
// Hexadecimal bytes, blanks allowed between them ("FF7F01" or "FF 7F 01").
std::optional<std::vector<std::uint8_t>> ParseHexBytes(const std::string& text);

}  // namespace fw::sim
