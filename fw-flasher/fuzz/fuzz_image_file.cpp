// libFuzzer target: arbitrary text as an Intel HEX file, and arbitrary bytes as
// a binary image.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "target/chips/image_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const fw::ImageFile hex = fw::ParseIntelHex(text);
  if (hex.bytes.size() > fw::kImageFileCapacity) __builtin_trap();
  // A small buffer reaches the capacity checks with short inputs.
  (void)fw::ParseIntelHex(text, 64);
  (void)fw::ReadImageBytes({data, size}, fw::ImageFileFormat::kBinary, 64);
  return 0;
}
