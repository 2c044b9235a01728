// Text for what the simulated chip reports: hexadecimal numbers and bytes, and
// the reason a command is refused.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace fw::sim {

std::string HexByte(int value);                            // "8E"
std::string HexNumber(std::uint64_t value);                // "1FF80"
std::string HexText(std::span<const std::uint8_t> bytes);  // "0400005AA5"

// Sets the reason and returns false, for checks that refuse a command.
bool Refusal(std::string& why, std::string text);

}  // namespace fw::sim
