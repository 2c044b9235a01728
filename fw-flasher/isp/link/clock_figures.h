// The chip's clock as measured, asked for and trimmed.
#pragma once

#include <array>
#include <cstdint>

namespace fw {

struct ClockFigures {
  int measured_frequency = 22118400;  // Hz
  int adjusted_frequency = 0;         // Hz, reached by the trim
  int set_frequency = 11059200;       // Hz, the project's target
  float trim_error = 0.0f;            // percent
  bool frequency_adjusted = false;
  // The project fixes the frequency: the report leaves the measured one alone.
  bool frequency_override = false;
  // The oscillator settings that the trim (or the trim decision) chose; the
  // baud switch sends bytes 0 and 1, the option block bytes 2 and 3.
  std::array<std::uint8_t, 4> trim{};
};

}  // namespace fw
