// The boot loader's status reply: where its fields sit (offsets into the payload,
// byte 0 being the reply code) and the firmware versions at which it changes.
#pragma once

namespace fw {

namespace status_offset {
constexpr int kReplyCode = 0;
constexpr int kFirmwareVersion = 17;  // V: high nibble major, low nibble minor
constexpr int kVersionLetter = 18;    // L: an ASCII letter
constexpr int kSubModel = 19;         // only when L >= kLetterWithSubModel and V >= 7.1
constexpr int kChipIdHigh = 20;
constexpr int kChipIdLow = 21;
// The build number sits at one of these, by firmware version, letter and length.
constexpr int kBuild = 22;
constexpr int kBuildLettersDE = 35;
constexpr int kBuildLettersGH = 43;
constexpr int kBuildLettersCAndIToL = 52;
// Clock count of the 7.2 firmware (16 bits, high byte first).
constexpr int kClockCount = 13;
}  // namespace status_offset

// Received lengths (payload, checksum and end byte) of a reply too short to carry
// the chip id.
constexpr int kShortReplyLength = 23;
constexpr int kShortReplyLengthViaBoard = 24;

// Firmware version bytes.
constexpr int kFirmware50 = 0x50;
constexpr int kFirmware58 = 0x58;
constexpr int kFirmware66 = 0x66;
constexpr int kFirmware71 = 0x71;
constexpr int kFirmware72 = 0x72;

// Version letters.
constexpr int kLetterC = 0x43;
constexpr int kLetterD = 0x44;
constexpr int kLetterE = 0x45;
constexpr int kLetterG = 0x47;
constexpr int kLetterH = 0x48;
constexpr int kLetterI = 0x49;
constexpr int kLetterL = 0x4C;
constexpr int kLetterWithSubModel = 0x51;  // 'Q' and later letters carry a sub-model

}  // namespace fw
