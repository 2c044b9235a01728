#include "pack/image_checks.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "app/project/project_format.h"
#include "isp/program_image_checks.h"
#include "pack/json_fields.h"
#include "pack/serial_text.h"

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

std::string FieldOf(ImageInput input) {
  switch (input) {
    case ImageInput::kCode:
      return "code_image";
    case ImageInput::kData:
      return "data_image";
    case ImageInput::kDataOffset:
      return "data_offset";
  }
  return "code_image";
}

// The first image byte other than 0xFF inside [begin, end).
std::optional<std::uint64_t> FirstImageByte(const Project& project, std::uint64_t begin,
                                            std::uint64_t end) {
  const auto first_in = [&](const std::vector<std::uint8_t>& block,
                            std::uint64_t start) -> std::optional<std::uint64_t> {
    for (std::uint64_t a = std::max(begin, start); a < end && a < start + block.size(); ++a)
      if (block[a - start] != 0xFF) return a;
    return std::nullopt;
  };
  if (const auto at = first_in(project.code_block, 0)) return at;
  return first_in(project.data_block, static_cast<std::uint64_t>(project.data_offset));
}

// A serial number over firmware bytes is no error (a placeholder in the
// firmware is common), but worth a word: the download writes over them.
void WarnAboutSerialAreasOverImage(const Project& project, ImageChecks& checks) {
  for (std::size_t n = 0; n < project.serial_numbers.size(); ++n) {
    const SerialNumberSettings& s = project.serial_numbers[n];
    if (!s.enabled || s.length <= 0 || s.address < 0) continue;
    const std::uint64_t begin = static_cast<std::uint64_t>(s.address);
    const std::uint64_t end = begin + static_cast<std::uint64_t>(s.length);
    if (const auto at = FirstImageByte(project, begin, end))
      checks.warnings.push_back("serial_numbers[" + std::to_string(n) + "]: the area " +
                                Address(begin) + ".." + Address(end - 1) +
                                " holds image bytes other than 0xFF (at " + Address(*at) +
                                "); each download writes the serial number over them");
  }
}

}  // namespace

ImageChecks CheckImages(const Project& project, const ChipRecord& chip) {
  ProgramImage image;
  image.code = project.code_block;
  image.data = project.data_block;
  image.data_offset = static_cast<std::uint64_t>(std::max(project.data_offset, 0));
  // Option byte 15 is the last byte of option word 3.
  image.option_byte_15 = static_cast<std::uint8_t>(project.option_words[3] >> 24);
  if (const auto refusal = CheckProgramImage(chip, image, DownloadRoutes::kSerialPortOrUsbWriter))
    throw FieldError(FieldOf(refusal->input), refusal->problem);

  ImageChecks checks;
  WarnAboutSerialAreasOverImage(project, checks);
  const std::uint64_t code_size = project.code_block.size();
  const std::uint64_t data_end = image.data_offset + project.data_block.size();
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
