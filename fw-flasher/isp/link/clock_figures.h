// The chip's clock as measured and trimmed; what is asked for is the request's.
#pragma once

#include <array>
#include <cstdint>

namespace fw {

// The clock a download assumes until the chip reports its own: 22.1184 MHz
// when bit 0 of option byte 15 is set, else 11.0592 MHz.
constexpr int AssumedClock(std::uint8_t option_byte_15) {
  return (option_byte_15 & 0x01) != 0 ? 22118400 : 11059200;
}
// The option byte that chooses it.
constexpr int kAssumedClockOptionByte = 15;

struct ClockFigures {
  int measured_frequency = 22118400;  // Hz
  int adjusted_frequency = 0;         // Hz, reached by the trim
  float trim_error = 0.0f;            // percent
  bool frequency_adjusted = false;
  // Set by the trim (or taken from the status reply); the baud switch sends
  // bytes 0 and 1, the option programming bytes 2 and 3. A byte the trim does
  // not set keeps its value, 0 after re-initialisation.
  std::array<std::uint8_t, 4> trim_bytes{};
};

}  // namespace fw
