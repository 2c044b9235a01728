#pragma once
// How the controller (and the taking-apart of a device image) walks a program's
// bytes: a kind byte below 0x80 starts a 4-byte Instruction, 0x80 to 0xFE a
// serial trigger of (length byte AND 0x7F) + 5 bytes, and 0xFF (erased memory)
// ends the program.

#include <cstddef>
#include <cstdint>
#include <span>

namespace relay::model {

inline constexpr std::uint8_t kKindEnd = 0xFF;
inline constexpr std::size_t kShortInstructionLength = 4;
// The length byte of a serial trigger is its byte 3.
inline constexpr std::size_t kLengthByteIndex = 3;

// True for the kind bytes whose Instruction carries its length in byte 3.
constexpr bool HasLengthByte(std::uint8_t kind) { return kind >= 0x80 && kind != kKindEnd; }

// Bytes of the Instruction that starts with `kind`; `lengthByte` counts only for
// kinds with a length byte. The end mark 0xFF is no Instruction: 0.
std::size_t InstructionLength(std::uint8_t kind, std::uint8_t lengthByte);

enum class WalkEnd {
  Whole,      // the last Instruction ends exactly where the bytes end
  Cut,        // an Instruction runs past the end of the bytes
  EndInside,  // a byte 0xFF stands where an Instruction should start
};

struct EntryWalk {
  WalkEnd end = WalkEnd::Whole;
  std::size_t offset = 0;        // where the failing Instruction starts (or the 0xFF stands)
  std::size_t needed = 0;        // Cut: the bytes that Instruction takes
  std::size_t instructions = 0;  // whole Instructions before it
};

// Walks the bytes of one entry as the controller will. No bytes are whole.
EntryWalk WalkEntry(std::span<const std::uint8_t> bytes);

}  // namespace relay::model
