#pragma once
// The Instruction format: kind bytes, channel masks, fixed texts and the
// sector capacity. An Instruction is always carried as its hex text.

#include <bitset>
#include <cstdint>
#include <string_view>

namespace relay::model {

// Bytes of Instructions the controller's program sector holds.
inline constexpr int kSectorCapacity = 512;

// Kind byte (byte 0).
inline constexpr std::uint8_t kKindLoop = 0x00;
inline constexpr std::uint8_t kKindIoClose = 0x01;
inline constexpr std::uint8_t kKindIoOpen = 0x02;
inline constexpr std::uint8_t kKindIoToggle = 0x03;
inline constexpr std::uint8_t kKindTimer = 0x04;
inline constexpr std::uint8_t kKindTriggerClose = 0x85;
inline constexpr std::uint8_t kKindTriggerOpen = 0x86;
inline constexpr std::uint8_t kKindTriggerToggle = 0x87;
// 0x88 to 0x8A are serial triggers without an action.
inline constexpr std::uint8_t kKindTriggerLast = 0x8A;

// Loop repeat counts with a meaning of their own.
inline constexpr int kLoopInvalid = 0;
inline constexpr int kLoopForever = 65535;

// Filler entries ("无效指令"): recognised by exact comparison only.
inline constexpr std::string_view kShortFiller = "FF FF FF";
inline constexpr std::string_view kLongFiller = "FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF";
// Loop for ever, the optimiser's end loop.
inline constexpr std::string_view kEndLoop = "00 FF FF FE";

// True for exactly one of the two filler texts.
bool IsFiller(std::string_view hexText);

// The action of an IO action or serial trigger; None = no radio button
// selected in the editor.
enum class Action { None, Close, Open, Toggle };

// Relay channels: index n-1 stands for channel n (n = 1 to 16).
using ChannelSet = std::bitset<16>;

// 16-bit mask, bit n-1 = channel n; stored high byte first.
std::uint16_t ChannelMask(const ChannelSet& channels);
ChannelSet ChannelsFromMask(std::uint16_t mask);

// Output modes of a serial trigger (bits 6 and 5 of its output byte).
enum OutputMode : int {
  kOutputNone = 0,      // "无输出"
  kOutputSameCode = 1,  // "同码输出"
  kOutputHex = 2,       // "HEX输出"
  kOutputAscii = 3,     // "ASCII输出"
};

// Field widths of the serial-trigger layout.
inline constexpr int kMaxOutputCount = 31;          // 5 bits of the output byte
inline constexpr int kMaxTriggerLengthValue = 127;  // 7 bits: 3 + n_out + n_pat
// Hold time limit offered and accepted by the serial-trigger editor.
inline constexpr int kMaxHoldTime = 4095;

}  // namespace relay::model
