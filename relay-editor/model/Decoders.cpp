#include "model/Decoders.h"

#include <algorithm>

#include "model/GbkText.h"
#include "model/HexText.h"
#include "model/TriggerLayout.h"

namespace relay::model {
namespace {

std::optional<std::uint8_t> KindOf(std::string_view hexText) { return ByteAt(hexText, 0); }

int Word(std::string_view hexText, std::size_t highIndex) {
  return ByteAt(hexText, highIndex).value_or(0) * 256 + ByteAt(hexText, highIndex + 1).value_or(0);
}

// The stored bytes as UTF-8 text, when they are GBK text that gives the same
// bytes again on storing; otherwise empty.
std::optional<std::string> GbkTextOf(std::string_view storedHex) {
  const std::string bytes = HexTextToByteString(storedHex);
  auto text = GbkToUtf8(bytes);
  if (!text || Utf8ToGbk(*text) != bytes) return std::nullopt;
  return text;
}

Action ActionOfKind(std::uint8_t kind, std::uint8_t first) {
  switch (kind - first) {
    case 0:
      return Action::Close;
    case 1:
      return Action::Open;
    case 2:
      return Action::Toggle;
    default:
      return Action::None;
  }
}

}  // namespace

bool DecodeIoAction(std::string_view hexText, IoActionFields& fields) {
  const auto kind = KindOf(hexText);
  if (hexText.size() <= 7 || !kind || *kind < kKindIoClose || *kind > kKindIoToggle) return false;
  fields.channels = ChannelsFromMask(static_cast<std::uint16_t>(Word(hexText, 1)));
  fields.action = ActionOfKind(*kind, kKindIoClose);
  return true;
}

bool DecodeTimer(std::string_view hexText, TimerFields& fields) {
  const auto kind = KindOf(hexText);
  if (hexText.size() < 8 || kind != kKindTimer) return false;
  fields.value = Word(hexText, 1);
  return true;
}

bool DecodeLoop(std::string_view hexText, LoopFields& fields) {
  const auto kind = KindOf(hexText);
  if (hexText.size() < 8 || kind != kKindLoop) return false;
  fields.value = Word(hexText, 1);
  return true;
}

bool DecodeSerialTrigger(std::string_view hexText, SerialTriggerFields& fields) {
  const auto kind = KindOf(hexText);
  if (hexText.size() <= 10 || !kind || *kind < kKindTriggerClose || *kind > kKindTriggerLast)
    return false;
  const TriggerLayout layout = ReadTriggerLayout(hexText);

  fields.channels = ChannelsFromMask(layout.mask);
  if (*kind <= kKindTriggerToggle) fields.action = ActionOfKind(*kind, kKindTriggerClose);
  fields.hold = std::to_string(layout.holdSet ? layout.hold : 0);

  fields.outputMode = layout.outputMode;
  fields.output.clear();
  if (layout.outputMode == kOutputHex) {
    fields.output = std::string(layout.outputHex);
  } else if (layout.outputMode == kOutputAscii) {
    // Bytes that are no GBK text are kept as HEX output, so storing the
    // fields again sends the same bytes.
    if (auto text = GbkTextOf(layout.outputHex)) {
      fields.output = std::move(*text);
    } else {
      fields.outputMode = kOutputHex;
      fields.output = std::string(layout.outputHex);
    }
  }

  if (layout.patternIsAscii) {
    if (auto text = GbkTextOf(layout.patternHex)) {
      fields.patternIsHex = false;
      fields.pattern = std::move(*text);
      return true;
    }
  }
  fields.patternIsHex = true;
  fields.pattern = std::string(layout.patternHex);
  return true;
}

}  // namespace relay::model
