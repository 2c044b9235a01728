#include "cli/chips_command.h"

#include <algorithm>
#include <cctype>

#include "target/chips/chip_table.h"

namespace fw {
namespace {

bool ContainsIgnoringCase(std::string_view text, std::string_view pattern) {
  const auto found =
      std::search(text.begin(), text.end(), pattern.begin(), pattern.end(), [](char a, char b) {
        return std::toupper(static_cast<unsigned char>(a)) ==
               std::toupper(static_cast<unsigned char>(b));
      });
  return found != text.end() || pattern.empty();
}

}  // namespace

int ListChips(std::string_view pattern, std::FILE* out) {
  int written = 0;
  const auto table = ChipTable();
  // Record 0 is the placeholder for chips the table does not know.
  for (std::size_t i = 1; i < table.size(); ++i) {
    if (table[i].name == nullptr || !ContainsIgnoringCase(table[i].name, pattern)) continue;
    std::fprintf(out, "%s\n", table[i].name);
    ++written;
  }
  return written;
}

}  // namespace fw
