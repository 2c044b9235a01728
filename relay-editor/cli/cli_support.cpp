#include "cli_support.h"

#include <charconv>
#include <optional>

namespace relay::cli {
namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::optional<int> ToInt(std::string_view text) {
  text = Trim(text);
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

int ChannelNumber(std::string_view text) {
  const auto n = ToInt(text);
  if (!n || *n < 1 || *n > 16)
    throw Refused("通道 '" + std::string(Trim(text)) + "' 无效：通道号应为 1 到 16");
  return *n;
}

}  // namespace

model::Action ParseAction(std::string_view text) {
  text = Trim(text);
  if (text.empty()) throw Refused("没有选择动作：请用 --action open|close|toggle");
  if (text == "close") return model::Action::Close;
  if (text == "open") return model::Action::Open;
  if (text == "toggle") return model::Action::Toggle;
  throw Refused("动作 '" + std::string(text) + "' 无效：应为 open、close 或 toggle");
}

model::ChannelSet ParseChannels(std::string_view text) {
  model::ChannelSet channels;
  if (Trim(text).empty()) throw Refused("没有选择通道：请用 --channels 列出 1 到 16 的通道号");
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t comma = text.find(',', start);
    if (comma == std::string_view::npos) comma = text.size();
    const std::string_view item = text.substr(start, comma - start);
    const std::size_t dash = item.find('-');
    if (dash == std::string_view::npos) {
      channels.set(static_cast<std::size_t>(ChannelNumber(item) - 1));
    } else {
      const int first = ChannelNumber(item.substr(0, dash));
      const int last = ChannelNumber(item.substr(dash + 1));
      if (first > last) throw Refused("通道范围 '" + std::string(Trim(item)) + "' 无效");
      for (int n = first; n <= last; ++n) channels.set(static_cast<std::size_t>(n - 1));
    }
    start = comma + 1;
  }
  return channels;
}

int ParseNumber(std::string_view text, int min, int max, std::string_view what) {
  const auto value = ToInt(text);
  if (!value || *value < min || *value > max)
    throw Refused(std::string(what) + " '" + std::string(Trim(text)) + "' 无效：应为 " +
                  std::to_string(min) + " 到 " + std::to_string(max) + " 的整数");
  return *value;
}

}  // namespace relay::cli
