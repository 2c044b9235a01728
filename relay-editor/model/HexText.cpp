#include "model/HexText.h"

#include <algorithm>

#include "model/GbkText.h"

namespace relay::model {
namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

template <typename Out>
void ReadHexBytes(std::string_view text, Out&& emit) {
  std::size_t i = 0;
  while (i < text.size()) {
    const int high = DigitValue(text[i]);
    if (high < 0) {
      ++i;
      continue;
    }
    const int low = i + 1 < text.size() ? DigitValue(text[i + 1]) : -1;
    emit(static_cast<std::uint8_t>(low < 0 ? high : high * 16 + low));
    i += 2;
  }
}

}  // namespace

std::string BytesToHexText(std::span<const std::uint8_t> bytes) {
  std::string text;
  text.reserve(bytes.size() * 3);
  for (std::uint8_t b : bytes) {
    if (!text.empty()) text += ' ';
    text += kDigits[b >> 4];
    text += kDigits[b & 0x0F];
  }
  return text;
}

std::string BytesToHexText(std::string_view bytes) {
  return BytesToHexText(
      std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

std::vector<std::uint8_t> HexTextToBytes(std::string_view text) {
  std::vector<std::uint8_t> bytes;
  ReadHexBytes(text, [&](std::uint8_t b) { bytes.push_back(b); });
  return bytes;
}

std::string HexTextToByteString(std::string_view text) {
  std::string bytes;
  ReadHexBytes(text, [&](std::uint8_t b) { bytes.push_back(static_cast<char>(b)); });
  return bytes;
}

std::string CheckByteText(std::string_view text) {
  unsigned sum = 0;
  for (std::size_t i = 0; i < text.size() / 3; ++i) sum += ByteAt(text, i).value_or(0);
  const std::uint8_t check = static_cast<std::uint8_t>(sum & 0xFF);
  return BytesToHexText(std::span(&check, 1));
}

std::size_t ByteCount(std::string_view hexText) {
  // Characters count as the program's code page holds them, so that a line of other
  // text read from a project file counts as it does in the file: a Chinese character is
  // two bytes there, not three as in UTF-8.
  std::size_t length = hexText.size();
  const bool ascii =
      std::all_of(hexText.begin(), hexText.end(), [](char c) { return (c & 0x80) == 0; });
  if (!ascii) length = Utf8ToGbkLossy(hexText).size();
  return (length + 1) / 3;
}

bool IsHexText(std::string_view text) {
  // Byte k fills characters 3k and 3k+1, its separator character 3k+2.
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool separator = i % 3 == 2;
    if (separator ? text[i] != ' ' : DigitValue(text[i]) < 0) return false;
  }
  // A text ending in the middle of a byte leaves that byte with one digit.
  return text.size() % 3 != 1;
}

std::optional<std::uint8_t> ByteAt(std::string_view hexText, std::size_t index) {
  if (index > hexText.size() / 3) return std::nullopt;
  const std::size_t at = index * 3;
  if (at + 1 >= hexText.size()) return std::nullopt;
  const int high = DigitValue(hexText[at]);
  const int low = DigitValue(hexText[at + 1]);
  if (high < 0 || low < 0) return std::nullopt;
  return static_cast<std::uint8_t>(high * 16 + low);
}

std::string_view ClampedSubstr(std::string_view text, std::size_t offset, std::size_t count) {
  if (offset >= text.size()) return {};
  return text.substr(offset, count);
}

std::optional<std::string> NormaliseHexField(std::string_view typed) {
  std::string result;
  std::size_t i = 0;
  while (i < typed.size()) {
    if (IsBlank(typed[i])) {
      ++i;
      continue;
    }
    // A run of digits without blanks is a sequence of pairs.
    std::size_t end = i;
    while (end < typed.size() && !IsBlank(typed[end])) {
      if (DigitValue(typed[end]) < 0) return std::nullopt;
      ++end;
    }
    if ((end - i) % 2 != 0) return std::nullopt;
    for (std::size_t k = i; k < end; k += 2) {
      if (!result.empty()) result += ' ';
      result += typed.substr(k, 2);
    }
    i = end;
  }
  return result;
}

}  // namespace relay::model
