// The USB writer's commands and replies: every command is one vendor request
// whose request number is the command code, every reply is read with request 0.
#pragma once

#include <cstdint>

namespace fw::usb_writer {

// Command codes.
constexpr std::uint8_t kPrepare = 0x01;
constexpr std::uint8_t kProgram = 0x02;  // also the extra data records
constexpr std::uint8_t kErase = 0x03;
constexpr std::uint8_t kOptions = 0x04;
constexpr std::uint8_t kUnlock = 0x05;
constexpr std::uint8_t kUserKey = 0x06;
constexpr std::uint8_t kNewPassword = 0x07;
constexpr std::uint8_t kFirstProgramBlock = 0x22;
constexpr std::uint8_t kFirstUserKeyBlock = 0x26;
constexpr std::uint8_t kProgramVariant = 0x82;  // the program variant's program command
constexpr std::uint8_t kFirstProgramBlockVariant = 0xA2;
constexpr std::uint8_t kEnd = 0xFF;
// The first program block's code has this bit; the later blocks' codes do not.
constexpr std::uint8_t kFirstBlockBit = 0x20;

// The request that reads a reply.
constexpr std::uint8_t kReadReply = 0x00;

// The setup value of every command except prepare and end, which carry 0.
constexpr std::uint16_t kCommandValue = 0xA55A;
constexpr std::uint16_t kPlainValue = 0x0000;

// The end command's one byte.
constexpr std::uint8_t kEndArgument = 0x00;
// What a command sends for an empty password.
constexpr std::uint8_t kEmptyPassword = 0x00;

// Replies: byte 0 a reply code, byte 1 kAccepted when the writer took the command.
constexpr int kReplySize = 128;
constexpr int kAcceptedAt = 1;
constexpr std::uint8_t kAccepted = 'T';
constexpr std::uint8_t kWrongPassword = 0x0E;
constexpr std::uint8_t kChipLocked = 0x0F;
// The erase reply carries the chip's serial number from byte 1 on.
constexpr int kChipSerialAt = 1;

// Sizes.
constexpr int kProgramBlockBytes = 128;
constexpr int kUserKeyBlockBytes = 64;
constexpr int kSectorBytes = 512;
// Program offsets and record addresses travel as 16-bit indexes.
constexpr std::int64_t kAddressableBytes = 0x10000;

}  // namespace fw::usb_writer
