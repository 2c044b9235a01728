// The code image and the project's data that the download writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "isp/link/filled_buffer.h"

namespace fw {

struct ImageBuffers {
  // The image source's size and how much of it re-initialisation fills with 0xFF.
  static constexpr std::size_t kImageSourceSize = 131072;
  static constexpr std::size_t kImageSourceFilled = 65536;
  static std::vector<std::uint8_t> FreshImageSource() {
    return FilledBuffer(kImageSourceSize, kImageSourceFilled);
  }

  // Bytes of the user program in the image source (a multiple of 512).
  int image_length = 0;
  // Bytes of the code image that the program step writes.
  int code_length = 0;
  // A boot loader that is not option-capable keeps the top 3 KB of the flash:
  // the programmed part stops below it.
  bool top_reserve = false;
  std::vector<std::uint8_t> code_image = FilledBuffer(196608, 65536);
  std::vector<std::uint8_t> image_source = FreshImageSource();  // the user program
  std::vector<std::uint8_t> extra_records = FilledBuffer(131072, 65536);
  std::vector<std::uint8_t> user_key = FilledBuffer(256, 256);
  std::vector<std::uint8_t> option_bytes = FilledBuffer(32, 32);
  // The link's buffers for the application and the target description that
  // no part of this flasher uses; re-initialisation refills them all the same.
  std::vector<std::uint8_t> app_block = FilledBuffer(256, 0);        // nothing reads it
  std::vector<std::uint8_t> app_image = FilledBuffer(65536, 65536);  // nothing reads it
  std::vector<std::uint8_t> app_small_a = FilledBuffer(256, 256);    // nothing reads it
  std::vector<std::uint8_t> app_small_b = FilledBuffer(256, 256);    // nothing reads it
  std::vector<std::uint8_t> app_table = FilledBuffer(4096, 4096);    // nothing reads it
};

}  // namespace fw
