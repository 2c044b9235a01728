// Whether the newer sequence trims the chip's oscillator before the baud switch,
// or takes the trim the chip already has.
#pragma once

#include "isp/link/step_result.h"

namespace fw {

class IspLink;

struct TrimDecision {
  StepResult result = kStepOk;
  // The option bytes move the chip to the other clock source: it takes effect
  // only once the chip is powered again, so the download does not count.
  bool clock_source_changes = false;
};

// Some families always trim. The others decide by the chip's current clock source
// (status byte 7, bit 0) and the one the options ask for (option byte 0, bit 0):
// internal to internal trims (except on protocol variant 4), external to
// internal is a change of clock source, and otherwise the chip's own trim and
// frequency are taken. A trim that was skipped (-1) is decided again as if the
// chip ran from its external clock.
TrimDecision DecideTrim(IspLink& link);

}  // namespace fw
