// Reading the files a download writes: the firmware image and the data block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace fw {

struct LoadedImage {
  std::vector<std::uint8_t> bytes;  // from address 0
  std::string error;                // empty when the file was read
  bool ok() const { return error.empty(); }
};

// A raw image (placed at 0), or Intel HEX for the endings .hex, .ihx and .ihex.
// Refused: an empty file, or one that places bytes at or above capacity.
LoadedImage LoadImage(const std::filesystem::path& path, std::size_t capacity);

}  // namespace fw
