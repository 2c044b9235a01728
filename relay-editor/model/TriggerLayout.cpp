#include "model/TriggerLayout.h"

#include "model/HexText.h"

namespace relay::model {
namespace {

// Characters of a run of n stored bytes: 3n - 1 (none for n = 0).
std::size_t RunLength(int n) { return n > 0 ? static_cast<std::size_t>(3 * n - 1) : 0; }

}  // namespace

TriggerLayout ReadTriggerLayout(std::string_view hexText) {
  TriggerLayout layout;
  const auto byte = [&](std::size_t i) { return ByteAt(hexText, i).value_or(0); };
  layout.mask = static_cast<std::uint16_t>(byte(1) * 256 + byte(2));
  const std::uint8_t lengthByte = byte(3);
  const std::uint8_t outputByte = byte(4);
  layout.patternIsAscii = (lengthByte & 0x80) != 0;
  layout.holdSet = (outputByte & 0x80) != 0;
  layout.outputMode = (outputByte >> 5) & 0x03;
  layout.outputCount = outputByte & 0x1F;
  layout.hold = byte(5) * 256 + byte(6);

  // Output bytes start at byte 7, the pattern right after them.
  const std::size_t outputStart = 7 * 3;
  layout.outputHex = ClampedSubstr(hexText, outputStart, RunLength(layout.outputCount));
  const int patternCount = (lengthByte & 0x7F) - 3 - layout.outputCount;
  layout.patternHex =
      ClampedSubstr(hexText, outputStart + 3 * static_cast<std::size_t>(layout.outputCount),
                    RunLength(patternCount));
  return layout;
}

}  // namespace relay::model
