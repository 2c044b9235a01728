#include "sim/sim_options.h"

#include <cctype>

namespace fw::sim {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<FirmwareVersion> ParseFirmwareVersion(const std::string& text) {
  // major '.' minor ['.' build] letter
  if (text.size() < 4 || text[1] != '.') return std::nullopt;
  const int major = HexDigit(text[0]);
  const int minor = HexDigit(text[2]);
  if (major < 0 || minor < 0 || !std::isdigit(static_cast<unsigned char>(text[0])) ||
      !std::isdigit(static_cast<unsigned char>(text[2]))) {
    return std::nullopt;
  }
  FirmwareVersion v;
  v.version_byte = major << 4 | minor;
  std::size_t at = 3;
  if (text[at] == '.') {
    ++at;
    int build = 0;
    std::size_t digits = 0;
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])) && digits < 3) {
      build = build * 10 + (text[at] - '0');
      ++at;
      ++digits;
    }
    if (digits == 0 || build > 255) return std::nullopt;
    v.build = build;
  }
  if (at + 1 != text.size() || !std::isalpha(static_cast<unsigned char>(text[at])))
    return std::nullopt;
  v.letter = static_cast<unsigned char>(text[at]);
  return v;
}

std::optional<std::vector<std::uint8_t>> ParseHexBytes(const std::string& text) {
  std::vector<std::uint8_t> bytes;
  int high = -1;
  for (char c : text) {
    if (c == ' ') {
      if (high >= 0) return std::nullopt;
      continue;
    }
    const int d = HexDigit(c);
    if (d < 0) return std::nullopt;
    if (high < 0) {
      high = d;
    } else {
      bytes.push_back(static_cast<std::uint8_t>(high << 4 | d));
      high = -1;
    }
  }
  if (high >= 0) return std::nullopt;
  return bytes;
}

}  // namespace fw::sim
