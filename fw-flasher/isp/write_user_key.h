// Writing the project's 256-byte user key into the chip.
#pragma once

#include "isp/link/step_result.h"

namespace fw {

class IspLink;

// Four blocks of 64 bytes, each taken by the chip. On protocol variants 0-2,
// which have no user key, logs message 8025 and returns kStepOk.
StepResult WriteUserKey(IspLink& link);

}  // namespace fw
