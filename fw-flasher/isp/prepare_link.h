// The short exchange that protocol variants 1 and 2 need before the baud switch
// in the classic sequence.
#pragma once

#include "isp/link/step_result.h"

namespace fw {

class IspLink;

// Sends the prepare command with the chip id; kStepOk at once for the other
// protocol variants.
StepResult PrepareLink(IspLink& link);

}  // namespace fw
