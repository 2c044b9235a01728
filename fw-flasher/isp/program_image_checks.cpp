#include "isp/program_image_checks.h"

#include <algorithm>
#include <cstdio>

#include "isp/download_sequence.h"
#include "target/chips/family_traits.h"
#include "target/chips/image_cut.h"
#include "target/chips/own_byte_areas.h"

namespace fw {
namespace {

// The link's image buffer.
constexpr std::uint64_t kImageBufferBytes = 131072;
constexpr int kFirmwareVersions = 256;  // every value of the version byte

std::string Address(std::uint64_t a) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%05llX", static_cast<unsigned long long>(a));
  return text;
}

// How the downloads of the chip can build its image: with extra data records
// (newer sequence, USB writer) or without (classic sequence).
struct ImageBuilds {
  bool with_records = false;
  bool without_records = false;
};

ImageBuilds BuildsFor(const ChipRecord& chip, DownloadRoutes routes) {
  ImageBuilds builds;
  builds.with_records = routes == DownloadRoutes::kSerialPortOrUsbWriter;
  for (int v = 0; v < kFirmwareVersions; ++v) {
    switch (TraitsOf(chip).SequenceFor(v)) {
      case DownloadSequence::kClassic:
        builds.without_records = true;
        break;
      case DownloadSequence::kNewer:
        builds.with_records = true;
        break;
      case DownloadSequence::kRefused:
        break;
    }
  }
  return builds;
}

// The first byte other than 0xFF of the block (placed at `start`) inside
// [from, to), as an image address.
std::optional<std::uint64_t> FirstDataIn(std::span<const std::uint8_t> block, std::uint64_t start,
                                         std::uint64_t from, std::uint64_t to) {
  const std::uint64_t first = std::max(from, start) - start;
  const std::uint64_t last = std::min<std::uint64_t>(to, start + block.size());
  for (std::uint64_t a = start + first; a < last; ++a)
    if (block[a - start] != 0xFF) return a;
  return std::nullopt;
}

class ImageChecker {
 public:
  ImageChecker(const ChipRecord& chip, const ProgramImage& image) : chip_(chip), image_(image) {}

  // The first byte of code or data inside [from, to), refused with `why`.
  std::optional<ImageRefusal> RefuseDataIn(std::uint64_t from, std::uint64_t to,
                                           const std::string& why) const {
    if (const auto at = FirstDataIn(image_.code, 0, from, to))
      return ImageRefusal{ImageInput::kCode, "holds data at " + Address(*at) + why};
    if (const auto at = FirstDataIn(image_.data, image_.data_offset, from, to))
      return ImageRefusal{ImageInput::kData, "holds data at " + Address(*at) + why};
    return std::nullopt;
  }

  std::optional<ImageRefusal> RefuseOverwritten(const ImageArea& area, const char* what) const {
    if (area.end <= area.begin) return std::nullopt;
    return RefuseDataIn(area.begin, area.end,
                        ", inside " + Address(area.begin) + ".." + Address(area.end - 1) +
                            " where a download to " + chip_.name + " writes " + what +
                            "; those bytes would be overwritten");
  }

 private:
  const ChipRecord& chip_;
  const ProgramImage& image_;
};

std::optional<ImageRefusal> CheckPlacement(const ChipRecord& chip, const ProgramImage& image) {
  const std::uint64_t code_end = image.code.size();
  if (code_end > chip.code_size)
    return ImageRefusal{ImageInput::kCode, std::to_string(code_end) + " bytes do not fit the " +
                                               std::to_string(chip.code_size) +
                                               "-byte code flash of " + chip.name};
  if (image.data.empty()) return std::nullopt;
  const std::uint64_t data_end = image.data_offset + image.data.size();
  const std::uint64_t room = std::min<std::uint64_t>(chip.total_size, kImageBufferBytes);
  if (image.data_offset < code_end)
    return ImageRefusal{ImageInput::kDataOffset, "the data image at " + Address(image.data_offset) +
                                                     " overlaps the code image, which ends at " +
                                                     Address(code_end)};
  if (data_end > room)
    return ImageRefusal{ImageInput::kData, "ends at " + Address(data_end) + ", beyond the " +
                                               std::to_string(room) + " bytes of " + chip.name +
                                               " and the image buffer"};
  return std::nullopt;
}

}  // namespace

std::optional<ImageRefusal> CheckProgramImage(const ChipRecord& chip, const ProgramImage& image,
                                              DownloadRoutes routes) {
  if (auto refusal = CheckPlacement(chip, image)) return refusal;
  const ImageChecker checker(chip, image);
  if (const auto cut = ImageCut(chip)) {
    if (auto refusal =
            checker.RefuseDataIn(*cut, UINT64_MAX,
                                 ", at or above " + Address(*cut) + " where a download to " +
                                     chip.name + " stops; those bytes would be left out"))
      return refusal;
  }
  const ImageBuilds builds = BuildsFor(chip, routes);
  const bool places = (image.option_byte_15 & kPlacesParameters) != 0;
  if (builds.with_records && places) {
    if (auto refusal = checker.RefuseOverwritten(ParameterBlockArea(chip),
                                                 "the chip's parameter block (option byte 15 "
                                                 "bit 1 asks for it)"))
      return refusal;
  }
  // Without records, some families clear the area, the others write the
  // serial number only when option byte 15 asks for the parameters.
  const bool cleared = TraitsOf(chip).Has(family_flags::kClearsChipSerial);
  if (builds.with_records || (builds.without_records && (cleared || places))) {
    if (auto refusal =
            checker.RefuseOverwritten(ChipSerialArea(chip), "the chip's own serial number"))
      return refusal;
  }
  return std::nullopt;
}

}  // namespace fw
