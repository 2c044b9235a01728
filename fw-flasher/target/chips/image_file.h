// Firmware image files: raw binary (placed at address 0) or Intel HEX (records
// 00 data, 01 end, 02 segment and 04 linear address; gaps read as 0xFF).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace fw {

// The link's image buffer: no image file may place a byte at or above it.
constexpr std::size_t kImageFileCapacity = 131072;

struct ImageFile {
  // Address 0 up to the highest address the file fills: its size is the used length.
  std::vector<std::uint8_t> bytes;
  // Empty when the file was read; otherwise why not, with the line for Intel HEX.
  std::string error;

  bool ok() const { return error.empty(); }
};

enum class ImageFileFormat { kBinary, kIntelHex };

// Intel HEX for the endings .hex, .ihx and .ihex (any case); binary otherwise.
ImageFileFormat ImageFileFormatOf(const std::filesystem::path& path);

ImageFile ReadImageFile(const std::filesystem::path& path,
                        std::size_t capacity = kImageFileCapacity);
ImageFile ReadImageBytes(std::span<const std::uint8_t> bytes, ImageFileFormat format,
                         std::size_t capacity = kImageFileCapacity);
ImageFile ParseIntelHex(std::string_view text, std::size_t capacity = kImageFileCapacity);

}  // namespace fw
