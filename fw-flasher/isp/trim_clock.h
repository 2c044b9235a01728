// Trimming the chip's internal oscillator to the set frequency: the boot
// loader measures trim settings chosen by one of six procedures (by family code
// and firmware version), and the best one goes into the link's clock figures.
#pragma once

#include "isp/link/step_result.h"

namespace fw {

class IspLink;

// kStepOk when trimmed (trim bytes, adjusted frequency, trim error and the
// adjusted flag set; procedures 1 and 4 also replace the measured frequency),
// and at once for family codes below 25. kStepRefused for a wrong or short
// reply or a set frequency of 0 Hz or less (refused before anything is sent),
// kStepTimedOut, kStepStopped, and kStepFailedLogged when the oscillator
// cannot be trimmed (its span is too narrow or its measurements unusable; the
// log says so and the clock figures stay as they were).
StepResult TrimClock(IspLink& link);

}  // namespace fw
