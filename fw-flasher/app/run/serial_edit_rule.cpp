#include "app/run/serial_edit_rule.h"

#include <algorithm>

#include "app/run/run_failure.h"
#include "app/run/serial_capacity.h"
#include "messages/message_table.h"

namespace fw {
namespace {

// A refused text is quoted at most this long.
constexpr std::size_t kQuotedLength = 48;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string Quoted(std::string_view text) {
  if (text.size() <= kQuotedLength) return std::string(text);
  // Cut between characters, not inside one (the text is UTF-8).
  std::size_t cut = kQuotedLength;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return std::string(text.substr(0, cut)) + "...";
}

// Decimal texts without leading zeros compare by length, then digit by digit;
// no text is turned into a number, so no length of text can wrap.
bool AtMost(std::string_view digits, std::string_view largest) {
  if (digits.size() != largest.size()) return digits.size() < largest.size();
  return digits <= largest;
}

}  // namespace

SerialTextCheck CheckSerialText(std::string_view text, int number,
                                const SerialNumberSettings& settings, LinkKind link, int language) {
  const std::string shown = Quoted(text);
  if (!std::all_of(text.begin(), text.end(), IsDigit)) {
    return {false, FormatText(GetText(kMsgSerialDigitsOnly, language), number + 1, shown.c_str())};
  }
  const auto first = text.find_first_not_of('0');
  const std::string_view digits =
      first == std::string_view::npos ? std::string_view("0") : text.substr(first);
  const std::string largest = SerialToText(LargestSerialValue(settings, link), 'd', 1);
  if (AtMost(digits, largest)) return {};
  return {false, FormatText(GetText(kMsgSerialTooLarge, language), number + 1, largest.c_str(),
                            static_cast<int>(settings.length), shown.c_str())};
}

}  // namespace fw
