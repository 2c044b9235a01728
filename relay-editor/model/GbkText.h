#pragma once
// Conversion between the program's UTF-8 strings and GBK (code page 936), the
// encoding of project files, the settings file and the texts of serial
// triggers. A Chinese character is two GBK bytes.

#include <optional>
#include <string>
#include <string_view>

namespace relay::model {

// Empty optional when the text is not valid UTF-8 or holds a character that
// GBK cannot represent.
std::optional<std::string> Utf8ToGbk(std::string_view utf8);
// Never fails: characters GBK cannot represent, and invalid UTF-8 bytes,
// become '?'. The characters GbkToUtf8Reversible made of bytes that are no
// GBK become those bytes again.
std::string Utf8ToGbkLossy(std::string_view utf8);

// Empty optional when the bytes are not valid GBK.
std::optional<std::string> GbkToUtf8(std::string_view gbk);
// Never fails: every byte that does not start a valid GBK character becomes
// U+FFFD. For showing text.
std::string GbkToUtf8Lossy(std::string_view gbk);
// Never fails: every byte that does not start a valid GBK character becomes
// a private-use character (U+F780 to U+F7FF) that Utf8ToGbkLossy turns back
// into the same byte, so text read from a file is written back byte for byte.
std::string GbkToUtf8Reversible(std::string_view gbk);
std::string GbkToUtf8Lossy(std::string_view gbk);

}  // namespace relay::model
