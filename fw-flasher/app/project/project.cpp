#include "app/project/project.h"

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <string>

namespace fw {
namespace {

constexpr int kBaudIndexCount = 10;  // 1200 ... 115200

bool IsBaudIndex(int index) { return index >= 0 && index < kBaudIndexCount; }

// Reads one "%d" as the C library's scanner does (white space, optional sign,
// digits) from `text` at `at`; false when no number is there or it does not fit.
bool ScanDecimal(std::string_view text, std::size_t& at, int& value) {
  while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
  std::size_t start = at;
  if (at < text.size() && text[at] == '+') start = ++at;
  const char* first = text.data() + start;
  const char* last = text.data() + text.size();
  const auto [end, error] = std::from_chars(first, last, value);
  if (error != std::errc{}) return false;
  at = static_cast<std::size_t>(end - text.data());
  return true;
}

// Unsigned number with automatic base: 0x hexadecimal, leading 0 octal, else decimal.
unsigned long ReadAutoBase(std::string_view text) {
  const std::string terminated(text);
  return std::strtoul(terminated.c_str(), nullptr, 0);
}

}  // namespace

std::string_view Project::String(int k) const {
  if (k < 0 || static_cast<std::size_t>(k) >= strings.size()) return {};
  return strings[static_cast<std::size_t>(k)];
}

std::string_view ProjectString(const Project& project, int k) { return project.String(k); }

StringSettings ReadStringSettings(const Project& project) {
  StringSettings s;
  const std::string_view baud_and_repeat = project.String(ProjectStringId::kBaudAndRepeat);
  int* const fields[] = {&s.lowest_baud_index, &s.highest_baud_index, &s.repeat_delay,
                         &s.label_colour};
  std::size_t at = 0;
  for (std::size_t i = 0; i < std::size(fields); ++i) {
    if (i > 0) {
      if (at >= baud_and_repeat.size() || baud_and_repeat[at] != ',') break;
      ++at;
    }
    int value = 0;
    if (!ScanDecimal(baud_and_repeat, at, value)) break;
    *fields[i] = value;
  }
  // The indexes select entries of the ten-entry baud table.
  if (!IsBaudIndex(s.lowest_baud_index)) s.lowest_baud_index = StringSettings{}.lowest_baud_index;
  if (!IsBaudIndex(s.highest_baud_index))
    s.highest_baud_index = StringSettings{}.highest_baud_index;

  s.quiet_information = ReadAutoBase(project.String(ProjectStringId::kQuietInformation)) != 0;
  s.auto_start = ReadAutoBase(project.String(ProjectStringId::kAutoStart)) == 1;
  s.fixed_port_index = ReadAutoBase(project.String(ProjectStringId::kFixedPortIndex));
  s.login_required = ReadAutoBase(project.String(ProjectStringId::kLoginRequired)) == 1;
  return s;
}

}  // namespace fw
