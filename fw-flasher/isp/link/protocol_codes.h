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
constexpr std::uint8_t kEndUpdate = 0x08;       // FF 08 20 36 C9
constexpr std::uint8_t kEndCheck = 0x0A;        // FF 0A 01, or FF 0A D0 before an update

// The fixed argument bytes of those requests.
constexpr std::uint8_t kFastLineArgument = 0xD0;
constexpr std::uint8_t kNoUpdate = 0x01;
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
