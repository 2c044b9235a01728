// The chip's internal oscillator: its frequency as a smooth function of the
// trim value and the range selector, laid out as each measuring procedure's
// boot loader names its settings.
//
// Within a range the frequency rises with the trim, a little faster towards the
// top; each range above the lowest runs at a fixed multiple of the one below.
// Where a procedure's selector carries quarter steps in its low two bits, they
// move the frequency by a quarter of a trim step.
#pragma once

#include <optional>
#include <string>

#include "sim/trim_procedure.h"

namespace fw::sim {

enum class OscillatorShape {
  kNormal,
  kNarrow,    // every range within a few percent of the lowest, small steps
  kFlat,      // one frequency whatever the setting
  kReversed,  // the frequency falls as the trim rises
};

std::optional<OscillatorShape> OscillatorShapeNamed(const std::string& name);

struct OscillatorConfig {
  // Hz at the middle trim (128; 64 for 7-bit trims) of the lowest range; 0: the family's default.
  double offset = 0;
  // Hz one trim step moves the lowest range at its middle; 0: the family's default.
  double span = 0;
  OscillatorShape shape = OscillatorShape::kNormal;
};

// A setting as the measurement commands and the option write carry it.
struct OscillatorSetting {
  int trim = 0;
  int range = 0;    // the range selector byte as the procedure sends it
  int divider = 1;  // the chip runs at the oscillator's frequency divided by it
  bool locked_48mhz = false;

  bool operator==(const OscillatorSetting&) const = default;
};

class Oscillator {
 public:
  explicit Oscillator(OscillatorConfig config = {}) : config_(config) {}

  // Hz at this trim and range selector, before any divider; nullopt when the
  // procedure's oscillator has no such selector or trim.
  std::optional<double> Frequency(TrimProcedure procedure, int range, int trim) const;
  // The middle frequency and step the lowest range has under this configuration.
  double Offset(TrimProcedure procedure) const;
  double Span(TrimProcedure procedure) const;
  // Empty when every setting gives a frequency above zero, else what is wrong.
  std::string Problem(TrimProcedure procedure) const;

 private:
  OscillatorConfig config_;
};

}  // namespace fw::sim
