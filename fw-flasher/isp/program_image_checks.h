// What a download cannot program as the user gave it: an image that does not
// fit, a data block on top of the code, and user bytes that the download would
// leave out or write its own bytes over. fw-pack checks a project with it
// before the project leaves fw-pack, fw-flash download its files before the
// port opens, so that both refuse the same images in the same words.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "target/chips/chip_table.h"

namespace fw {

// The input a refusal is about; each front end names it in its own terms.
enum class ImageInput { kCode, kData, kDataOffset };

struct ImageRefusal {
  ImageInput input = ImageInput::kCode;
  std::string problem;  // "holds data at 0x0EFEE, ..."
};

// The downloads the image may be given to: the serial flow (classic or newer
// sequence, as the chip's boot loader asks for), or also the USB writer, which
// always builds the image with records.
enum class DownloadRoutes { kSerialPort, kSerialPortOrUsbWriter };

struct ProgramImage {
  std::span<const std::uint8_t> code;  // at address 0
  std::span<const std::uint8_t> data;  // empty: no data block
  std::uint64_t data_offset = 0;
  std::uint8_t option_byte_15 = 0xFF;
};

// The first problem found, checking in this order: the code fits the chip's
// code flash; the data block lies after the code and inside the chip and the
// image buffer; no byte other than 0xFF lies at or above the point where a
// download stops (the tail or top reserve), in the parameter block area (when
// option byte 15 places the block, for every firmware of the family's boot
// loaders) or in the chip serial number's area (where the chip's downloads
// write it). Empty when the image can be programmed as given.
std::optional<ImageRefusal> CheckProgramImage(const ChipRecord& chip, const ProgramImage& image,
                                              DownloadRoutes routes);

}  // namespace fw
