// The checks of a project against its chip: where the images and serial
// numbers lie, and what a download would leave out.
#pragma once

#include <string>
#include <vector>

#include "app/project/project.h"
#include "target/chips/chip_table.h"

namespace fw {

struct ImageChecks {
  std::vector<std::string> warnings;
};

// Throws FieldError naming code_image or data_image (or data_offset) for an image
// that a download to the chip, through a serial port or the USB writer, cannot
// program as given (isp/program_image_checks.h); warns about an image the USB
// writer cannot program whole and about serial-number areas over image bytes.
ImageChecks CheckImages(const Project& project, const ChipRecord& chip);

// Throws FieldError for an enabled serial number outside the image, on top of the
// other one, or whose start value does not fit its length in its format.
void CheckSerialNumbers(const Project& project, const ChipRecord& chip);

}  // namespace fw
