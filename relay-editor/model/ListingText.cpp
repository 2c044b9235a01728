#include "model/ListingText.h"

#include "model/GbkText.h"
#include "model/HexText.h"
#include "model/Instruction.h"
#include "model/TriggerLayout.h"

namespace relay::model {
namespace {

// " 1 16" for channels 1 and 16.
std::string ChannelList(std::uint16_t mask) {
  std::string list;
  for (int channel = 1; channel <= 16; ++channel)
    if (mask & (1u << (channel - 1))) list += " " + std::to_string(channel);
  return list;
}

std::string AsCharacters(std::string_view storedHex) {
  return GbkToUtf8Lossy(HexTextToByteString(storedHex));
}

std::string TriggerListing(std::uint8_t kind, std::string_view hexText) {
  const TriggerLayout layout = ReadTriggerLayout(hexText);
  std::string text;
  if (layout.patternIsAscii)
    text = "收到ASCII指令 " + AsCharacters(layout.patternHex);
  else
    text = "收到HEX指令 " + std::string(layout.patternHex);

  switch (kind) {
    case kKindTriggerClose:
      text += " 关闭 第";
      break;
    case kKindTriggerOpen:
      text += " 打开 第";
      break;
    case kKindTriggerToggle:
      text += " 反转 第";
      break;
    default:
      break;
  }
  text += ChannelList(layout.mask);
  text += " 路 ";

  switch (layout.outputMode) {
    case kOutputNone:
      text += "串口不动作 ";
      break;
    case kOutputSameCode:
      text += "串口同码输出 ";
      break;
    case kOutputHex:
      text += "串口输出HEX " + std::string(layout.outputHex);
      break;
    default:
      text += "串口输出ASCII " + AsCharacters(layout.outputHex);
      break;
  }

  if (layout.holdSet)
    text += " 通道维持" + std::to_string(layout.hold * 100) + "mS";
  else
    text += " 通道一直维持";
  return text;
}

}  // namespace

std::string ListingText(std::string_view hexText) {
  if (hexText.size() < 8) return {};
  if (IsFiller(hexText)) return "无效指令";
  const auto kind = ByteAt(hexText, 0);
  if (!kind) return {};
  const auto byte = [&](std::size_t i) { return ByteAt(hexText, i).value_or(0); };
  const int word = byte(1) * 256 + byte(2);

  switch (*kind) {
    case kKindLoop:
      if (word == kLoopInvalid) return "   <<<指令循环  无效";
      if (word == kLoopForever) return "   <<<指令循环  一直维持";
      return "   <<<指令循环  " + std::to_string(word) + " 次";
    case kKindIoClose:
      return "关闭 -> 第" + ChannelList(static_cast<std::uint16_t>(word)) + " 路";
    case kKindIoOpen:
      return "打开 -> 第" + ChannelList(static_cast<std::uint16_t>(word)) + " 路";
    case kKindIoToggle:
      return "反转 -> 第" + ChannelList(static_cast<std::uint16_t>(word)) + " 路";
    case kKindTimer:
      return "    定时器 -> " + std::to_string(word * 100) + " 毫秒";
    default:
      break;
  }
  if (*kind >= kKindTriggerClose && *kind <= kKindTriggerLast)
    return TriggerListing(*kind, hexText);
  return {};
}

}  // namespace relay::model
