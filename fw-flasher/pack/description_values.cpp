#include "pack/description_values.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace fw {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

constexpr std::size_t kFileNameMaxBytes = 251;  // 255 on the file system, less ".ini"
constexpr std::string_view kFileNameForbidden = "/\\:*?\"<>|";

}  // namespace

std::optional<int> BaudIndexOf(std::int64_t baud) {
  const auto found = std::find(kBaudTable.begin(), kBaudTable.end(), baud);
  if (found == kBaudTable.end()) return std::nullopt;
  return static_cast<int>(found - kBaudTable.begin());
}

std::optional<std::vector<std::uint8_t>> BytesFromHex(std::string_view text) {
  std::string digits;
  for (char c : text)
    if (!std::isspace(static_cast<unsigned char>(c))) digits += c;
  if (digits.size() % 2 != 0) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  bytes.reserve(digits.size() / 2);
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    const int high = HexValue(digits[i]);
    const int low = HexValue(digits[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
  }
  return bytes;
}

std::string HexFromBytes(std::span<const std::uint8_t> bytes, std::string_view separator) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * (2 + separator.size()));
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0) text += separator;
    text += digits[bytes[i] >> 4];
    text += digits[bytes[i] & 0xF];
  }
  return text;
}

std::optional<int> ColourFromText(std::string_view text) {
  if (text.size() != 7 || text[0] != '#') return std::nullopt;
  const auto bytes = BytesFromHex(text.substr(1));
  if (!bytes || bytes->size() != 3) return std::nullopt;
  const auto [red, green, blue] = std::array{(*bytes)[0], (*bytes)[1], (*bytes)[2]};
  return red | green << 8 | blue << 16;
}

std::string ColourToText(int colour) {
  char text[8];
  std::snprintf(text, sizeof text, "#%02X%02X%02X", colour & 0xFF, (colour >> 8) & 0xFF,
                (colour >> 16) & 0xFF);
  return text;
}

std::string FileNameProblem(std::string_view utf8) {
  if (utf8.empty()) return "must not be empty";
  if (utf8 == "." || utf8 == "..") return "\".\" and \"..\" are no file names";
  if (utf8.size() > kFileNameMaxBytes)
    return "is longer than a file name may be (" + std::to_string(kFileNameMaxBytes) + " bytes)";
  for (char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return "holds a control character";
    if (kFileNameForbidden.find(c) != std::string_view::npos)
      return std::string("holds the character '") + c + "', which a file name cannot";
  }
  if (utf8.front() == ' ' || utf8.back() == ' ' || utf8.back() == '.')
    return "begins or ends with a blank, or ends with a dot";
  return {};
}

}  // namespace fw
