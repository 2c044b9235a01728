// Command and reply codes of the boot loader and of the download board: the first
// payload byte of a packet, its fixed arguments, and the few bytes that travel
// outside packets. Kept with the link, the lowest floor that sends them.
#pragma once

#include <cstdint>

namespace fw {

// Written raw, over and over, until the boot loader (or a board) answers.
constexpr std::uint8_t kSyncByte = 0x7F;

namespace boot_loader {

// The status reply after synchronisation comes with one of these codes.
constexpr std::uint8_t kStatusReply00 = 0x00;
constexpr std::uint8_t kStatusReply50 = 0x50;
constexpr std::uint8_t kStatusReply8F = 0x8F;
// This code asks the host to confirm with packet kConfirm; the chip answers it
// with kConfirmed.
constexpr std::uint8_t kConfirmationWanted = 0x80;
constexpr std::uint8_t kConfirm = 0x80;
constexpr std::uint8_t kConfirmed = 0x50;

// The first byte of the send buffer before any request of a download.
constexpr std::uint8_t kNoRequest = 0x00;
// Writes the option bytes (families 1 to 28 before the 7.2 firmware).
constexpr std::uint8_t kWriteOptionsClassic = 0x8D;

// Newer boot loaders answer a command with its own code in the low nibble, and
// a command that took effect with kAccepted as the second byte.
constexpr std::uint8_t kReplyCodeMask = 0x0F;
constexpr std::uint8_t kAccepted = 0x54;

// Erase. kUnlock (with the guard bytes and the password on the 7.2 firmware)
// comes first and is answered with its own code, or with kWrongPassword or
// kLocked.
constexpr std::uint8_t kUnlock = 0x05;
constexpr std::uint8_t kWrongPassword = 0x0E;
constexpr std::uint8_t kLocked = 0x0F;
constexpr std::uint8_t kErase = 0x03;
constexpr std::uint8_t kEraseClassic = 0x84;
// The reply to an erase by protocol variant 0, and by variants 1 and 2.
constexpr std::uint8_t kErasedVariant0 = 0x80;
constexpr std::uint8_t kErasedVariants1And2 = 0x00;
// Guard bytes of families 1-9 and 15-19.
constexpr std::uint8_t kClassicGuard[2] = {0x46, 0xB9};

// User key: 64-byte blocks, the first one with kFirstBlockBit.
constexpr std::uint8_t kWriteKey = 0x06;

// Program blocks. Newer variants mark the first block with both bits, the
// blocks below 64 KB with kFollowingBlockBit, those above with neither.
constexpr std::uint8_t kProgramClassic = 0x00;
constexpr std::uint8_t kProgram = 0x02;
constexpr std::uint8_t kProgramVariant = 0x82;
constexpr std::uint8_t kFirstBlockBit = 0x20;
constexpr std::uint8_t kFollowingBlockBit = 0x10;
// Program commands at or above this do not skip blank blocks.
constexpr std::uint8_t kLowestNonSkippingProgram = 0x40;
// Protocol variant 0: the block sum follows kBlockTaken; kResendBlock asks for
// the block again.
constexpr std::uint8_t kBlockTaken = 0x80;
constexpr std::uint8_t kResendBlock = 0x81;
// Protocol variants 1 and 2: the reply code is the next header's first byte;
// kBlockTakenVariants1And2 (with the block sum) takes the block, kResendHeader
// asks for it again.
constexpr std::uint8_t kBlockTakenVariants1And2 = 0x00;
constexpr std::uint8_t kResendHeader = 0x30;
// Closes programming on protocol variants 1 and 2 with the chip id; answered
// with kProgrammingClosed.
constexpr std::uint8_t kCloseProgramming = 0x69;
constexpr std::uint8_t kProgrammingClosed = 0x8D;

// The fixed bytes before the chip id in kPrepare, kCheckChip and
// kCloseProgramming: 00 00 36 01.
constexpr std::uint8_t kChipIdPrefix[4] = {0x00, 0x00, 0x36, 0x01};
// Protocol variants 1 and 2 before the baud switch; answered with kPrepared.
constexpr std::uint8_t kPrepare = 0x50;
constexpr std::uint8_t kPrepared = 0x8F;

// Baud switch: kSwitchBaud on newer families; families 1-24 before the 7.2
// firmware try the rate with kTryBaud and confirm it with kConfirmBaud; families
// 25 and 28 before 7.1 use kConfirmBaud alone.
constexpr std::uint8_t kSwitchBaud = 0x01;
constexpr std::uint8_t kTryBaud = 0x8F;
constexpr std::uint8_t kConfirmBaud = 0x8E;
// The reply to the switch of protocol variants 1 and 2.
constexpr std::uint8_t kBaudSwitchedVariants1And2 = 0x84;
// Protocol variant 0 checks the new rate with this command five times.
constexpr std::uint8_t kCheckChip = 0x80;
constexpr std::uint8_t kChipChecked = 0x80;

// Option write and the new password.
constexpr std::uint8_t kWriteOptions = 0x04;
constexpr std::uint8_t kNewPassword = 0x07;
// Protocol variant 0: the options were taken (either code), or must be sent
// again; then kOptionsEnd is answered with kOptionsEnded.
constexpr std::uint8_t kOptionsTaken = 0x80;
constexpr std::uint8_t kResendOptions = 0x81;
constexpr std::uint8_t kOptionsEnd = 0x50;
constexpr std::uint8_t kOptionsEnded = 0x10;
// Protocol variants 1 and 2 take the options with this code.
constexpr std::uint8_t kOptionsTakenVariants1And2 = 0x50;

// The end of a download: the one-byte packet kEndOfDownload, and on protocol
// variants 0-2 kReleaseChip.
constexpr std::uint8_t kEndOfDownload = 0xFF;
constexpr std::uint8_t kReleaseChip = 0x82;

}  // namespace boot_loader

namespace board {

// Replies of the board itself.
constexpr std::uint8_t kIdentity = 0x51;     // 'Q': a board answered the sync bytes
constexpr std::uint8_t kOverCurrent = 0x52;  // 'R': the target drew too much current
// A board request is acknowledged by its own code followed by this byte.
constexpr std::uint8_t kAcknowledged = 0x54;  // 'T'
// Sent raw by the board outside any frame when it accepted a block.
constexpr std::uint8_t kStrayAcknowledge = 0x02;

// Control requests: kControl followed by one of the sub-codes below.
constexpr std::uint8_t kControl = 0xFF;
constexpr std::uint8_t kSetUpP1 = 0x01;         // FF 01 P1
constexpr std::uint8_t kSetBaud = 0x02;         // FF 02 code variant
constexpr std::uint8_t kSetUpWithoutP2 = 0x03;  // FF 03 P1
constexpr std::uint8_t kSetUpFirst = 0x04;      // FF 04 00
constexpr std::uint8_t kSetUpWithP2 = 0x05;     // FF 05 P1
constexpr std::uint8_t kBeforeFastLine = 0x06;  // FF 06 D0 FF, then the link goes to 115,200
constexpr std::uint8_t kLeaveBoardMode = 0x07;  // FF 07
constexpr std::uint8_t kResult = 0x04;          // FF 04 success, at the end of a download
constexpr std::uint8_t kEndSignal = 0x0C;       // FF 0C 01
constexpr std::uint8_t kResultSignal = 0x0D;    // FF 0D success: the board's lamp or buzzer
constexpr std::uint8_t kEndUpdate = 0x08;       // FF 08 20 36 C9
constexpr std::uint8_t kEndCheck = 0x0A;        // FF 0A 01, or FF 0A D0 before an update

// The fixed argument bytes of those requests.
constexpr std::uint8_t kFastLineArgument = 0xD0;
constexpr std::uint8_t kNoUpdate = 0x01;
constexpr std::uint8_t kEndSignalArgument = 0x01;  // FF 0C 01
constexpr std::uint8_t kEndUpdateArguments[3] = {0x20, 0x36, 0xC9};
// The board's rate after FF 06 D0 FF.
constexpr int kFastBaud = 115200;

// SetBaud's rate code: baud / 1200 up to 115,200, above it kRateMultiples plus
// the multiple of 115,200.
constexpr int kRateUnit = 1200;
constexpr int kRateMultiples = 0x80;

// Firmware update requests, each acknowledged.
constexpr std::uint8_t kBeginBlockA = 0xF1;     // F1 00
constexpr std::uint8_t kWriteBlockA = 0xF2;     // F2 a2 a1 a0 data
constexpr std::uint8_t kAnnounceBlockB = 0xF3;  // F3 n (blocks of 512 bytes)
constexpr std::uint8_t kWriteHeader = 0xF4;     // F4 a2 a1 a0 data, offsets below 2,048
constexpr std::uint8_t kWriteFirmware = 0xF6;   // F6 a2 a1 a0 data, offsets from 2,048
// Starts the target handshake behind the board: F8 P1 paced mode P3 repeat.
constexpr std::uint8_t kStartTarget = 0xF8;
// The mode byte of F8: the same numbers as the set-up sub-codes.
constexpr std::uint8_t kTargetModeWithoutP2 = 3;
constexpr std::uint8_t kTargetModeWithP2 = 5;

}  // namespace board
}  // namespace fw
