// The words and forms in which the project description writes values that the
// records hold as numbers: parity and serial-number format names, baud rates
// for baud indexes, byte strings as hexadecimal text, the label colour.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/project/baud_table.h"

namespace fw {

// By parity byte 0..4 and by serial-number format 0..2.
inline constexpr std::array<std::string_view, 5> kParityNames = {"none", "odd", "even", "mark",
                                                                 "space"};
inline constexpr std::array<std::string_view, 3> kSerialFormatNames = {"number", "bcd", "ascii"};

// The index of a rate in the flasher's baud table (project string 5 holds
// indexes into it).
std::optional<int> BaudIndexOf(std::int64_t baud);

// "AA 55 0d" or "AA550D"; empty optional for anything else.
std::optional<std::vector<std::uint8_t>> BytesFromHex(std::string_view text);
// Upper-case pairs, separated by `separator` when it is not empty.
std::string HexFromBytes(std::span<const std::uint8_t> bytes, std::string_view separator);

// "#RRGGBB" and the label colour value 0x00BBGGRR.
std::optional<int> ColourFromText(std::string_view text);
std::string ColourToText(int colour);

// Why the text cannot serve as a file name (the profile is named after the
// application name); empty when it can.
std::string FileNameProblem(std::string_view utf8);

}  // namespace fw
