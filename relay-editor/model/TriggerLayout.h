#pragma once
// The fields of a serial trigger's hex text, read from their fixed places.
// Shared by the listing text and the decoder; missing bytes read as 0 and the
// stored byte runs are cut at the end of the text.

#include <cstdint>
#include <string_view>

namespace relay::model {

struct TriggerLayout {
  std::uint16_t mask = 0;
  bool patternIsAscii = false;  // bit 7 of the length byte
  int outputMode = 0;           // bits 6 and 5 of the output byte
  int outputCount = 0;          // bits 4 to 0 of the output byte
  bool holdSet = false;         // bit 7 of the output byte
  int hold = 0;                 // bytes 5 and 6
  std::string_view outputHex;   // stored output bytes (modes 2 and 3 only)
  std::string_view patternHex;  // stored pattern bytes
};

// The views point into `hexText`.
TriggerLayout ReadTriggerLayout(std::string_view hexText);

}  // namespace relay::model
