#include "cli/image_loader.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>

namespace fw {
namespace {

bool IsIntelHexName(const std::filesystem::path& path) {
  std::string ending = path.extension().string();
  std::transform(ending.begin(), ending.end(), ending.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ending == ".hex" || ending == ".ihx" || ending == ".ihex";
}

}  // namespace

LoadedImage LoadImage(const std::filesystem::path& path, std::size_t capacity) {
  LoadedImage image;
  if (IsIntelHexName(path)) {
    image.error = path.string() + ": Intel HEX images are not read by this build yet";
    return image;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    image.error = path.string() + ": cannot be opened";
    return image;
  }
  // One byte more than fits tells a file that is too large without reading it all.
  image.bytes.resize(capacity + 1);
  in.read(reinterpret_cast<char*>(image.bytes.data()), static_cast<std::streamsize>(capacity + 1));
  const auto size = static_cast<std::size_t>(in.gcount());
  if (in.bad()) {
    image.error = path.string() + ": cannot be read";
  } else if (size == 0) {
    image.error = path.string() + ": is empty";
  } else if (size > capacity) {
    image.error = path.string() + ": larger than " + std::to_string(capacity) + " bytes";
  }
  image.bytes.resize(std::min(size, capacity));
  return image;
}

}  // namespace fw
