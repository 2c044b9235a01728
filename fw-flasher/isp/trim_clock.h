// Trimming the chip's internal oscillator to the set frequency.
#pragma once

#include "isp/link/step_result.h"

namespace fw {

class IspLink;

// kStepOk at once for family codes below 25, which have nothing to trim. The
// measurements that trim the others are not part of this version yet: for them
// the log says so and the result is kStepRefused, so that no download claims a
// trim it did not make.
StepResult TrimClock(IspLink& link);

}  // namespace fw
