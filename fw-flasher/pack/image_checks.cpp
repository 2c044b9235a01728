#include "pack/image_checks.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "app/project_format.h"
#include "pack/json_fields.h"
#include "pack/serial_text.h"
#include "target/image_cut.h"

namespace fw {
namespace pf = project_format;
namespace {

// The USB writer programs at most this many image bytes.
constexpr std::uint64_t kUsbWriterImageLimit = 65536;
constexpr std::uint64_t kImageGranule = 512;  // the image length is a multiple of it
constexpr std::size_t kAsciiDigitsMax = 16;   // the ASCII form keeps 16 hexadecimal digits

std::string Address(std::uint64_t a) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%05llX", static_cast<unsigned long long>(a));
  return text;
}

// The first byte at or above `cut` that is not 0xFF, as an image address.
std::optional<std::uint64_t> FirstDataAtOrAbove(const std::vector<std::uint8_t>& block,
                                                std::uint64_t block_start, std::uint64_t cut) {
  const std::uint64_t from = cut > block_start ? cut - block_start : 0;
  for (std::uint64_t i = from; i < block.size(); ++i)
    if (block[i] != 0xFF) return block_start + i;
  return std::nullopt;
}

}  // namespace

ImageChecks CheckImages(const Project& project, const ChipRecord& chip) {
  ImageChecks checks;
  const std::uint64_t code_size = project.code_block.size();
  if (code_size > chip.code_size)
    throw FieldError("code_image", std::to_string(code_size) + " bytes do not fit the " +
                                       std::to_string(chip.code_size) + "-byte code flash of " +
                                       chip.name);
  const std::uint64_t data_start = static_cast<std::uint64_t>(project.data_offset);
  const std::uint64_t data_end = data_start + project.data_block.size();
  if (!project.data_block.empty()) {
    const std::uint64_t room = std::min<std::uint64_t>(chip.total_size, pf::kImageBufferSize);
    if (data_start < code_size)
      throw FieldError("data_offset", "the data image at " + Address(data_start) +
                                          " overlaps the code image, which ends at " +
                                          Address(code_size));
    if (data_end > room)
      throw FieldError("data_image", "ends at " + Address(data_end) + ", beyond the " +
                                         std::to_string(room) + " bytes of " + chip.name +
                                         " and the image buffer");
  }
  if (const auto cut = ImageCut(chip)) {
    const auto refuse_beyond_cut = [&](const char* field, const std::vector<std::uint8_t>& block,
                                       std::uint64_t start) {
      if (const auto at = FirstDataAtOrAbove(block, start, *cut))
        throw FieldError(field, "holds data at " + Address(*at) + ", at or above " + Address(*cut) +
                                    " where a download to " + chip.name +
                                    " stops; those bytes would be left out");
    };
    refuse_beyond_cut("code_image", project.code_block, 0);
    refuse_beyond_cut("data_image", project.data_block, data_start);
  }
  const std::uint64_t used = project.data_block.empty() ? code_size : data_end;
  const std::uint64_t image_length = (used + kImageGranule - 1) / kImageGranule * kImageGranule;
  if (image_length > kUsbWriterImageLimit)
    checks.warnings.push_back("the image is " + std::to_string(image_length) +
                              " bytes; the USB writer programs only the first 65536");
  return checks;
}

void CheckSerialNumbers(const Project& project, const ChipRecord& chip) {
  const std::uint64_t room = std::min<std::uint64_t>(chip.total_size, pf::kCodeImageUsedSize);
  for (std::size_t n = 0; n < project.serial_numbers.size(); ++n) {
    const SerialNumberSettings& s = project.serial_numbers[n];
    if (!s.enabled) continue;
    const std::string field = "serial_numbers[" + std::to_string(n) + "]";
    const std::uint64_t start = static_cast<std::uint64_t>(s.address);
    const std::uint64_t end = start + static_cast<std::uint64_t>(s.length);
    if (end > room)
      throw FieldError(field + ".address", "the area " + Address(start) + ".." + Address(end - 1) +
                                               " lies outside the " + std::to_string(room) +
                                               " bytes an image for " + chip.name + " has");
    for (std::size_t m = 0; m < n; ++m) {
      const SerialNumberSettings& other = project.serial_numbers[m];
      const std::uint64_t other_start = static_cast<std::uint64_t>(other.address);
      const std::uint64_t other_end = other_start + static_cast<std::uint64_t>(other.length);
      if (other.enabled && start < other_end && other_start < end)
        throw FieldError(field + ".address", "overlaps serial_numbers[" + std::to_string(m) + "]");
    }
    const unsigned length = static_cast<unsigned>(s.length);
    bool fits = true;
    std::string form;
    switch (s.format) {
      case pf::kSerialPlain:
        fits = SerialFitsDigits(s.start, 256, length);
        form = std::to_string(length) + " bytes";
        break;
      case pf::kSerialBcd:
        fits = SerialFitsDigits(s.start, 10, 2 * length);
        form = std::to_string(2 * length) + " BCD digits";
        break;
      default:
        fits = SerialFitsDigits(s.start, 10, std::min<unsigned>(length, kAsciiDigitsMax));
        form = std::to_string(std::min<unsigned>(length, kAsciiDigitsMax)) + " ASCII digits";
        break;
    }
    if (!fits)
      throw FieldError(field + ".start", "does not fit " + form + " (the length " +
                                             std::to_string(length) + " in this format)");
  }
}

}  // namespace fw
