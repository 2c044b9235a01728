// The device image: the 512 bytes of the controller's program sector as hex text, every
// byte followed by one blank (1536 characters), moved in 32 blocks of 16 bytes.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace relay::device {

inline constexpr std::size_t kImageTextLength = 1536;

// The hex texts in list order, each written as its bytes followed by a blank, skipping an
// entry that no longer fits into 512 bytes (later, smaller ones still go in) and entries
// without bytes, padded with "FF ".
std::string BuildDeviceImage(const std::vector<std::string>& hexTexts);

// The 47 characters of block `block` (1-32): characters 48*block-48 on.
std::string ImageBlockText(std::string_view image, int block);

// The entries of a complete image (exactly 1536 characters), in order: kind byte below
// 80 a 4-byte entry without trailing blank, 80 to FE a serial trigger of
// (byte 3 AND 7F) + 5 bytes with its trailing blank, FF the end. Nothing for an image of
// any other length.
std::optional<std::vector<std::string>> TakeDeviceImageApart(std::string_view image);

}  // namespace relay::device
