#include "device/DeviceImage.h"

#include <algorithm>

#include "model/HexText.h"
#include "model/InstructionWalk.h"

namespace relay::device {

namespace {
constexpr std::size_t kImageBytes = 512;
}

std::string BuildDeviceImage(const std::vector<std::string>& hexTexts) {
  std::string image;
  image.reserve(kImageTextLength);
  for (const std::string& text : hexTexts) {
    if (!model::IsHexText(text)) continue;
    // Without the blank a read-back entry ends in; the image adds its own.
    const std::string_view bytes =
        text.ends_with(' ') ? std::string_view(text).substr(0, text.size() - 1) : text;
    const std::size_t count = model::ByteCount(bytes);
    if (count > 0 && count + image.size() / 3 <= kImageBytes) {
      image += bytes;
      image += ' ';
    }
  }
  while (image.size() / 3 < kImageBytes) image += "FF ";
  return image;
}

std::optional<std::size_t> FirstEntryNotHexText(const std::vector<std::string>& hexTexts) {
  const auto bad = std::find_if(hexTexts.begin(), hexTexts.end(),
                                [](const std::string& text) { return !model::IsHexText(text); });
  if (bad == hexTexts.end()) return std::nullopt;
  return static_cast<std::size_t>(bad - hexTexts.begin());
}

std::string ImageBlockText(std::string_view image, int block) {
  return std::string(model::ClampedSubstr(image, static_cast<std::size_t>(48 * block - 48), 47));
}

std::optional<std::vector<std::string>> TakeDeviceImageApart(std::string_view image) {
  if (image.size() != kImageTextLength) return std::nullopt;
  std::vector<std::string> entries;
  std::size_t offset = 0;
  while (offset < kImageBytes) {
    const auto kind = model::ByteAt(image, offset);
    if (!kind || *kind == model::kKindEnd) break;
    std::size_t size;
    std::size_t characters;
    if (!model::HasLengthByte(*kind)) {
      size = model::kShortInstructionLength;
      characters = 3 * size - 1;  // no trailing blank
    } else {
      const auto lengthByte = model::ByteAt(image, offset + model::kLengthByteIndex);
      if (!lengthByte) {  // cut off by the end of the sector
        entries.emplace_back(image.substr(3 * offset));
        break;
      }
      size = model::InstructionLength(*kind, *lengthByte);
      characters = 3 * size;
    }
    // An entry running past the sector's end keeps what the sector holds.
    entries.emplace_back(model::ClampedSubstr(image, 3 * offset, characters));
    offset += size;
  }
  return entries;
}

}  // namespace relay::device
