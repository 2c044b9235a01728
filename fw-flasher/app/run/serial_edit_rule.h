// What a serial-number edit takes: digits only, and no number larger than its
// bytes carry in its format through the link (the rule the download itself
// stops on), so that what the operator sees is what the chip receives.
#pragma once

#include <string>
#include <string_view>

#include "app/project/project.h"
#include "isp/link/serial_settings.h"

namespace fw {

struct SerialTextCheck {
  bool taken = true;
  std::string refusal;  // why not, in the window's language (UTF-8)
};

// text: what the edit would hold (ASCII digits as typed or pasted); number:
// the serial number's index (0 or 1). Leading zeros count for nothing; an
// empty text is 0.
SerialTextCheck CheckSerialText(std::string_view text, int number,
                                const SerialNumberSettings& settings, LinkKind link, int language);

}  // namespace fw
