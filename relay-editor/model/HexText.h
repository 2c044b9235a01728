#pragma once
// Hex text: bytes written as two hexadecimal digits separated by single
// blanks ("02 80 01 83"). Every Instruction is held, shown, stored and sent in
// this form.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace relay::model {

// Each byte as two upper-case digits, separated by one blank, no trailing
// blank. No bytes give an empty text.
std::string BytesToHexText(std::span<const std::uint8_t> bytes);
// Same for the bytes of a string (for example GBK text).
std::string BytesToHexText(std::string_view bytes);

// Reads hexadecimal digit pairs and skips everything else: "24 ff 6" gives
// 24 FF 06, "A B" gives 0A 0B, "ABC" gives AB 0C. Never fails.
std::vector<std::uint8_t> HexTextToBytes(std::string_view text);
// Same, returning the bytes as a string (for GBK decoding).
std::string HexTextToByteString(std::string_view text);

// The two-digit check byte (sum modulo 256, upper case) of the whole groups of
// three characters of the text: "04 00 01 " gives "05". A text without the
// trailing blank leaves its last byte out. Unreadable digits count as 0.
std::string CheckByteText(std::string_view text);

// Byte count of a hex text: (length + 1) / 3, rounded down, the length counted
// in GBK bytes (a Chinese character of a text line counts two). A trailing
// blank does not change it.
std::size_t ByteCount(std::string_view hexText);

// True for a text in the form the device image is built from: two hexadecimal digits a
// byte (either case), bytes separated by single blanks, at most one blank after the
// last byte (as an entry read back from the device has it). An empty text is the hex
// text of no bytes. "0280 0183", "02 80 01 8" and "hello world" are not hex text: their
// characters would not stay in their three-character places.
bool IsHexText(std::string_view text);

// Byte `index` read from its fixed place, characters 3*index and 3*index+1
// (counted from 0). Empty when the text is too short or the two characters
// are not both hexadecimal digits.
std::optional<std::uint8_t> ByteAt(std::string_view hexText, std::size_t index);

// At most `count` characters of `text` from `offset` (counted from 0); empty
// when `offset` lies beyond the text. Used to cut stored byte runs out of a
// hex text without reading past its end.
std::string_view ClampedSubstr(std::string_view text, std::size_t offset, std::size_t count);

// A HEX field as the user typed it (pattern or HEX output of a serial
// trigger): hexadecimal digit pairs, blanks between pairs optional or
// repeated. Gives the pairs separated by single blanks, digits in the case
// typed ("0a0B  ff" gives "0a 0B ff"); a blank-only text gives "". Empty
// optional when the text holds anything else or a digit without its pair.
std::optional<std::string> NormaliseHexField(std::string_view typed);

}  // namespace relay::model
