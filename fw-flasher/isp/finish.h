// The closing packets of a download, whatever its result; in board mode they
// also tell the download board the result.
#pragma once

#include "isp/link/step_result.h"

namespace fw {

class IspLink;

// None of the packets waits for a reply. Always kStepOk.
StepResult Finish(IspLink& link, bool success);

}  // namespace fw
