// The device image: the 512 bytes of the controller's program sector as hex text, every
// byte followed by one blank (1536 characters), moved in 32 blocks of 16 bytes.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace relay::device {

inline constexpr std::size_t kImageTextLength = 1536;

// The hex texts in list order, each followed by one blank, skipping an entry that no
// longer fits into 512 bytes (later, smaller ones still go in), padded with "FF ". An
// entry counts (length + 1) / 3 bytes, as in the Program list. Entries that are no hex
// text (FirstEntryNotHexText) are left out; entries without bytes add nothing.
std::string BuildDeviceImage(const std::vector<std::string>& hexTexts);

// Index of the first entry that is not hex text (model::IsHexText). Such an entry cannot
// be written: its characters would become stray bytes that shift every later
// Instruction out of its place. Empty when every entry can be written.
std::optional<std::size_t> FirstEntryNotHexText(const std::vector<std::string>& hexTexts);

// The 47 characters of block `block` (1-32): characters 48*block-48 on.
std::string ImageBlockText(std::string_view image, int block);

// The entries of a complete image (exactly 1536 characters), in order: kind byte below
// 80 a 4-byte entry without trailing blank, 80 to FE a serial trigger of
// (byte 3 AND 7F) + 5 bytes with its trailing blank, FF the end. Nothing for an image of
// any other length.
std::optional<std::vector<std::string>> TakeDeviceImageApart(std::string_view image);

}  // namespace relay::device
