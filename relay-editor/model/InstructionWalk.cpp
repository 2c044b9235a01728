#include "model/InstructionWalk.h"

namespace relay::model {

std::size_t InstructionLength(std::uint8_t kind, std::uint8_t lengthByte) {
  if (kind == kKindEnd) return 0;
  if (!HasLengthByte(kind)) return kShortInstructionLength;
  return static_cast<std::size_t>(lengthByte & 0x7Fu) + 5;
}

EntryWalk WalkEntry(std::span<const std::uint8_t> bytes) {
  EntryWalk walk;
  std::size_t offset = 0;
  while (offset < bytes.size()) {
    walk.offset = offset;
    const std::uint8_t kind = bytes[offset];
    if (kind == kKindEnd) {
      walk.end = WalkEnd::EndInside;
      return walk;
    }
    const std::size_t rest = bytes.size() - offset;
    if (HasLengthByte(kind) && rest <= kLengthByteIndex) {
      // Without its length byte the trigger takes at least the shortest layout.
      walk.end = WalkEnd::Cut;
      walk.needed = 0;
      return walk;
    }
    const std::size_t length =
        InstructionLength(kind, HasLengthByte(kind) ? bytes[offset + kLengthByteIndex] : 0);
    if (length > rest) {
      walk.end = WalkEnd::Cut;
      walk.needed = length;
      return walk;
    }
    offset += length;
    ++walk.instructions;
  }
  walk.offset = offset;
  walk.end = WalkEnd::Whole;
  return walk;
}

}  // namespace relay::model
