// The project data's record container: a 4-byte magic followed by records
// (tag, type, two bytes that make the record's 8-bit sum 0, payload length,
// payload), all integers little-endian. The layouts of the records that carry
// settings, and the limits of the buffers their values later index.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace fw::project_format {

inline constexpr std::array<std::uint8_t, 4> kMagic = {'Q', 'M', 'V', 0x00};

// Record header: tag, type, sum bytes, 32-bit payload length.
constexpr std::uint8_t kRecordTag = 0x70;
constexpr std::size_t kRecordHeaderSize = 8;
constexpr std::size_t kHeaderTypeOffset = 1;
constexpr std::size_t kHeaderSumOffset = 2;
constexpr std::size_t kHeaderLengthOffset = 4;

enum RecordType : std::uint8_t {
  kEndOfRecords = 0,
  kFormatVersion = 1,
  kChip = 16,
  kOptionWords = 17,
  kSetFrequency = 18,
  kSerialNumbers = 19,
  kOptionFlags = 20,
  kProgramVariant = 21,
  kBoardP1 = 22,
  kPreCommand = 23,
  kUserInterfaceCommand = 24,
  kSilent = 25,
  kCurrentDownloadPassword = 26,
  kNewDownloadPassword = 27,
  kBoardAndPassThrough = 28,
  kFrequencyOverride = 29,
  kBaudPauseOverride = 30,
  kSyncBurst = 31,
  kNotUsed32 = 32,
  kOptionExtraValue = 33,
  kDataOffset = 34,
  kBoardProgram = 249,
  kBoardFirmwareB = 250,
  kBoardFirmwareA = 251,
  kProjectStrings = 252,
  kUserKey = 253,
  kDataBlock = 254,
  kCodeBlock = 255,
};

// Record 1: "ISP." and the version X.Y in hexadecimal digits, V = X * 256 + Y.
inline constexpr std::string_view kVersionPrefix = "ISP.";
// Versions that change record 19: 128-bit values from 6.20, the two formats from 6.19.
constexpr std::uint32_t kVersionWideSerials = 0x620;
constexpr std::uint32_t kVersionSerialFormats = 0x619;
// The version a newly written project carries.
inline constexpr std::string_view kCurrentVersionText = "ISP.6.20";

// Record 16.
constexpr std::size_t kChipRecordSize = 3;  // u16 chip id, sub-model byte

// Record 17: four option words.
constexpr std::size_t kOptionWordCount = 4;

// Record 19 in its three layouts; each serial number is enabled, length, start
// value, address, step, and the two format bytes follow both.
constexpr std::size_t kSerialCount = 2;
constexpr std::size_t kSerialRecordWideSize = 84;
constexpr std::size_t kSerialRecordNarrowSize = 50;
constexpr std::size_t kSerialRecordNarrowWithFormatsSize = 52;

// Record 20: option flag bytes.
constexpr std::size_t kOptionFlagsSize = 6;
constexpr std::size_t kFlagOptionByte17 = 0;
constexpr std::size_t kFlagKeepOption16Bit1 = 1;
constexpr std::size_t kFlagOptionByte18 = 2;
constexpr std::size_t kFlagKeepOption16Bit2 = 3;
constexpr std::size_t kFlagSetOptionBytes16To18 = 4;
constexpr std::size_t kFlagPacedSync = 5;

// Record 28: board parameters, option flags 2-5 and pass-through values.
constexpr std::size_t kBoardRecordSize = 15;
constexpr std::size_t kBoardP2 = 0;
constexpr std::size_t kBoardP3Fifths = 1;  // P3 = byte * 5
constexpr int kBoardP3Unit = 5;
constexpr std::size_t kBoardP4 = 2;
constexpr std::size_t kBoardOptionFlag2 = 3;
constexpr std::size_t kBoardPassThrough1 = 4;
constexpr std::size_t kBoardPassThrough2 = 5;
constexpr std::size_t kBoardPassThrough3 = 6;  // int32, bytes 6-9
constexpr std::size_t kBoardPassThrough5Base = 10;
constexpr std::size_t kBoardOptionFlag3 = 11;
constexpr std::size_t kBoardPassThrough4 = 12;
constexpr std::size_t kBoardOptionFlag4 = 13;
constexpr std::size_t kBoardOptionFlag5 = 14;

// Records 26 and 27: NUL-terminated text of at most 63 characters.
constexpr std::size_t kPasswordMaxLength = 63;

// Commands sent before the download (records 23 and 24): parity and stop-bit
// bytes as the port's control block holds them.
constexpr std::uint8_t kParityNone = 0;
constexpr std::uint8_t kParityOdd = 1;
constexpr std::uint8_t kParityEven = 2;
constexpr std::uint8_t kParityMark = 3;
constexpr std::uint8_t kParitySpace = 4;
constexpr std::uint8_t kStopBitsOne = 0;
constexpr std::uint8_t kStopBitsOneAndHalf = 1;
constexpr std::uint8_t kStopBitsTwo = 2;
constexpr std::size_t kCommandByteCountMax = 255;  // one count byte

// Serial-number formats.
constexpr std::uint8_t kSerialPlain = 0;
constexpr std::uint8_t kSerialBcd = 1;
constexpr std::uint8_t kSerialAscii = 2;

// Buffers that the project's values index later (the link's buffers).
constexpr std::size_t kImageBufferSize = 131072;
constexpr std::size_t kCodeImageUsedSize = 65536;  // the part of the code image a download builds
constexpr std::size_t kUserKeyMaxSize = 256;
constexpr std::size_t kBoardProgramMaxSize = 65536;
constexpr std::size_t kBoardFirmwareAMaxSize = 2048;
constexpr std::size_t kBoardFirmwareBMaxSize = 16384;
constexpr std::size_t kSerialLengthMax = 16;
constexpr std::size_t kReplyLengthMax = 2048;
constexpr std::size_t kReplyAreaEnd = 65536;
constexpr std::size_t kFirstBytesMax = 32;
constexpr std::size_t kSecondBytesMax = 31;

}  // namespace fw::project_format
