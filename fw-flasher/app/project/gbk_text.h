// Text in the project is GBK (code page 936), as the Windows programs keep it;
// the tools and windows here speak UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace fw {

// Empty optional when the text is not UTF-8 or holds a character GBK lacks.
// The private-use characters that GbkToUtf8 makes of stray bytes become those
// bytes again.
std::optional<std::string> Utf8ToGbk(std::string_view utf8);

// Never fails: a byte that begins no GBK character becomes the private-use
// character U+F780 + (byte - 0x80), so that the text converts back unchanged.
std::string GbkToUtf8(std::string_view gbk);

}  // namespace fw
