// Moving the download to the fastest rate the chip's generator makes accurately
// ("re-handshaking").
#pragma once

#include "isp/link/step_result.h"

namespace fw {

class IspLink;

// Tells the chip its generator settings, moves the port to the chosen rate and
// stores it as the highest baud. When no rate fits the chip's clock, or its
// generator variant is unknown, nothing is sent: the link stays at the handshake
// rate, the log says why, and the result is kStepRefused.
StepResult SwitchBaud(IspLink& link);

}  // namespace fw
