#include "model/Encoders.h"

#include <charconv>
#include <cstdint>

#include "model/GbkText.h"
#include "model/HexText.h"

namespace relay::model {
namespace {

Encoded Refuse(EncodeProblem problem, std::string message) {
  return Encoded{std::string(), problem, std::move(message)};
}

Encoded Accept(std::string hexText) {
  return Encoded{std::move(hexText), EncodeProblem::None, std::string()};
}

void AppendByte(std::string& text, unsigned value) {
  const std::uint8_t b = static_cast<std::uint8_t>(value & 0xFF);
  text += BytesToHexText(std::span(&b, 1));
  text += ' ';
}

// Kind, high byte, low byte and the check byte of a 4-byte Instruction.
std::string FourByteText(std::uint8_t kind, std::uint16_t value) {
  std::string text;
  AppendByte(text, kind);
  AppendByte(text, value >> 8);
  AppendByte(text, value & 0xFF);
  return text + CheckByteText(text);
}

std::optional<std::uint8_t> ActionOffset(Action action) {
  switch (action) {
    case Action::Close:
      return 0;
    case Action::Open:
      return 1;
    case Action::Toggle:
      return 2;
    case Action::None:
      break;
  }
  return std::nullopt;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The hold text as a decimal integer, blanks around it allowed.
std::optional<long long> ParseInteger(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  long long value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

RefusalDisplay Encoded::display() const {
  switch (problem) {
    case EncodeProblem::None:
      return RefusalDisplay::None;
    case EncodeProblem::NoAction:
    case EncodeProblem::NoChannel:
    case EncodeProblem::NoValue:
      return RefusalDisplay::FailureOnly;
    case EncodeProblem::HoldNotInteger:
      return RefusalDisplay::ConversionError;
    default:
      return RefusalDisplay::WarningThenFailure;
  }
}

Encoded EncodeIoAction(const IoActionFields& fields) {
  const auto offset = ActionOffset(fields.action);
  if (!offset) return Refuse(EncodeProblem::NoAction, "没有选择动作（关闭、打开或反转）！");
  if (fields.channels.none()) return Refuse(EncodeProblem::NoChannel, "没有选择通道！");
  return Accept(FourByteText(static_cast<std::uint8_t>(kKindIoClose + *offset),
                             ChannelMask(fields.channels)));
}

Encoded EncodeTimer(const TimerFields& fields) {
  if (fields.value < 0 || fields.value > 65535)
    return Refuse(EncodeProblem::ValueOutOfRange, "定时器的值必须在 0 到 65535 之间！");
  return Accept(FourByteText(kKindTimer, static_cast<std::uint16_t>(fields.value)));
}

Encoded EncodeLoop(const LoopFields& fields) {
  if (fields.value < 0 || fields.value > 65535)
    return Refuse(EncodeProblem::ValueOutOfRange, "循环次数必须在 0 到 65535 之间！");
  return Accept(FourByteText(kKindLoop, static_cast<std::uint16_t>(fields.value)));
}

Encoded EncodeSerialTrigger(const SerialTriggerFields& fields) {
  const auto offset = ActionOffset(fields.action);
  if (!offset) return Refuse(EncodeProblem::NoAction, "没有选择动作（关闭、打开或反转）！");
  if (fields.channels.none()) return Refuse(EncodeProblem::NoChannel, "没有选择通道！");
  if (fields.outputMode < kOutputNone || fields.outputMode > kOutputAscii)
    return Refuse(EncodeProblem::BadOutputMode, "串口输出方式无效！");

  // The stored bytes of the pattern and the output, as hex text.
  std::string patternHex;
  if (fields.patternIsHex) {
    const auto normalised = NormaliseHexField(fields.pattern);
    if (!normalised)
      return Refuse(EncodeProblem::MalformedHexPattern,
                    "串口接收的指令不是有效的HEX格式（应为空格分隔的两位十六进制数）！");
    patternHex = *normalised;
  } else {
    const auto gbk = Utf8ToGbk(fields.pattern);
    if (!gbk) return Refuse(EncodeProblem::NotGbkText, "串口接收的指令含有无法用GBK编码的字符！");
    patternHex = BytesToHexText(*gbk);
  }
  if (patternHex.empty()) return Refuse(EncodeProblem::EmptyPattern, "串口接收的指令不能为空！");

  std::string outputHex;
  if (fields.outputMode == kOutputHex) {
    const auto normalised = NormaliseHexField(fields.output);
    if (!normalised)
      return Refuse(EncodeProblem::MalformedHexOutput,
                    "串口输出内容不是有效的HEX格式（应为空格分隔的两位十六进制数）！");
    if (normalised->empty())
      return Refuse(EncodeProblem::EmptyHexOutput, "HEX输出的内容不能为空！");
    outputHex = *normalised;
  } else if (fields.outputMode == kOutputAscii) {
    const auto gbk = Utf8ToGbk(fields.output);
    if (!gbk) return Refuse(EncodeProblem::NotGbkText, "串口输出内容含有无法用GBK编码的字符！");
    outputHex = BytesToHexText(*gbk);
  }

  const auto hold = ParseInteger(fields.hold);
  if (!hold)
    return Refuse(EncodeProblem::HoldNotInteger,
                  "'" + fields.hold + "' is not a valid integer value");
  if (*hold < 0 || *hold > kMaxHoldTime)
    return Refuse(EncodeProblem::HoldOutOfRange, "维持时间必须在 0 到 4095 之间！");

  const int patternCount = static_cast<int>(ByteCount(patternHex));
  const int outputCount = static_cast<int>(ByteCount(outputHex));
  if (outputCount > kMaxOutputCount || 3 + outputCount + patternCount > kMaxTriggerLengthValue)
    return Refuse(EncodeProblem::TooLong, std::string(kTooLongWarning));

  const unsigned lengthValue = 3 + outputCount + patternCount + (fields.patternIsHex ? 0 : 0x80);
  const unsigned outputByte = (*hold != 0 ? 0x80 : 0) + 0x20 * fields.outputMode + outputCount;

  std::string text;
  AppendByte(text, kKindTriggerClose + *offset);
  const std::uint16_t mask = ChannelMask(fields.channels);
  AppendByte(text, mask >> 8);
  AppendByte(text, mask & 0xFF);
  AppendByte(text, lengthValue);
  AppendByte(text, outputByte);
  AppendByte(text, static_cast<unsigned>(*hold) >> 8);
  AppendByte(text, static_cast<unsigned>(*hold) & 0xFF);
  if (!outputHex.empty()) text += outputHex + ' ';
  text += patternHex + ' ';
  return Accept(text + CheckByteText(text));
}

}  // namespace relay::model
