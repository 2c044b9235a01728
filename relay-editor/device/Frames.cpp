#include "device/Frames.h"

#include <algorithm>
#include <cstdio>

#include "model/HexText.h"

namespace relay::device {

namespace {

using model::ByteAt;
using model::CheckByteText;

std::string Hex2(int value) {
  char text[3];
  std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(value) & 0xFFu);
  return text;
}

}  // namespace

std::string ReadBlockFrame(int address, int block) {
  std::string text = "24 " + Hex2(address) + " 06 FE " + Hex2(block) + " 00 00 00 ";
  return text + CheckByteText(text);
}

std::string WriteBlockFrame(int address, int block, std::string_view blockText) {
  const int length = static_cast<int>((blockText.size() + 1) / 3 + 3);
  std::string text = "24 " + Hex2(address) + " " + Hex2(length) + " FF " + Hex2(block) + " ";
  text += blockText;
  text += " ";
  return text + CheckByteText(text);
}

std::string EraseFrame(int address) { return "24 " + Hex2(address) + " 06 FF 00 00 00 00 28"; }

std::string RestartFrame(int address) {
  // The check byte of the text without its last blank sums seven bytes; the eighth is 00.
  std::string text = "24 " + Hex2(address) + " 06 FD 00 00 00 00";
  return text + " " + CheckByteText(text);
}

namespace {

// Index of the first byte 24 of the buffer; `bytes` when there is none.
std::size_t FrameStart(std::string_view buffer, std::size_t bytes) {
  std::size_t start = 0;
  while (start < bytes && ByteAt(buffer, start) != std::uint8_t{0x24}) ++start;
  return start;
}

}  // namespace

std::string_view AnswerPart(std::string_view buffer) {
  const std::size_t bytes = model::ByteCount(buffer);
  const std::size_t start = FrameStart(buffer, bytes);
  if (start == bytes) return {};
  const auto lengthByte = bytes - start >= 4 ? ByteAt(buffer, start + 2) : std::nullopt;
  if (!lengthByte || bytes - start < *lengthByte + 3u) return buffer.substr(3 * start);
  // At least the four bytes recognition asks for, also of a frame shorter than that.
  const std::size_t frameBytes = std::max<std::size_t>(*lengthByte + 3u, 4);
  return model::ClampedSubstr(buffer, 3 * start, 3 * frameBytes);
}

TAnswer RecogniseAnswer(std::string_view buffer) {
  TAnswer answer;
  const std::size_t bytes = model::ByteCount(buffer);
  const std::size_t start = FrameStart(buffer, bytes);
  if (start == bytes) return answer;

  // The whole frame must be there, counted from its start byte.
  const std::size_t available = bytes - start;
  if (available < 4) return answer;
  const auto lengthByte = ByteAt(buffer, start + 2);
  if (!lengthByte) return answer;
  const std::size_t length = *lengthByte;
  if (available < length + 3) return answer;

  unsigned sum = 0;
  for (std::size_t i = 0; i <= length + 1; ++i) sum += ByteAt(buffer, start + i).value_or(0);
  if (ByteAt(buffer, start + length + 2) != static_cast<std::uint8_t>(sum & 0xFF)) {
    answer.kind = TAnswerKind::WrongCheck;
    return answer;
  }

  answer.kind = TAnswerKind::Other;
  if (length < 2) return answer;  // no room for command and block
  const std::uint8_t command = ByteAt(buffer, start + 3).value_or(0);
  answer.block = ByteAt(buffer, start + 4).value_or(0);
  if (command == kCommandWrite) {
    answer.kind = TAnswerKind::Acknowledgement;
  } else if (command == kCommandRead && length >= 19) {  // carries bytes 5 to 20
    answer.kind = TAnswerKind::ReadAnswer;
    answer.data = std::string(model::ClampedSubstr(buffer, 3 * (start + 5), kBlockTextLength));
  }
  return answer;
}

}  // namespace relay::device
